// quillbox-cli notes-search: the number of documents a formula selects, then
// their note ids.

#include <cstdio>
#include <ostream>

#include "CliCommands.h"
#include "NotesOpen.h"

namespace qb::cli {

int RunNotesSearch(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("notes-search");
    std::string path, formulaText, notesIni;
    bool haveFormula = false;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--notes-ini") {
            if (!reader.Value(notesIni)) return UsageError(context, self, "--notes-ini needs a file name");
        } else if (path.empty()) {
            path = arg;
        } else if (!haveFormula) {
            formulaText = arg;
            haveFormula = true;
        } else {
            return UsageError(context, self, "unexpected argument '" + arg + "'");
        }
    }
    if (path.empty() || !haveFormula) return UsageError(context, self, "a database and a formula are required");
    LNNotesSession session;
    LNDatabase database;
    if (!OpenNotesDatabase(session, notesIni, path, &database, context.err)) return kExitFailure;
    LNFormula formula;
    if (LNSTATUS status = formula.SetText(formulaText)) {
        context.err << "formula error: " << NotesStatusText(status) << "\n";
        return kExitFailure;
    }
    LNNoteArray notes;
    LNSTATUS status = database.Search(formula, &notes);
    if (status != LNNOERROR && status != LNWARN_NOT_FOUND) {
        context.err << "search failed: " << NotesStatusText(status) << "\n";
        return kExitFailure;
    }
    context.out << notes.GetCount() << "\n";
    for (LNINT i = 0; i < notes.GetCount(); ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%X", notes.GetNoteID(i));
        context.out << id << "\n";
    }
    return kExitOk;
}

}  // namespace qb::cli

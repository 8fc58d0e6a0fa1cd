// quillbox-cli translation-table: the address translation file made from an
// address book, so that exported senders and recipients known there by
// their Notes names get Internet addresses that can be replied to. The file
// is written to a temporary name beside the target and renamed at the end,
// so a failed run never leaves half a table behind.

#include <cstdio>
#include <fstream>
#include <ostream>

#include "CliCommands.h"
#include "NotesOpen.h"
#include "convert/TranslationTableWriter.h"

namespace qb::cli {

int RunTranslationTable(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("translation-table");
    std::string addressBook, notesIni, outPath;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--address-book") {
            if (!reader.Value(addressBook)) return UsageError(context, self, "--address-book needs a database");
        } else if (arg == "--notes-ini") {
            if (!reader.Value(notesIni)) return UsageError(context, self, "--notes-ini needs a file name");
        } else if (arg == "--out") {
            if (!reader.Value(outPath)) return UsageError(context, self, "--out needs a file name");
        } else {
            return UsageError(context, self, "unexpected argument '" + arg + "'");
        }
    }
    if (addressBook.empty() || outPath.empty())
        return UsageError(context, self, "--address-book and --out are required");

    LNNotesSession session;
    LNDatabase database;
    if (!OpenNotesDatabase(session, notesIni, addressBook, &database, context.err)) return kExitFailure;

    const std::string partPath = outPath + ".part";
    TranslationTableSummary summary;
    std::string error;
    {
        std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
        if (!out) {
            context.err << "quillbox-cli translation-table: cannot write " << partPath << "\n";
            return kExitFailure;
        }
        if (!WriteTranslationTable(database, out, summary, error)) {
            out.close();
            std::remove(partPath.c_str());
            context.err << "quillbox-cli translation-table: " << (error.empty() ? "cannot write " + partPath : error)
                        << "\n";
            return kExitFailure;
        }
        out.close();
        if (!out) {
            std::remove(partPath.c_str());
            context.err << "quillbox-cli translation-table: cannot write " << partPath << "\n";
            return kExitFailure;
        }
    }
    if (std::rename(partPath.c_str(), outPath.c_str()) != 0) {
        std::remove(partPath.c_str());
        context.err << "quillbox-cli translation-table: cannot write " << outPath << "\n";
        return kExitFailure;
    }
    context.out << summary.rows << " names of " << summary.withAddress << " of " << summary.persons
                << " persons written to " << outPath << "\n";
    if (summary.skippedNames > 0)
        context.out << summary.skippedNames << " names with a comma left out (the file cannot hold them)\n";
    return kExitOk;
}

}  // namespace qb::cli

#include "convert/ComponentRunner.h"

#include <fmt/format.h>

#include "notes/NotesErrorText.h"
#include "notes/api/LNFormula.h"
#include "shell/log/ExportLog.h"
#include "shell/report/ProgressSink.h"

namespace qb {

const ComponentDefinition kCalendarComponent{
    kCalendarFormula,
    "IPF.Appointment",
    "\nExporting Calendar Entry Documents\n",
    "Calendar Formula Error: {}\n",
    "No Calendar Entries Found\n",
    "Calendar Search Error: {}\n",
    "Exporting {} Calendar Entries",
    "\n",
    nullptr,
    "..Export Entry {}",
    "....~#>ERROR Unable to export document (index = {0}). Error = {1} L={2}\n",
    "....~#>ERROR Export Calendar Events 2 Unexpected error: {0}\n",
    "....~#>ERROR Unable to calendar ln (index = {0}). Error = {1}\n",
    "....~#>ERROR Export Calendar Events 1 Unexpected error L{0}\n",
};

const ComponentDefinition kTaskComponent{
    kTaskFormula,
    "IPF.Task",
    "\nExporting Task Documents\n",
    "Task Set Formula Error: {}\n",
    "No Task Entries Found\n",
    "Task Search Error: {}\n",
    "Exporting {}, Task Entries\n",
    "",
    "..Exporting Task Entries\n",
    nullptr,
    "....~#>ERROR Unable to export document (index = {0}). Error = {1}\n",
    "....~#>ERROR Unexpected Error [C:{0}]\n",
    "Task Search Error: {1}\n",
    "....~#>ERROR Unexpected Error [C:{0}]\n",
};

const ComponentDefinition kContactComponent{
    kContactFormula,
    "IPF.Contact",
    "\nExporting Contact Documents\n",
    "Contact Set Formula Error: {}\n",
    "No Contact Entries Found\n",
    "Contacts Search Error: {}\n",
    "Exporting {}, Contact Entries\n",
    "",
    "..Exporting Contact Entries\n",
    nullptr,
    "....~#>ERROR Unable to export document (index = {0}). Error = {1}\n",
    "...~#>ERROR Unexpected Contact Error (Exception)\n",
    "Contacts Search Error: {1}\n",
    "...~#>ERROR Unexpected Contact Error (Exception)\n",
};

const ComponentDefinition kGroupComponent{
    kGroupFormula,
    "IPF.Contact",
    "\nExporting Group Documents\n",
    "Contact Set Formula Error: {}\n",
    "No Group Entries Found\n",
    "Groups Search Error: {}\n",
    "Exporting {}, Group Entries\n",
    "",
    "..Exporting Contact Entries\n",
    nullptr,
    "....~#>ERROR Unable to export DistList document (index = {0}). Error = {1}\n",
    "...~#>ERROR Unexpected DistList Error (Exception)\n",
    "Groups Search Error: {1}\n",
    "...~#>ERROR Unexpected DistList Error (Exception)\n",
};

namespace {

// The status the search gives when it matched nothing.
constexpr LNSTATUS kNothingMatched = 0xD0000132;

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

struct ComponentRunner::Selection {
    LNNoteArray notes;
    std::int32_t count = 0;
};

ComponentRunner::ComponentRunner(const ComponentContext& context, DocumentDispatcher& dispatcher,
                                 DocumentConverter* contacts, DocumentConverter* groups)
    : context_(context), dispatcher_(dispatcher), contacts_(contacts), groups_(groups), unavailable_(context.log) {}

void ComponentRunner::ExportCalendarEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) {
    Run(kCalendarComponent, session, database, folder,
        [this](const FolderHandle& f, LNNotesSession& s, LNDocument& d) { dispatcher_.Dispatch(f, s, d); });
}

void ComponentRunner::ExportTaskEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) {
    Run(kTaskComponent, session, database, folder,
        [this](const FolderHandle& f, LNNotesSession& s, LNDocument& d) { dispatcher_.Dispatch(f, s, d); });
}

void ComponentRunner::ExportContactEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) {
    if (!contacts_) return unavailable_.ExportContactEntries(session, database, folder);
    Run(kContactComponent, session, database, folder,
        [this](const FolderHandle& f, LNNotesSession& s, LNDocument& d) { contacts_->Convert(f, s, d); });
}

void ComponentRunner::ExportGroupEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) {
    if (!groups_) return unavailable_.ExportGroupEntries(session, database, folder);
    Run(kGroupComponent, session, database, folder,
        [this](const FolderHandle& f, LNNotesSession& s, LNDocument& d) { groups_->Convert(f, s, d); });
}

bool ComponentRunner::Run(const ComponentDefinition& definition, LNNotesSession& session, LNDatabase& database,
                          const std::string& folderName, const EntryHandler& convert) {
    const ExportLog& log = context_.log;
    Step(100);
    log.Write(definition.openingLine);
    Selection selection;
    FolderHandle folder;
    try {
        if (!Select(definition, database, selection)) return false;
        if (!OpenDestination(definition, folderName, folder)) return false;
    } catch (const LNStatusError& e) {
        log.Write(fmt::format(fmt::runtime(definition.setupNotesErrorFormat), 0, NotesErrorText(e.GetStatus())));
        return false;
    } catch (...) {
        log.Write(fmt::format(fmt::runtime(definition.setupUnexpectedFormat), step_));
        return false;
    }
    try {
        ExportEntries(definition, session, selection, folder, convert);
    } catch (...) {
        // Outside the guard of each entry: the loop itself failed.
        log.Write(fmt::format(fmt::runtime(definition.setupUnexpectedFormat), step_));
        return false;
    }
    return true;
}

bool ComponentRunner::Select(const ComponentDefinition& definition, LNDatabase& database, Selection& selection) {
    const ExportLog& log = context_.log;
    LNFormula formula;
    if (const LNSTATUS status = formula.SetText(definition.formula); status != LNNOERROR) {
        log.Write(fmt::format(fmt::runtime(definition.formulaErrorFormat), NotesErrorText(status)));
        return false;
    }
    Step(300);
    LNSTATUS status;
    {
        ScopedNotesThrowMode returnCodes(false);
        status = database.Search(formula, &selection.notes);
    }
    if (status == kNothingMatched) {
        log.Write(definition.nothingFoundLine);
        return false;
    }
    if (status != LNNOERROR) {
        log.Write(fmt::format(fmt::runtime(definition.searchErrorFormat), NotesErrorText(status)));
        return false;
    }
    Step(500);
    selection.count = selection.notes.GetCount();
    const std::string countText = fmt::format(fmt::runtime(definition.countFormat), selection.count);
    log.Write(countText + definition.countLineEnd);
    context_.progress.SetStatusText(WithoutLineEnd(countText));
    context_.progress.SetProgressPosition(0);
    context_.progress.SetProgressRange32(0, selection.count);
    if (definition.secondCountLine) log.Write(definition.secondCountLine);
    return true;
}

bool ComponentRunner::OpenDestination(const ComponentDefinition& definition, const std::string& folderName,
                                      FolderHandle& folder) {
    const ExportLog& log = context_.log;
    Step(620);
    std::optional<FolderHandle> opened = context_.outlook.OpenFolderPath(folderName, definition.folderClass);
    if (!opened || !opened->folder) {
        log.Write("..ERROR with Outlook/Exchange. " + context_.run.lastErrorText + "\n");
        return false;
    }
    Step(650);
    // Rights that could not be read leave the folder writable.
    if (opened->rightsKnown && (opened->rights & frightsCreate) == 0) {
        log.Write("..ERROR with Outlook/Exchange RIGHTS. You do not have create rights in folder '" + folderName +
                  "'\n");
        return false;
    }
    folder = std::move(*opened);
    return true;
}

void ComponentRunner::ExportEntries(const ComponentDefinition& definition, LNNotesSession& session,
                                    const Selection& selection, const FolderHandle& folder,
                                    const EntryHandler& convert) {
    Step(1000);
    context_.progress.SetProgressPosition(0);
    context_.progress.SetProgressRange32(0, selection.count);
    for (std::int32_t index = 0; index < selection.count; ++index) {
        context_.progress.SetProgressPosition(index);
        ++context_.run.processedCount;
        Step(1200);
        ExportEntry(definition, session, selection.notes[index], index, folder, convert);
        Step(1250);
        if (context_.run.cancelRequested) break;
    }
    context_.progress.SetProgressPosition(selection.count);
}

void ComponentRunner::ExportEntry(const ComponentDefinition& definition, LNNotesSession& session,
                                  LNDocument document, std::int32_t index, const FolderHandle& folder,
                                  const EntryHandler& convert) {
    const ExportLog& log = context_.log;
    try {
        Step(1210);
        LNSTATUS status;
        {
            ScopedNotesThrowMode returnCodes(false);
            status = document.Open();
        }
        if (status != LNNOERROR) {
            // Counted as taken and not exported; the log says which one.
            log.Write(fmt::format("....~#>ERROR Unable to read the document (note id 0x{:X}): {}\n",
                                  document.GetNoteID(), NotesErrorText(status)));
            return;
        }
        Step(1220);
        if (definition.entryLineFormat) log.Write(fmt::format(fmt::runtime(definition.entryLineFormat), index));
        Step(1230);
        LNDocument copy = document;
        convert(folder, session, copy);
    } catch (const LNStatusError& e) {
        log.Write(fmt::format(fmt::runtime(definition.entryNotesErrorFormat), index, NotesErrorText(e.GetStatus()),
                              step_));
    } catch (...) {
        log.Write(fmt::format(fmt::runtime(definition.entryUnexpectedFormat), step_));
    }
    ScopedNotesThrowMode returnCodes(false);
    if (document.IsOpen()) document.Close();
}

}  // namespace qb

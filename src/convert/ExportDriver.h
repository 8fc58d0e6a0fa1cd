#pragma once
// One export of one Notes mailbox into Outlook: the mail views and folders in
// catalogue order, document by document, then the Calendar, Tasks and
// Contacts & Groups components, with every failure logged with its step and
// the run going on.

#include <string>

#include "convert/AddressTranslation.h"
#include "convert/ExportRun.h"
#include "convert/ExportServices.h"
#include "notes/ViewFolderCatalogue.h"
#include "notes/api/LNViewFolder.h"
#include "shell/log/ExportLog.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb {

// Everything a run works with; owned by the window (or the command line).
struct ExportEnvironment {
    ExportRun& run;
    const ExportSettings& settings;
    ExportLog& log;
    ProgressSink& progress;
    CMapiSession& outlook;
    ViewFolderCatalogue& catalogue;
    DocumentDispatcher& dispatcher;
    ComponentRuns& components;
    RecoveryHooks& journal;
    AddressTranslator& translator;
    NamedPropertySetup& namedProperties;
};

class ExportDriver {
public:
    explicit ExportDriver(ExportEnvironment environment) : env_(environment) {}

    // Decides from the settings which databases the run needs.
    static void PrepareComponentFlags(const ExportSettings& settings, ExportRun& run);

    // The run; returns a result code and leaves its text in resultText.
    int RunExport(const RunInputs& inputs, LNNotesSession& session, std::string& resultText);

    // One view or folder: 1 when handled (also when its documents failed), 0
    // when the view could not be opened.
    int ExportViewFolder(LNNotesSession& session, LNViewFolder& view, const std::string& outlookFolderName);

private:
    int RunSteps(const RunInputs& inputs, LNNotesSession& session, std::string& resultText, bool& initialisedThread);
    int OpenDatabases(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                      bool& initialisedThread);
    void LoadCatalogue(const RunInputs& inputs);
    void ExportMailViews(LNNotesSession& session);
    int ExportContactsAndGroups(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                                bool& initialisedThread);
    void ExportDocuments(LNNotesSession& session, LNViewFolder& view, const FolderHandle& folder,
                         std::int32_t startIndex, std::int32_t entryCount, std::int32_t& localStep);
    void PostView(LNViewFolder& view, std::int32_t entryCount);
    void Fail(std::string text, std::string& resultText);
    void Step(std::int32_t value) { env_.run.runStep = value; }
    bool Cancelled() const { return env_.run.cancelRequested.load(); }
    bool Ticked(const char* component) const;

    ExportEnvironment env_;
};

}  // namespace qb

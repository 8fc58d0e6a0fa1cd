#pragma once
// One export of one Notes mailbox into Outlook: the mail views and folders in
// catalogue order, document by document, then the Calendar, Tasks and
// Contacts & Groups components, with every failure logged with its step and
// the run going on.

#include <functional>
#include <string>

#include "convert/AddressTranslation.h"
#include "convert/CommittedJournal.h"
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
    explicit ExportDriver(ExportEnvironment environment)
        : env_(environment), journal_(env_.journal, env_.outlook, env_.run, env_.log) {}

    // Decides from the settings which databases the run needs.
    static void PrepareComponentFlags(const ExportSettings& settings, ExportRun& run);

    // The run; returns a result code and leaves its text in resultText.
    int RunExport(const RunInputs& inputs, LNNotesSession& session, std::string& resultText);

    // One view or folder: 1 when handled (also when its documents failed), 0
    // when the view could not be opened.
    int ExportViewFolder(LNNotesSession& session, LNViewFolder& view, const std::string& outlookFolderName);

private:
    // The Notes thread session as far as the run initialised it; ended on
    // every way out of the run, so no early return can leave it behind.
    class ThreadSession {
    public:
        explicit ThreadSession(LNNotesSession& session) : session_(session) {}
        ~ThreadSession() { End(); }
        ThreadSession(const ThreadSession&) = delete;
        ThreadSession& operator=(const ThreadSession&) = delete;
        LNSTATUS Begin();
        void End();

    private:
        LNNotesSession& session_;
        bool initialised_ = false;
    };

    int RunSteps(const RunInputs& inputs, LNNotesSession& session, std::string& resultText, ThreadSession& thread);
    int OpenDatabases(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                      ThreadSession& thread);
    void LoadCatalogue(const RunInputs& inputs);
    void ExportMailViews(LNNotesSession& session);
    int ExportContactsAndGroups(const RunInputs& inputs, LNNotesSession& session, std::string& resultText,
                                ThreadSession& thread);
    // The summary lines and the run's result once the components are done.
    int Summarise(std::string& resultText);
    // One of the Calendar, Tasks, Contacts and Groups runs, journaled as a
    // view of its own.
    void RunComponent(const char* name, const std::function<void()>& exportEntries);
    void ExportDocuments(LNNotesSession& session, LNViewFolder& view, const FolderHandle& folder,
                         const ResumePoint& point, std::int32_t entryCount, std::int32_t& localStep);
    // `finished`: the view's items could be written (its folder was there).
    void PostView(LNViewFolder& view, std::int32_t entryCount, bool finished);
    void Fail(std::string text, std::string& resultText);
    void Step(std::int32_t value) { env_.run.runStep = value; }
    bool Cancelled() const { return env_.run.cancelRequested.load(); }
    // A write failure ended the run (ExportRun::stopText).
    bool Stopped() const { return !env_.run.stopText.empty(); }
    bool Ticked(const char* component) const;

    ExportEnvironment env_;
    // The run's journal: records documents once the store has committed them.
    CommittedJournal journal_;
};

}  // namespace qb

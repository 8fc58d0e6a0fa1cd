#include "convert/ExportWorker.h"

#include <fmt/format.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "notes/NotesErrorText.h"
#include "outlook/mapi/MapiSession.h"

namespace qb {
namespace {
constexpr int kBelowNormalNice = 5;
}  // namespace

void ExportWorker::Caught(const std::string& text) {
    env_.run.errorRaised = true;
    env_.run.lastErrorText = text;
    env_.log.Write(text + "\n");
    env_.progress.SetStatusText(text);
}

int ExportWorker::Run(const RunInputs& inputs, LNNotesSession& session) {
    ExportRun& run = env_.run;
    run.runStep = 100;
    MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
    if (FAILED(MAPIInitialize(&init))) {
        env_.progress.SetStatusText("Unable to Strart Outlook Session");
        return 0;
    }
    run.runStep = 200;
    bool windowSwitched = false;
    try {
        run.exportInProgress = true;
        window_.SetExportingState(true);
        windowSwitched = true;
        run.runStep = 300;
        run.runStep = 400;
        env_.log.UsePerDatabasePath(false);
        env_.log.SetSingleDatabasePath(inputs.logPath);
        runResult_ = driver_.RunExport(inputs, session, run.resultText);
        run.runStep = 500;
    } catch (const LNStatusError& e) {
        Caught(fmt::format("~#>ERROR: {} [TF A S={}]", NotesErrorText(e.GetStatus()), run.runStep.load()));
    } catch (...) {
        Caught(fmt::format("~#>ERROR: Unexpected Error [TF B:{}]", run.runStep.load()));
    }
    MAPIUninitialize();
    env_.log.CloseFile();
    if (run.errorRaised) window_.ShowExportError(run.lastErrorText);
    if (windowSwitched) window_.SetExportingState(false);
    run.exportInProgress = false;
    return 0;
}

std::thread ExportWorker::Start(RunInputs inputs, LNNotesSession& session) {
    return std::thread([this, inputs = std::move(inputs), &session] {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kBelowNormalNice);
        Run(inputs, session);
        // This thread's Notes session ends with the thread, whatever the run left.
        while (session.IsThreadInitialized()) session.TermThread();
    });
}

}  // namespace qb

#pragma once
// "Export Now" for the window: the launch on the window thread, then the one
// export worker on a thread of its own. Owns what one export works with; the
// run's state stays readable after the worker ended, until the next launch.
//
// Invariants: at most one worker exists; the window thread joins it only
// after the worker's thread has ended (see WindowThread.h): the ended thread
// posts the join to the window, which never waits inside one of its events.

#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

#include "batch/RecoveryJournal.h"
#include "convert/ExportWorker.h"
#include "launch/ExportLaunch.h"
#include "launch/ExportParts.h"

namespace qb::ui {

struct WindowFrontEnd {
    ProgressSink& progress;
    MessageSink& messages;
    ExportConfirmation& confirmation;
    RecoveryQuestions& questions;
    ExportWindow& window;
};

class ExportController {
public:
    ExportController(QObject& window, ExportSettings& settings, LNNotesSession& notes, CMapiSession& outlook,
                     ViewFolderCatalogue& catalogue)
        : window_(window), settings_(settings), notes_(notes), outlook_(outlook), catalogue_(catalogue) {}
    ~ExportController();
    ExportController(const ExportController&) = delete;
    ExportController& operator=(const ExportController&) = delete;

    // The launch's checks and questions; true when the worker was started.
    bool Launch(LaunchChoices& choices, const std::string& journalFolder, bool makeSmtp,
                const std::string& smtpDomain, const WindowFrontEnd& frontEnd);
    // "Cancel Export": the worker stops after the document it is on.
    void Cancel();
    // A worker was started and not yet joined.
    bool Busy() const { return thread_.joinable(); }
    // Waits for the worker while the window keeps handling its calls: for
    // the end of the program (or of a test) while an export may still run.
    void CancelAndWait();
    // The last export's state, or null before the first.
    const ExportRun* run() const { return parts_ ? &parts_->run : nullptr; }

private:
    void Join();

    QObject& window_;
    ExportSettings& settings_;
    LNNotesSession& notes_;
    CMapiSession& outlook_;
    ViewFolderCatalogue& catalogue_;
    std::unique_ptr<RecoveryJournal> journal_;
    std::unique_ptr<ExportParts> parts_;
    std::unique_ptr<ExportDriver> driver_;
    std::unique_ptr<ExportWorker> worker_;
    // Runs the worker's own thread and says when it has ended.
    std::thread thread_;
    std::atomic<bool> finished_{true};
};

}  // namespace qb::ui

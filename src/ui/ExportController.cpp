// The window's export launch and worker (see ExportController.h).

#include "ui/ExportController.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace qb::ui {

ExportController::~ExportController() { CancelAndWait(); }

void ExportController::CancelAndWait() {
    Cancel();
    constexpr int kWaitMs = 20;
    while (!finished_) QCoreApplication::processEvents(QEventLoop::AllEvents, kWaitMs);
    Join();
}

bool ExportController::Launch(LaunchChoices& choices, const std::string& journalFolder, bool makeSmtp,
                              const std::string& smtpDomain, const WindowFrontEnd& frontEnd) {
    if (Busy()) return false;
    worker_.reset();
    driver_.reset();
    parts_.reset();
    journal_ = std::make_unique<RecoveryJournal>(journalFolder, settings_.RecoveryInfo && !journalFolder.empty());
    parts_ = std::make_unique<ExportParts>(ExportPartsInputs{settings_, frontEnd.progress, outlook_, notes_,
                                                             catalogue_, *journal_, &frontEnd.messages, makeSmtp,
                                                             smtpDomain});
    ExportLaunch launch(parts_->env(), settings_, frontEnd.messages, frontEnd.confirmation, notes_);
    launch.UseRecovery(*journal_, frontEnd.questions);
    if (!launch.Launch(choices)) return false;
    driver_ = std::make_unique<ExportDriver>(parts_->env());
    worker_ = std::make_unique<ExportWorker>(*driver_, parts_->env(), frontEnd.window);
    finished_ = false;
    thread_ = std::thread([this, inputs = choices.inputs] {
        worker_->Start(inputs, notes_).join();
        finished_ = true;
        QMetaObject::invokeMethod(&window_, [this] { Join(); }, Qt::QueuedConnection);
    });
    return true;
}

void ExportController::Cancel() {
    if (parts_) parts_->run.cancelRequested = true;
}

void ExportController::Join() {
    if (finished_ && thread_.joinable()) thread_.join();
}

}  // namespace qb::ui

// The window's export launch and worker (see ExportController.h).

#include "ui/ExportController.h"

namespace qb::ui {

ExportController::~ExportController() {
    // The window refuses to close while an export runs; this is the last resort.
    Cancel();
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
    thread_ = worker_->Start(choices.inputs, notes_);
    return true;
}

void ExportController::Cancel() {
    if (parts_) parts_->run.cancelRequested = true;
}

void ExportController::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace qb::ui

#pragma once
// The window's answers to the launch's questions: the "Confirm Export"
// dialog with its date filter, and the recovery questions ("This database
// has aleady been exported successfully...", the "Export Recovery" dialog).
// The launch runs on the window thread, so these are plain modal dialogs.

#include <QWidget>

#include "launch/ExportLaunch.h"
#include "launch/LaunchRecovery.h"

namespace qb::ui {

class WindowAnswers : public ExportConfirmation, public RecoveryQuestions {
public:
    explicit WindowAnswers(QWidget* window) : window_(window) {}

    bool Confirm(const std::string& text, ExportSettings& settings) override;
    bool ExportAgain() override;
    RecoveryAnswer ExportRecovery(std::int64_t& offset) override;
    bool StartOverUnusable(const std::string& reason) override;

    // "Save Filter Info" was ticked in the last confirmation.
    bool saveFilterInfo = false;

private:
    QWidget* window_;
};

}  // namespace qb::ui

// The window's answers to the launch (see WindowAnswers.h).

#include "ui/WindowAnswers.h"

#include <QMessageBox>

#include "ui/ConfirmExportDialog.h"
#include "ui/RecoveryDialog.h"
#include "ui/WindowThread.h"

namespace qb::ui {

bool WindowAnswers::Confirm(const std::string& text, ExportSettings& settings) {
    ConfirmExportDialog dialog(text, settings, window_);
    const bool yes = dialog.exec() == QDialog::Accepted;
    saveFilterInfo = yes && dialog.saveFilterInfo();
    return yes;
}

bool WindowAnswers::ExportAgain() {
    return QMessageBox::question(window_, "Confirm",
                                 "This database has aleady been exported successfully. Do you wish to export it again?",
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) == QMessageBox::Yes;
}

RecoveryAnswer WindowAnswers::ExportRecovery(std::int64_t& offset) {
    RecoveryDialog dialog(offset, window_);
    if (dialog.exec() != QDialog::Accepted) return RecoveryAnswer::Cancel;
    if (!dialog.recover()) return RecoveryAnswer::StartOver;
    offset = dialog.offset();
    return RecoveryAnswer::Recover;
}

bool WindowAnswers::StartOverUnusable(const std::string& reason) {
    return QMessageBox::warning(window_, "Export Recovery",
                                Q(reason) + "\n\nStart exporting from scratch?",
                                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace qb::ui

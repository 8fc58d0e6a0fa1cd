// "Export Recovery" (see RecoveryDialog.h).

#include "ui/RecoveryDialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "ui/Widgets.h"

namespace qb::ui {

RecoveryDialog::RecoveryDialog(std::int64_t offset, QWidget* parent)
    : QDialog(parent),
      recover_(new QRadioButton("Recover from last point", this)),
      scratch_(new QRadioButton("Don't recover. Start exporting from scratch", this)),
      offset_(new QSpinBox(this)) {
    setObjectName("exportRecovery");
    setWindowTitle("Export Recovery");
    auto* text = new QLabel(
        "Recovery information for a cancelled or failed export was found for this database. Please choose the "
        "appropriate action:",
        this);
    text->setWordWrap(true);
    recover_->setObjectName("recoverFromLastPoint");
    scratch_->setObjectName("startFromScratch");
    recover_->setChecked(true);
    offset_->setObjectName("recoveryOffset");
    // -1 starts the unfinished view at its first document.
    offset_->setRange(-1, std::numeric_limits<std::int32_t>::max() - 1);
    offset_->setValue(static_cast<int>(std::clamp<std::int64_t>(offset, offset_->minimum(), offset_->maximum())));
    auto* form = new QFormLayout;
    form->addRow("Recovery Offset", offset_);
    auto* buttons = OkCancelButtons(this);
    connect(recover_, &QRadioButton::toggled, offset_, &QWidget::setEnabled);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(recover_);
    layout->addWidget(scratch_);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

}  // namespace qb::ui

#pragma once
// "Export Recovery": an earlier export of this database was cancelled or
// failed. "Recover from last point" (chosen at start) with the "Recovery
// Offset" (the journal's last view entry index), or "Don't recover. Start
// exporting from scratch".

#include <QDialog>
#include <QRadioButton>
#include <QSpinBox>
#include <cstdint>

namespace qb::ui {

class RecoveryDialog : public QDialog {
public:
    RecoveryDialog(std::int64_t offset, QWidget* parent);

    bool recover() const { return recover_->isChecked(); }
    std::int64_t offset() const { return offset_->value(); }

    QRadioButton* recover_;
    QRadioButton* scratch_;
    QSpinBox* offset_;
};

}  // namespace qb::ui

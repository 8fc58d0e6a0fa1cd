#pragma once
// "Confirm Export": the launch's last question, with the time zone the
// export converts with and the date filter ("Filter By Date", "Export from"
// and "Export to" as a date and a time each). The
// pickers show only while the filter is ticked (the dialog is 265 pixels
// high then, 150 without). OK ("Yes, Export Now") writes FilterByDate and
// both bounds into the settings.

#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QGroupBox>
#include <QTimeEdit>

#include "shell/settings/ExportSettings.h"

namespace qb::ui {

class ConfirmExportDialog : public QDialog {
public:
    ConfirmExportDialog(const std::string& text, ExportSettings& settings, QWidget* parent);

    void accept() override;
    bool saveFilterInfo() const { return saveFilter_->isChecked(); }

private:
    void ShowFilter(bool on);

    ExportSettings& settings_;
    QCheckBox* filterByDate_;
    QGroupBox* range_;
    QDateEdit* fromDate_;
    QTimeEdit* fromTime_;
    QDateEdit* toDate_;
    QTimeEdit* toTime_;
    QCheckBox* saveFilter_;
};

// A bound for the pickers, and back (local time, as the settings keep it).
QDateTime ToPicker(std::time_t when);
std::time_t FromPickers(const QDate& date, const QTime& time);

}  // namespace qb::ui

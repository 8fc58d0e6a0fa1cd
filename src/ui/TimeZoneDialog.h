#pragma once
// "Adjust or View Time Zone Settings": the system's zone as detected, and
// the manual zone (hours and minutes east of Greenwich, daylight saving
// amount) used instead while "Manually Set Time Zone Settings" is ticked.
// OK refuses entries out of range with an "Input Error" box and stays open.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>

#include "shell/report/MessageSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb::ui {

class TimeZoneDialog : public QDialog {
public:
    TimeZoneDialog(ExportSettings& settings, MessageSink& messages, QWidget* parent);
    void accept() override;

    QCheckBox* manual;
    QSpinBox* hours;
    QSpinBox* minutes;
    QSpinBox* daylightHours;
    QSpinBox* daylightMinutes;

private:
    void EnableFields(bool manualOn);

    ExportSettings& settings_;
    MessageSink& messages_;
    QLabel* systemZone_;
    QLabel* systemDaylight_;
};

}  // namespace qb::ui

// The time zone dialog (see TimeZoneDialog.h); the checks and the stored
// form are the conversion engine's (TimeZoneOffsets.h).

#include "ui/TimeZoneDialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "convert/TimeZoneOffsets.h"
#include "ui/WindowThread.h"
#include "ui/Widgets.h"

namespace qb::ui {
namespace {

// Wide enough that the dialog's own checks, not the spin box, refuse a value.
QSpinBox* Number(const char* name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(-999, 999);
    return box;
}

}  // namespace

TimeZoneDialog::TimeZoneDialog(ExportSettings& settings, MessageSink& messages, QWidget* parent)
    : QDialog(parent),
      manual(new QCheckBox("Manually Set Time Zone Settings (not recommended - set in windows)", this)),
      hours(Number("hours", this)),
      minutes(Number("minutes", this)),
      daylightHours(Number("daylightHours", this)),
      daylightMinutes(Number("daylightMinutes", this)),
      settings_(settings),
      messages_(messages),
      systemZone_(new QLabel(this)),
      systemDaylight_(new QLabel(this)) {
    setObjectName("timeZone");
    setWindowTitle("Adjust or View Time Zone Settings");
    manual->setObjectName("manual");
    const platform::TimeZoneInformation system = platform::GetTimeZoneInformation();
    systemZone_->setText(Q(SystemZoneText(system)));
    systemDaylight_->setText(Q(SystemDaylightText(system)));
    auto* detected = new QGroupBox("Automatically Detected Time Zone Settings", this);
    auto* detectedForm = new QFormLayout(detected);
    detectedForm->addRow("Time Zone:", systemZone_);
    detectedForm->addRow("Daylight Savings:", systemDaylight_);

    auto* adjust = new QGroupBox("Manual Adjustment", this);
    auto* adjustForm = new QFormLayout(adjust);
    auto pair = [&](QSpinBox* a, QSpinBox* b) {
        auto* row = new QHBoxLayout;
        row->addWidget(a);
        row->addWidget(new QLabel("hours", adjust));
        row->addWidget(b);
        row->addWidget(new QLabel("minutes", adjust));
        return row;
    };
    adjustForm->addRow("Time Zone", pair(hours, minutes));
    adjustForm->addRow("Daylight Savings:", pair(daylightHours, daylightMinutes));

    const ManualZoneInput stored = ManualZoneFromSettings(settings);
    hours->setValue(stored.hours);
    minutes->setValue(stored.minutes);
    daylightHours->setValue(stored.daylightHours);
    daylightMinutes->setValue(stored.daylightMinutes);
    manual->setChecked(settings.TimeZoneManual);
    EnableFields(settings.TimeZoneManual);
    connect(manual, &QCheckBox::toggled, this, [this](bool on) { EnableFields(on); });

    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(detected);
    layout->addWidget(manual);
    layout->addWidget(adjust);
    layout->addWidget(buttons);
}

void TimeZoneDialog::EnableFields(bool manualOn) {
    for (QWidget* w : std::initializer_list<QWidget*>{hours, minutes, daylightHours, daylightMinutes})
        w->setEnabled(manualOn);
    systemZone_->setEnabled(!manualOn);
    systemDaylight_->setEnabled(!manualOn);
}

void TimeZoneDialog::accept() {
    const ManualZoneInput input{hours->value(), minutes->value(), daylightHours->value(), daylightMinutes->value()};
    if (const auto problem = ValidateManualZone(input)) {
        messages_.ShowMessage(*problem, "Input Error", MessageIcon::Warning);
        return;
    }
    ApplyManualZone(input, manual->isChecked(), settings_);
    QDialog::accept();
}

}  // namespace qb::ui

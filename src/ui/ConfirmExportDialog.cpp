// "Confirm Export" (see ConfirmExportDialog.h).

#include "ui/ConfirmExportDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "convert/TimeZoneOffsets.h"
#include "shell/platform/LocalTime.h"
#include "ui/WindowThread.h"

namespace qb::ui {
namespace {
constexpr int kHeightWithFilter = 265;
constexpr int kHeightWithoutFilter = 150;
}  // namespace

QDateTime ToPicker(std::time_t when) {
    const platform::SystemTime t = platform::ToLocalSystemTime(when);
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

std::time_t FromPickers(const QDate& date, const QTime& time) {
    return platform::FromLocalFields(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second())
        .value_or(0);
}

ConfirmExportDialog::ConfirmExportDialog(const std::string& text, ExportSettings& settings, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      filterByDate_(new QCheckBox("Filter By Date", this)),
      range_(new QGroupBox("Filter export of mail and calendar items by date range", this)),
      fromDate_(new QDateEdit(this)),
      fromTime_(new QTimeEdit(this)),
      toDate_(new QDateEdit(this)),
      toTime_(new QTimeEdit(this)),
      saveFilter_(new QCheckBox("Save Filter Info", this)) {
    setObjectName("confirmExport");
    setWindowTitle("Confirm Export");
    auto* message = new QLabel(Q(text), this);
    message->setObjectName("confirmText");
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    filterByDate_->setObjectName("filterByDate");
    fromDate_->setObjectName("exportFromDate");
    toDate_->setObjectName("exportToDate");
    const QDateTime from = ToPicker(settings.FilterFrom);
    const QDateTime to = ToPicker(settings.FilterTo);
    fromDate_->setDate(from.date());
    fromTime_->setTime(from.time());
    toDate_->setDate(to.date());
    toTime_->setTime(to.time());
    for (QDateEdit* d : {fromDate_, toDate_}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat("yyyy-MM-dd");
    }
    for (QTimeEdit* t : {fromTime_, toTime_}) t->setDisplayFormat("HH:mm:ss");
    auto* rangeLayout = new QGridLayout(range_);
    rangeLayout->addWidget(new QLabel("Export from", range_), 0, 0);
    rangeLayout->addWidget(fromDate_, 0, 1);
    rangeLayout->addWidget(fromTime_, 0, 2);
    rangeLayout->addWidget(new QLabel("Export to", range_), 1, 0);
    rangeLayout->addWidget(toDate_, 1, 1);
    rangeLayout->addWidget(toTime_, 1, 2);
    rangeLayout->addWidget(saveFilter_, 2, 0, 1, 3);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* yes = buttons->addButton("Yes, Export Now", QDialogButtonBox::AcceptRole);
    yes->setObjectName("yesExportNow");
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The zone the bounds and every Notes time are converted with, so that a
    // wrong zone is seen before the export rather than in Outlook.
    auto* zone = new QLabel(Q(ExportZoneText(settings, platform::GetTimeZoneInformation())), this);
    zone->setObjectName("timeZoneInUse");
    zone->setTextFormat(Qt::PlainText);
    zone->setWordWrap(true);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterByDate_);
    filterRow->addWidget(zone, 1, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addLayout(filterRow);
    layout->addWidget(range_);
    layout->addStretch();
    layout->addWidget(buttons);
    connect(filterByDate_, &QCheckBox::toggled, this, [this](bool on) { ShowFilter(on); });
    filterByDate_->setChecked(settings.FilterByDate);
    ShowFilter(settings.FilterByDate);
    setMinimumWidth(460);
}

void ConfirmExportDialog::ShowFilter(bool on) {
    range_->setVisible(on);
    setFixedHeight(on ? kHeightWithFilter : kHeightWithoutFilter);
}

void ConfirmExportDialog::accept() {
    settings_.FilterFrom = FromPickers(fromDate_->date(), fromTime_->time());
    settings_.FilterTo = FromPickers(toDate_->date(), toTime_->time());
    settings_.FilterByDate = filterByDate_->isChecked();
    QDialog::accept();
}

}  // namespace qb::ui

// The "Export && Status" group (see ExportGroup.h).

#include "ui/ExportGroup.h"

#include <QGridLayout>

#include "ui/WindowThread.h"

namespace qb::ui {

ExportGroup::ExportGroup(QWidget* parent)
    : QGroupBox("Export && Status", parent),
      exportNow(new QPushButton("Export Now", this)),
      cancelExport(new QPushButton("Cancel Export", this)),
      viewLog(new QPushButton("View log", this)),
      log(new QCheckBox("Log", this)),
      recovery(new QCheckBox("Recovery Infomation", this)),
      progress(new QProgressBar(this)),
      status(new QLabel(this)),
      secondary1(new QLabel(this)),
      secondary2(new QLabel(this)) {
    exportNow->setObjectName("exportNow");
    cancelExport->setObjectName("cancelExport");
    viewLog->setObjectName("viewLog");
    status->setObjectName("status");
    progress->setObjectName("progress");
    cancelExport->setEnabled(false);
    progress->setRange(0, 1);
    progress->setValue(0);
    // The status line carries texts of any length (paths, Notes errors).
    for (QLabel* line : {status, secondary1, secondary2}) {
        line->setTextFormat(Qt::PlainText);
        line->setWordWrap(true);
        line->setMinimumWidth(200);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(exportNow, 0, 0);
    layout->addWidget(cancelExport, 0, 1);
    layout->addWidget(viewLog, 0, 2);
    layout->addWidget(log, 0, 3);
    layout->addWidget(recovery, 0, 4);
    layout->addWidget(progress, 1, 0, 1, 5);
    layout->addWidget(status, 2, 0, 1, 5);
    layout->addWidget(secondary1, 3, 0, 1, 5);
    layout->addWidget(secondary2, 4, 0, 1, 5);
}

void ExportGroup::SetStatusText(std::string_view text) {
    const QString shown = Q(text);
    CallOnWindowThread(this, [&] { status->setText(shown); });
}

void ExportGroup::SetSecondaryText(int line, std::string_view text) {
    const QString shown = Q(text);
    CallOnWindowThread(this, [&] { (line == 2 ? secondary2 : secondary1)->setText(shown); });
}

void ExportGroup::SetProgressRange16(std::uint16_t low, std::uint16_t high) { SetProgressRange32(low, high); }

void ExportGroup::SetProgressRange32(std::int32_t low, std::int32_t high) {
    CallOnWindowThread(this, [&] { progress->setRange(low, high); });
}

void ExportGroup::SetProgressPosition(std::int32_t position) {
    CallOnWindowThread(this, [&] { progress->setValue(position); });
}

}  // namespace qb::ui

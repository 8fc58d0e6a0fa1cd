#pragma once
// The "Export && Status" group of the main window: "Export Now", "Cancel
// Export", "View log", the "Log" and "Recovery Infomation" check boxes, the
// progress bar, the status line and the two secondary status lines. It is
// the export's ProgressSink: the worker's calls wait until the window thread
// has shown them.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "shell/report/ProgressSink.h"

namespace qb::ui {

class ExportGroup : public QGroupBox, public ProgressSink {
public:
    explicit ExportGroup(QWidget* parent);

    QPushButton* exportNow;
    QPushButton* cancelExport;
    QPushButton* viewLog;
    QCheckBox* log;
    QCheckBox* recovery;
    QProgressBar* progress;
    QLabel* status;
    QLabel* secondary1;
    QLabel* secondary2;

    void SetStatusText(std::string_view text) override;
    void SetSecondaryText(int line, std::string_view text) override;
    void SetProgressRange16(std::uint16_t low, std::uint16_t high) override;
    void SetProgressRange32(std::int32_t low, std::int32_t high) override;
    void SetProgressPosition(std::int32_t position) override;
};

}  // namespace qb::ui

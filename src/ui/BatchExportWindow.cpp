// The batch window (see BatchExportWindow.h).

#include "ui/BatchExportWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <array>

#include "ui/DatabaseSelectionDialog.h"
#include "ui/WindowThread.h"
#include "ui/Widgets.h"

namespace qb::ui {
namespace {

struct Column {
    const char* caption;
    int width;
    bool right;
};
constexpr std::array<Column, 13> kColumns = {{
    {"Notes Title", 120, false}, {"Notes Server", 70, false}, {"Notes Filepath", 70, false},
    {"Output Mail Folder", 100, false}, {"PST Filename", 80, false}, {"Exp", 40, true}, {"Tot", 40, true},
    {"Status", 250, false}, {"RC", 50, true}, {"Notes NAB Server", 100, false}, {"Notes NAB Filepath", 100, false},
    {"Profile", 60, false}, {"Password", 60, false},
}};
constexpr const char* kCsvFilter = "CSV (Comma Delimited) (*.csv);;All Files (*)";

QPushButton* Button(const char* caption, const char* name, QWidget* parent) {
    return NamedWidget<QPushButton>(caption, name, parent);
}

}  // namespace

DatabaseList BatchExportWindow::LoadList(const std::string& settingsPath, MessageSink& messages) {
    DatabaseList list(DatabaseList::DefaultPathBeside(settingsPath));
    if (QFileInfo::exists(Q(list.defaultPath()))) list.ImportDatabaseList("", messages);
    return list;
}

BatchExportWindow::BatchExportWindow(BatchWindowContext context, DatabaseList startList, QWidget* parent)
    : QDialog(parent),
      list(std::move(startList)),
      rows(new QTreeWidget(this)),
      pst97(new QRadioButton("Create PST 97-2002 (< 2GB)", this)),
      pst2003(new QRadioButton("Create PST 2003 (< 33TB theoretical)", this)),
      exchange(new QRadioButton("Exchange/Outlook Folders", this)),
      pstPath(new QLineEdit(this)),
      add(Button("Add", "add", this)),
      remove(Button("Remove", "remove", this)),
      removeAll(Button("Remove All", "removeAll", this)),
      resetFlags(Button("Reset Flags", "resetFlags", this)),
      exportSelected(Button("Export Selected", "exportSelected", this)),
      cancel(Button("Cancel", "cancelBatch", this)),
      status(new QLabel(this)),
      counter(new QLabel(this)),
      processed(new QLabel("Total Processed 0", this)),
      progress(new QProgressBar(this)),
      context_(std::move(context)) {
    setObjectName("batchWindow");
    setWindowTitle("Mutli Database Export");
    rows->setObjectName("databaseList");
    pstPath->setObjectName("pstPath");
    pst97->setObjectName("pst97");
    pst2003->setObjectName("pst2003");
    exchange->setObjectName("exchange");
    status->setObjectName("batchStatus");
    processed->setObjectName("totalProcessed");
    rows->setRootIsDecorated(false);
    rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QStringList captions;
    for (const Column& c : kColumns) captions << c.caption;
    rows->setHeaderLabels(captions);
    for (std::size_t i = 0; i < kColumns.size(); ++i) rows->setColumnWidth(static_cast<int>(i), kColumns[i].width);
    cancel->setEnabled(false);
    status->setTextFormat(Qt::PlainText);

    auto* format = new QGroupBox("Format", this);
    auto* formatLayout = new QVBoxLayout(format);
    formatLayout->addWidget(pst97);
    formatLayout->addWidget(pst2003);
    formatLayout->addWidget(exchange);
    auto* browse = Button("Browse", "browsePstPath", this);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pstPath, 1);
    pathRow->addWidget(browse);
    formatLayout->addLayout(pathRow);

    auto* layout = new QVBoxLayout(this);
    BuildMenu();
    layout->setMenuBar(findChild<QMenuBar*>());
    layout->addWidget(rows, 1);
    layout->addWidget(counter);
    auto* middle = new QHBoxLayout;
    middle->addWidget(format, 1);
    middle->addWidget(BuildButtons());
    layout->addLayout(middle);
    layout->addWidget(progress);
    layout->addWidget(status);
    layout->addWidget(processed);

    const ExportSettings& s = context_.settings;
    pstPath->setText(Q(s.PSTPath));
    (s.ServiceName == kExchangeTarget ? exchange : s.ServiceName == "MSUPST MS" ? pst2003 : pst97)->setChecked(true);
    auto formatChosen = [this, browse] {
        context_.settings.ServiceName = ServiceName();
        const bool files = !exchange->isChecked();
        pstPath->setEnabled(files);
        browse->setEnabled(files);
    };
    for (QRadioButton* r : {pst97, pst2003, exchange}) connect(r, &QRadioButton::toggled, this, formatChosen);
    formatChosen();
    connect(browse, &QPushButton::clicked, this, [this] { ChooseFolder(); });
    Refill();
    resize(900, 520);
    chooseListFile = [this](bool save) { return AskForListFile(save); };
}

BatchExportWindow::~BatchExportWindow() {
    Cancel();
    while (!finished_) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (thread_.joinable()) thread_.join();
}

QWidget* BatchExportWindow::BuildButtons() {
    auto* panel = new QWidget(this);
    auto* layout = new QGridLayout(panel);
    layout->addWidget(add, 0, 0);
    layout->addWidget(remove, 0, 1);
    layout->addWidget(removeAll, 1, 0);
    layout->addWidget(resetFlags, 1, 1);
    layout->addWidget(exportSelected, 2, 0);
    layout->addWidget(cancel, 2, 1);
    auto* close = Button("Close", "closeBatch", panel);
    layout->addWidget(close, 3, 1);
    connect(add, &QPushButton::clicked, this, [this] { AddDatabases(); });
    connect(remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(removeAll, &QPushButton::clicked, this, [this] {
        list.items.clear();
        Refill();
        ClearProgress();
    });
    connect(resetFlags, &QPushButton::clicked, this, [this] {
        list.ResetFlags();
        Refill();
        processed->setText("Total Processed 0");
        ClearProgress();
    });
    connect(exportSelected, &QPushButton::clicked, this, [this] { ExportSelected(); });
    connect(cancel, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    return panel;
}

void BatchExportWindow::BuildMenu() {
    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu("File");
    file->addAction("Import database list from CSV file", this, [this] { ImportList(); });
    file->addAction("Export database list to CSV file", this, [this] { ExportList(false); });
    file->addAction("Export database list to CSV and  launch CSV file", this, [this] { ExportList(true); });
    file->addAction("Exit multi-database menu", this, &QDialog::reject);
}

void BatchExportWindow::FillRow(QTreeWidgetItem* item, const DatabaseListItem& e) {
    const std::array<QString, 13> texts = {
        Q(e.title), Q(e.server), Q(e.filePath), Q(e.outputFolder), Q(e.pstFileName),
        QString::number(e.exportedCount), QString::number(e.processedCount), Q(e.statusText),
        QString::number(e.resultCode), Q(e.addressBookServer), Q(e.addressBookPath), Q(e.profile),
        e.password.empty() ? QString() : QString("****")};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        item->setText(static_cast<int>(i), texts[i]);
        if (kColumns[i].right) item->setTextAlignment(static_cast<int>(i), Qt::AlignRight | Qt::AlignVCenter);
    }
    item->setIcon(0, e.HasError() ? style()->standardIcon(QStyle::SP_MessageBoxCritical) : QIcon());
}

void BatchExportWindow::Refill() {
    rows->clear();
    for (const DatabaseListItem& entry : list.items) FillRow(new QTreeWidgetItem(rows), entry);
    counter->setText(QString("Total selected: %1 ").arg(list.items.size()));
}

void BatchExportWindow::ClearProgress() {
    status->clear();
    progress->setRange(0, 1);
    progress->setValue(0);
}

void BatchExportWindow::AddDatabases() {
    DatabaseSelectionDialog dialog(DatabaseSelectionDialog::Mode::Multi, context_.notes, context_.messages, this);
    if (dialog.exec() != QDialog::Accepted) return;
    for (std::size_t i = 0; i < dialog.paths().size(); ++i) {
        std::string message;
        const auto added = list.AddDatabaseListItem(dialog.titles()[i], dialog.server(), dialog.paths()[i], "", "",
                                                    AddSwitches{}, message);
        if (!added) {
            context_.messages.ShowMessage(message, "Error", MessageIcon::Error);
            continue;
        }
        Refill();
        rows->clearSelection();
        rows->topLevelItem(static_cast<int>(*added))->setSelected(true);
    }
    counter->setText(QString("Total selected: %1 ").arg(list.items.size()));
}

void BatchExportWindow::RemoveSelected() {
    for (int i = rows->topLevelItemCount(); i-- > 0;)
        if (rows->topLevelItem(i)->isSelected()) list.items.erase(list.items.begin() + i);
    Refill();
    ClearProgress();
}

std::string BatchExportWindow::ServiceName() const {
    return exchange->isChecked() ? kExchangeTarget : pst2003->isChecked() ? "MSUPST MS" : "MSPST MS";
}

void BatchExportWindow::ChooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "Browse", pstPath->text(),
                                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!folder.isEmpty()) pstPath->setText(folder);
}

void BatchExportWindow::ExportSelected() {
    if (Running()) return;
    context_.settings.PSTPath = U(pstPath->text());
    parts_.reset();
    batch_.reset();
    // A batch runs unattended: what the store refuses of one item goes to
    // that mailbox's log and never waits for an answer.
    parts_ = std::make_unique<ExportParts>(ExportPartsInputs{context_.settings, context_.mainStatus, context_.outlook,
                                                             context_.notes, context_.catalogue, noRecovery_,
                                                             nullptr, context_.makeSmtp, context_.smtpDomain});
    BatchServices services{parts_->env(), context_.settings, context_.notes,     *this,
                           context_.messages, context_.confirmation, context_.mainWindow, *this};
    batch_ = std::make_unique<BatchExport>(services, list, BatchTarget{ServiceName(), context_.settings.PSTPath});
    if (!batch_->ExportSelected()) return;
    finished_ = false;
    thread_ = std::thread([this] {
        batch_->Start().join();
        finished_ = true;
        // The window joins the thread once it has handled every call the
        // batch made, never by waiting inside one of its own events.
        QMetaObject::invokeMethod(this, [this] { JoinFinishedBatch(); }, Qt::QueuedConnection);
    });
}

void BatchExportWindow::Cancel() {
    if (batch_) batch_->Cancel();
}

void BatchExportWindow::SetBatchRunningState(bool running) {
    CallOnWindowThread(this, [this, running] {
        for (QWidget* w : std::initializer_list<QWidget*>{add, remove, removeAll, resetFlags, exportSelected, pst97,
                                                         pst2003, exchange, pstPath})
            w->setEnabled(!running);
        if (!running) pstPath->setEnabled(!exchange->isChecked());
        cancel->setEnabled(running);
    });
}

void BatchExportWindow::JoinFinishedBatch() {
    if (finished_ && thread_.joinable()) thread_.join();
}

void BatchExportWindow::ShowDatabase(const std::string& title, const std::string& server, const std::string& path) {
    CallOnWindowThread(this, [&] { context_.showDatabase(title, server, path); });
}

void BatchExportWindow::ShowItem(std::size_t index) {
    CallOnWindowThread(this, [this, index] {
        if (index < list.items.size() && static_cast<int>(index) < rows->topLevelItemCount())
            FillRow(rows->topLevelItem(static_cast<int>(index)), list.items[index]);
    });
}

void BatchExportWindow::SetStatusText(std::string_view text) {
    const QString shown = Q(text);
    CallOnWindowThread(this, [&] { status->setText(shown); });
}

void BatchExportWindow::SetSecondaryText(int, std::string_view text) {
    const QString shown = Q(text);
    CallOnWindowThread(this, [&] { processed->setText(shown); });
}

void BatchExportWindow::SetProgressRange16(std::uint16_t low, std::uint16_t high) { SetProgressRange32(low, high); }

void BatchExportWindow::SetProgressRange32(std::int32_t low, std::int32_t high) {
    CallOnWindowThread(this, [&] { progress->setRange(low, high); });
}

void BatchExportWindow::SetProgressPosition(std::int32_t position) {
    CallOnWindowThread(this, [&] { progress->setValue(position); });
}

QString BatchExportWindow::AskForListFile(bool save) {
    return save ? QFileDialog::getSaveFileName(this, "Export database list to CSV file", QString(), kCsvFilter,
                                               nullptr, QFileDialog::DontUseNativeDialog)
                : QFileDialog::getOpenFileName(this, "Import database list from CSV file", QString(), kCsvFilter,
                                               nullptr, QFileDialog::DontUseNativeDialog);
}

void BatchExportWindow::ImportList() {
    const QString file = chooseListFile(false);
    if (file.isEmpty()) return;
    list.items.clear();
    list.ImportDatabaseList(U(file), context_.messages);
    Refill();
    ClearProgress();
}

void BatchExportWindow::ExportList(bool open) {
    QString file = chooseListFile(true);
    if (file.isEmpty()) return;
    if (!QFileInfo(file).fileName().contains('.')) file += ".csv";
    if (list.ExportDatabaseListToCSV(U(file), context_.messages) && open)
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void BatchExportWindow::reject() {
    if (Running()) return;  // the batch's own Cancel first
    context_.settings.PSTPath = U(pstPath->text());
    list.ExportDatabaseListToCSV("", context_.messages);
    QDialog::reject();
}

}  // namespace qb::ui

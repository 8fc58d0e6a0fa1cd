// "Select Database" (see DatabaseSelectionDialog.h).

#include "ui/DatabaseSelectionDialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStyle>

#include "ui/Widgets.h"
#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

constexpr int kRowRole = Qt::UserRole;

QIcon RowIcon(const QWidget* w, DatabaseRow::Kind kind) {
    switch (kind) {
        case DatabaseRow::Kind::Up: return w->style()->standardIcon(QStyle::SP_FileDialogToParent);
        case DatabaseRow::Kind::Folder: return w->style()->standardIcon(QStyle::SP_DirIcon);
        case DatabaseRow::Kind::Database: break;
    }
    return w->style()->standardIcon(QStyle::SP_FileIcon);
}

bool SameServer(const std::string& a, const std::string& b) {
    auto local = [](const std::string& s) { return s.empty() || s == "LOCAL" || s == DatabaseSelection::kLocal; };
    return a == b || (local(a) && local(b));
}

}  // namespace

DatabaseSelectionDialog::DatabaseSelectionDialog(Mode mode, LNNotesSession& notes, MessageSink& messages,
                                                 QWidget* parent)
    : QDialog(parent),
      list(new QListWidget(this)),
      serverBox(new QComboBox(this)),
      fileName(new QLineEdit(this)),
      directory(new QLabel(this)),
      mode_(mode),
      notes_(notes),
      messages_(messages),
      selection_(notes) {
    setObjectName("selectDatabase");
    setWindowTitle("Select Database");
    list->setObjectName("List1");
    serverBox->setObjectName("server");
    fileName->setObjectName("fileName");
    directory->setObjectName("directory");
    serverBox->setEditable(true);
    list->setSelectionMode(mode == Mode::Multi ? QAbstractItemView::ExtendedSelection
                                               : QAbstractItemView::SingleSelection);
    fileName->setReadOnly(mode == Mode::Multi);
    auto* browse = new QPushButton("Browse Folders", this);
    auto* selectAll = new QPushButton("Select All", this);
    auto* deselectAll = new QPushButton("Deselect All", this);
    selectAll->setVisible(mode == Mode::Multi);
    deselectAll->setVisible(mode == Mode::Multi);
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Server:", this), 0, 0);
    layout->addWidget(serverBox, 0, 1);
    layout->addWidget(new QLabel("Directory:", this), 1, 0);
    layout->addWidget(directory, 1, 1);
    layout->addWidget(list, 2, 0, 1, 2);
    layout->addWidget(new QLabel("Filename:", this), 3, 0);
    layout->addWidget(fileName, 3, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(browse);
    row->addWidget(selectAll);
    row->addWidget(deselectAll);
    row->addStretch();
    row->addWidget(OkCancelButtons(this));
    layout->addLayout(row, 4, 0, 1, 2);

    if (!notes_.IsThreadInitialized()) {
        notes_.InitThread();
        startedThread_ = true;
    }
    std::string error;
    const std::vector<std::string> servers = selection_.ListServers(error);
    if (!error.empty()) messages_.ShowMessage(error, "Error", MessageIcon::Error);
    for (const std::string& server : servers) serverBox->addItem(Q(server));
    serverBox->setCurrentText(DatabaseSelection::kLocal);
    if (selection_.UpdateDatabaseList(0, "", "", true)) ShowListing();

    connect(serverBox, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { ChangeServer(serverBox->currentText()); });
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
    connect(list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { RowActivated(item); });
    connect(browse, &QPushButton::clicked, this, [this] { BrowseFolders(); });
    connect(selectAll, &QPushButton::clicked, list, &QListWidget::selectAll);
    connect(deselectAll, &QPushButton::clicked, list, &QListWidget::clearSelection);
    resize(420, 420);
}

DatabaseSelectionDialog::~DatabaseSelectionDialog() { EndThreadSession(); }

void DatabaseSelectionDialog::EndThreadSession() {
    if (startedThread_ && notes_.IsThreadInitialized()) notes_.TermThread();
    startedThread_ = false;
}

void DatabaseSelectionDialog::ShowListing() {
    list->clear();
    const std::vector<DatabaseRow>& rows = selection_.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* item = new QListWidgetItem(RowIcon(this, rows[i].kind), Q(rows[i].text), list);
        item->setData(kRowRole, static_cast<int>(i));
    }
    directory->setText(Q(selection_.DirectoryLabel()));
    fileName->setText(Q(selection_.FirstFilePath()));
}

void DatabaseSelectionDialog::ChangeServer(const QString& server) {
    if (selection_.UpdateDatabaseList(0, U(server), "", true)) {
        ShowListing();
        return;
    }
    messages_.ShowMessage(DatabaseSelection::kServerUnreachable, DatabaseSelection::kServerUnreachableTitle,
                          MessageIcon::Warning);
    serverBox->setCurrentIndex(0);
}

void DatabaseSelectionDialog::SelectionChanged() {
    if (selection_.listingFailed()) return;
    paths_.clear();
    titles_.clear();
    const std::vector<DatabaseRow>& rows = selection_.rows();
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const std::size_t row = static_cast<std::size_t>(item->data(kRowRole).toInt());
        if (!item->isSelected() || row >= rows.size() || rows[row].kind != DatabaseRow::Kind::Database) continue;
        paths_.push_back(rows[row].filePath);
        titles_.push_back(rows[row].text);
    }
    if (mode_ == Mode::Multi) fileName->setText(Q(DatabaseSelection::FilenameText(paths_)));
    else if (!paths_.empty()) fileName->setText(Q(paths_.front()));
}

void DatabaseSelectionDialog::RowActivated(QListWidgetItem* item) {
    if (selection_.Activate(static_cast<std::size_t>(item->data(kRowRole).toInt()))) ShowListing();
}

void DatabaseSelectionDialog::BrowseFolders() {
    const QString filter = "Notes Database (*.nsf *.ns4 *.dxl *.xml);;Notes Template (*.ntf)";
    const QString start = Q(notes_.GetDataDirectory());
    QStringList files;
    if (mode_ == Mode::Multi) {
        files = QFileDialog::getOpenFileNames(this, "Browse Folders", start, filter, nullptr,
                                              QFileDialog::DontUseNativeDialog);
    } else {
        const QString file = QFileDialog::getOpenFileName(this, "Browse Folders", start, filter, nullptr,
                                                          QFileDialog::DontUseNativeDialog);
        if (!file.isEmpty()) files << file;
    }
    if (files.isEmpty()) return;
    paths_.clear();
    titles_.clear();
    for (const QString& file : files) {
        paths_.push_back(U(file));
        titles_.push_back(selection_.DatabaseTitle(paths_.back()));
    }
    fileName->setText(mode_ == Mode::Multi ? Q(DatabaseSelection::FilenameText(paths_)) : Q(paths_.front()));
    serverBox->setCurrentIndex(0);
}

void DatabaseSelectionDialog::accept() {
    const std::string typed = U(serverBox->currentText());
    if (!SameServer(typed, selection_.server())) {
        ChangeServer(serverBox->currentText());
        return;
    }
    if (mode_ == Mode::Single && paths_.empty() && !fileName->text().isEmpty()) {
        paths_.push_back(U(fileName->text()));
        titles_.push_back(selection_.DatabaseTitle(paths_.back(), selection_.server()));
    }
    EndThreadSession();
    QDialog::accept();
}

}  // namespace qb::ui

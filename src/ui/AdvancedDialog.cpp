// "Advanced Lotus Notes Settings" (see AdvancedDialog.h).

#include "ui/AdvancedDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Widgets.h"

namespace qb::ui {
namespace {

constexpr const char* kRichTextWarning =
    "Warning: Rich text is exported using the Lotus Notes/Microsoft export libraries and\n"
    "is limited by the functionality and reliability they provide.\n"
    "Where the rich text export of a document fails, its body is exported as plain text.\n"
    "If rich text export is a problem for your data, plain text is recommended.";
constexpr const char* kImagesWarning =
    "Warning: This setting can make Quillbox unstable for certain types of data.\n\nIf you find it problematic please "
    "disable this setting.";
constexpr const char* kDocLinksWarning =
    "Warning: This 'Export Document Links' setting has been tested but requires further testing. Please uncheck this "
    "if you find exporting with this on problematic.";
constexpr const char* kRemindersNote = "See Quillbox.ini file for default reminder interval settings (in minutes)";

QCheckBox* Box(const char* caption, const char* name, QWidget* parent) {
    return NamedWidget<QCheckBox>(caption, name, parent);
}

}  // namespace

AdvancedDialog::AdvancedDialog(ExportSettings& settings, ViewFolderCatalogue& catalogue, bool databaseOpen,
                               MessageSink& messages, std::function<void()> contactsFormatChanged, QWidget* parent)
    : QDialog(parent),
      bodyFormat(new QComboBox(this)),
      attachImages(Box("Attach Images as TIFF files", "attachImages", this)),
      abbreviateNames(Box("Use Abbreviate Notes Names instead of Common", "abbreviateNames", this)),
      renameExe(Box("Rename EXE attachments files to EX~", "renameExe", this)),
      contactsFormat(new QComboBox(this)),
      docLinks(Box("Export document links", "docLinks", this)),
      reminders(Box("Enable calendar && task reminders", "reminders", this)),
      showHidden(Box("Show Hidden Folders && Views", "showHidden", this)),
      tree(new CatalogueTree(catalogue, this)),
      settings_(settings),
      catalogue_(catalogue),
      messages_(messages),
      contactsFormatChanged_(std::move(contactsFormatChanged)) {
    setObjectName("advanced");
    setWindowTitle("Advanced Lotus Notes Settings");
    bodyFormat->setObjectName("bodyFormat");
    bodyFormat->addItems({"Plain Text (for rapid export)", "Rich Text (export 1/3 speed, limited support)"});
    contactsFormat->setObjectName("contactsFormat");
    contactsFormat->addItems({"Personal Address Book (Standard)", "Mailbox (iNotes)"});
    auto* columns = new QHBoxLayout;
    columns->addWidget(BuildTree(), 1);
    columns->addWidget(BuildOptions());
    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);
    if (databaseOpen) {
        ShowSettings();
        tree->Rebuild(false);
    } else {
        messages_.ShowMessage("Database Not Open", "Error", MessageIcon::Error);
    }
    ConnectOptions();
    resize(720, 480);
}

QWidget* AdvancedDialog::BuildTree() {
    auto* group = new QGroupBox("Folder and Views", this);
    auto* selectAll = new QPushButton("Select All", group);
    auto* deselectAll = new QPushButton("Deselect All", group);
    auto* selectDefault = new QPushButton("Select Default", group);
    selectAll->setObjectName("selectAll");
    deselectAll->setObjectName("deselectAll");
    selectDefault->setObjectName("selectDefault");
    connect(selectAll, &QPushButton::clicked, this, [this] { tree->CheckAll(true); });
    connect(deselectAll, &QPushButton::clicked, this, [this] { tree->CheckAll(false); });
    connect(selectDefault, &QPushButton::clicked, this, [this] {
        catalogue_.ApplyFolderRules(settings_.ExcludeViewFolders, settings_.IncludeViewFolders);
        tree->Rebuild(showHidden->isChecked(), false);
    });
    connect(showHidden, &QCheckBox::toggled, this, [this](bool on) { tree->Rebuild(on); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(selectAll);
    buttons->addWidget(deselectAll);
    buttons->addWidget(selectDefault);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(showHidden);
    layout->addWidget(tree, 1);
    layout->addLayout(buttons);
    return group;
}

QWidget* AdvancedDialog::BuildOptions() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    auto group = [&](const char* title, std::initializer_list<QWidget*> controls) {
        auto* box = new QGroupBox(title, panel);
        auto* inner = new QVBoxLayout(box);
        for (QWidget* control : controls) inner->addWidget(control);
        layout->addWidget(box);
    };
    group("Modify Defaults", {bodyFormat});
    group("Formatting to Keep", {attachImages, abbreviateNames, renameExe});
    group("Contacts", {contactsFormat});
    group("Other", {docLinks, reminders});
    auto* note = new QLabel(
        "These defaults may be saved in \"Quillbox.ini\" in the program's folder, which can be prepared before "
        "installation.",
        panel);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch();
    return panel;
}

void AdvancedDialog::ShowSettings() {
    bodyFormat->setCurrentIndex(settings_.BodyFormat == 1 ? 1 : 0);
    contactsFormat->setCurrentIndex(settings_.ContactsFormat == 1 ? 1 : 0);
    attachImages->setChecked(settings_.AttachImages);
    abbreviateNames->setChecked(settings_.UseAbbNotesNames);
    renameExe->setChecked(settings_.AttachmentsRenameEXEs);
    docLinks->setChecked(settings_.ExportDocLinks);
    reminders->setChecked(settings_.DefaultRemindersEnabled);
}

void AdvancedDialog::Bind(QCheckBox* box, bool& setting, const char* warning) {
    connect(box, &QCheckBox::toggled, this, [this, &setting, warning](bool on) {
        setting = on;
        if (on && warning) messages_.ShowMessage(warning, "Warning", MessageIcon::Exclamation);
    });
}

void AdvancedDialog::ConnectOptions() {
    connect(bodyFormat, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        settings_.BodyFormat = index == 1 ? 1 : 0;
        if (index == 1) messages_.ShowMessage(kRichTextWarning, "Warning", MessageIcon::Exclamation);
    });
    connect(contactsFormat, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        settings_.ContactsFormat = index == 1 ? 1 : 0;
        if (contactsFormatChanged_) contactsFormatChanged_();
    });
    Bind(attachImages, settings_.AttachImages, kImagesWarning);
    Bind(abbreviateNames, settings_.UseAbbNotesNames, nullptr);
    Bind(renameExe, settings_.AttachmentsRenameEXEs, nullptr);
    Bind(docLinks, settings_.ExportDocLinks, kDocLinksWarning);
    Bind(reminders, settings_.DefaultRemindersEnabled, kRemindersNote);
}

void AdvancedDialog::accept() {
    tree->TakeSelection();
    QDialog::accept();
}

}  // namespace qb::ui

// The window program driven as a user drives it, on Qt's offscreen platform:
// start-up on the generated sample, Advanced, "Export Now" through the
// confirmation, a cancel, the recovery of a killed export and the option
// dialogs. Every export is checked in the written file through libpff
// (pffexport and pypff) and the other outside readers, not only on screen.

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QDesktopServices>
#include <QUrl>
#include <QListWidget>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "UiTestSupport.h"
#include "outlook/mapi/PstStoreProvider.h"
#include "ui/AddressOptionsDialog.h"
#include "ui/BatchExportWindow.h"
#include "ui/GuiMapiFrontEnd.h"
#include "ui/MainWindow.h"
#include "ui/TimeZoneDialog.h"
#include "ui/WindowMessages.h"

using namespace qb::uitest;
using qb::ui::MainWindow;

namespace {

constexpr int kExportTimeoutMs = 600000;

template <class T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(name);
    if (!child) qFatal("no widget named %s", name);
    return child;
}

QString Status(MainWindow& window) { return Child<QLabel>(window, "status")->text(); }

// "Export Now", the confirmation answered with "Yes, Export Now"; the
// confirmation's text is kept in `confirmText`.
void PressExportNow(MainWindow& window, QString* confirmText = nullptr) {
    WhenModalNamed("confirmExport", [confirmText](QWidget* dialog) {
        if (confirmText)
            *confirmText = dialog->findChild<QLabel*>("confirmText")->text() + "\n" +
                           dialog->findChild<QLabel*>("timeZoneInUse")->text();
        dialog->findChild<QPushButton*>("yesExportNow")->click();
    });
    Child<QPushButton>(window, "exportNow")->click();
}

bool Finished(MainWindow& window) {
    return !window.exporter().Busy() && (Status(window).startsWith("Completed exporting a total of") ||
                                         Status(window).startsWith("Export cancelled ("));
}

QJsonObject Manifest(const Sample& sample) {
    QFile file(sample.Dir() + "/manifest.json");
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The sample's own check of a written file: every folder with its item count
// through lspst, readpst and pffexport, every message field by field.
void ExpectSampleExported(const Sample& sample) {
    const ProcessResult mail = RunPython("tests/convert/sample_export_check.py", {sample.Dir(), sample.Pst()});
    QVERIFY2(mail.status == 0, qPrintable(mail.output));
    const ProcessResult items = RunPython("tests/convert/sample_items_check.py", {sample.Dir(), sample.Pst()});
    QVERIFY2(items.status == 0, qPrintable(items.output));
}

int TotalItems(const std::map<QString, int>& folders) {
    int total = 0;
    for (const auto& [path, count] : folders) total += count;
    return total;
}

// In the database selection: the server "Hub/Acme", then its folder "mail".
// Returns the list of its databases; `directory` gets the folder shown.
QListWidget* OpenServerMailFolder(QWidget* dialog, QString& directory) {
    auto* server = dialog->findChild<QComboBox*>("server");
    const int hub = server->findText("Hub/Acme");
    server->setCurrentIndex(hub);
    emit server->activated(hub);
    auto* list = dialog->findChild<QListWidget*>("List1");
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == "mail") emit list->itemActivated(list->item(i));
    directory = dialog->findChild<QLabel*>("directory")->text();
    return list;
}

// "Add" in the batch window: the server's folder "mail" in the database
// selection, every mailbox in it. Returns the folder the dialog showed.
QString AddServerMailboxes(QWidget& batch) {
    QString directory;
    WhenModalNamed("selectDatabase", [&directory](QWidget* dialog) {
        OpenServerMailFolder(dialog, directory)->selectAll();
        static_cast<QDialog*>(dialog)->accept();
    });
    Child<QPushButton>(batch, "add")->click();
    return directory;
}

// Stands in for the desktop's opener: records what "View log" asked it to open.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls << url; }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qb::mapi::RegisterPstStoreProvider(); }

    void startUpShowsTheSampleAndSavesOnLeaving() {
        Sample sample(20);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        {
            MainWindow window(sample.Ini().toStdString());
            window.show();
            QCOMPARE(window.windowTitle(), QString(qb::kWindowTitle));
            QVERIFY(window.state().notesAvailable);
            QCOMPARE(Child<QLabel>(window, "server")->text(), QString("Local"));
            QCOMPARE(Child<QLabel>(window, "fileName")->text(), QString("mail/jdoe.dxl"));
            QCOMPARE(Child<QComboBox>(window, "profile")->currentText(), QString("Quillbox Sample (default)"));
            QVERIFY(Child<QComboBox>(window, "foldersFile")->currentText().startsWith("Quillbox Sample"));
            for (const char* name : {"Mail", "Calendar", "Tasks", "Contacts"})
                QVERIFY2(Child<QCheckBox>(window, name)->isChecked(), name);
            QVERIFY(!Child<QPushButton>(window, "cancelExport")->isEnabled());
            // The batch window is made at start-up with the list of the last session, hidden.
            QVERIFY(window.batchWindow() && !window.batchWindow()->isVisible());
            // Leaving saves what the controls say.
            Child<QCheckBox>(window, "Tasks")->setChecked(false);
            window.close();
        }
        QFile support(sample.Dir() + "/Quillbox.sup");
        QVERIFY(support.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(support.readAll());
        QVERIFY2(log.contains("Start Quillbox at: ") && log.contains("...GetProfiles") &&
                     log.contains("...Import Database List CSV\nDone - Import Database List CSV\n...Multi Create\n"
                                  "Done Init\n"),
                 qPrintable(log));
        QFile ini(sample.Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString settings = QString::fromUtf8(ini.readAll());
        QVERIFY2(settings.contains("Components=Mail,Calendar,Contacts,"), qPrintable(settings));
        QVERIFY2(settings.contains("Profile=Quillbox Sample"), qPrintable(settings));
    }

    void exportNowThroughTheConfirmation() {
        Sample sample(60);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        QString confirmText;
        PressExportNow(window, &confirmText);
        QVERIFY2(confirmText.startsWith("Please confirm you want to export Mail/Calendar/Tasks and Contacts/Groups "
                                        "and you have made a prior backup"),
                 qPrintable(confirmText));
        // The zone the times are converted with is shown before the export.
        QVERIFY2(confirmText.contains("\nTimes are converted for GMT "), qPrintable(confirmText));
        QTRY_VERIFY_WITH_TIMEOUT(Finished(window), kExportTimeoutMs);
        QVERIFY2(Status(window).startsWith("Completed exporting a total of"), qPrintable(Status(window)));
        QVERIFY(Child<QPushButton>(window, "exportNow")->isEnabled());
        QCOMPARE(Child<QProgressBar>(window, "progress")->value(), 1);
        ExpectSampleExported(sample);

        // "View log" hands the log file, as a file, to the desktop's opener.
        OpenedUrls opened;
        QDesktopServices::setUrlHandler("file", &opened, "Open");
        Child<QPushButton>(window, "viewLog")->click();
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(opened.urls.size(), 1);
        QFile log(opened.urls.front().toLocalFile());
        QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(opened.urls.front().toString()));
        QVERIFY(QString::fromUtf8(log.readAll()).contains("Completed exporting a total of"));
    }

    // The date filter set in the confirmation: mail outside the range is left
    // out of the file, contacts (which have no such date) are not.
    void dateFilterFromTheConfirmation() {
        Sample sample(60);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        WhenModalNamed("confirmExport", [](QWidget* dialog) {
            dialog->findChild<QCheckBox*>("filterByDate")->setChecked(true);
            dialog->findChild<QDateEdit*>("exportFromDate")->setDate(QDate(2100, 1, 1));
            dialog->findChild<QDateEdit*>("exportToDate")->setDate(QDate(2100, 12, 31));
            dialog->findChild<QPushButton*>("yesExportNow")->click();
        });
        Child<QPushButton>(window, "exportNow")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Finished(window), kExportTimeoutMs);
        QVERIFY2(Status(window).startsWith("Completed exporting a total of"), qPrintable(Status(window)));
        QVERIFY(window.settings().FilterByDate);
        QString problem;
        const std::map<QString, int> folders = PstFolders(sample.Pst(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const int contacts = Manifest(sample).value("outlook_folders").toObject().value("Contacts").toInt();
        int mailFolders = 0, contactFolders = 0;
        for (const auto& [path, count] : folders) {
            if (path.endsWith("\\Inbox") || path.endsWith("\\Sent Items") || path.endsWith("\\Drafts")) {
                ++mailFolders;
                QVERIFY2(count == 0, qPrintable(QString("%1: %2").arg(path).arg(count)));
            }
            if (path.endsWith("\\Contacts")) {
                ++contactFolders;
                QCOMPARE(count, contacts);
            }
        }
        QCOMPARE(mailFolders, 3);
        QCOMPARE(contactFolders, 1);
    }

    void advancedOptionsAndAnUntickedFolder() {
        Sample sample(60);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        QString unticked, warning;
        WhenModalNamed("advanced", [&](QWidget* dialog) {
            auto* tree = dialog->findChild<QTreeWidget*>("viewFolderTree");
            // A user folder: a leaf that is none of the special mail folders.
            const QStringList special{"Inbox", "Sent", "Drafts", "Trash", "All Documents"};
            for (int i = 0; i < tree->topLevelItemCount() && unticked.isEmpty(); ++i) {
                QTreeWidgetItem* item = tree->topLevelItem(i);
                if (item->childCount() == 0 && !special.contains(item->text(0)) &&
                    item->checkState(0) == Qt::Checked) {
                    item->setCheckState(0, Qt::Unchecked);
                    unticked = item->text(0);
                }
            }
            // The sample turns these on: off shows nothing, on again shows the warning again.
            dialog->findChild<QCheckBox*>("renameExe")->click();
            auto* docLinks = dialog->findChild<QCheckBox*>("docLinks");
            docLinks->click();
            QVERIFY(!docLinks->isChecked());
            WhenMessageBox(&warning);
            docLinks->click();
            auto* bodyFormat = dialog->findChild<QComboBox*>("bodyFormat");
            bodyFormat->setCurrentIndex(0);
            emit bodyFormat->activated(0);
            static_cast<QDialog*>(dialog)->accept();
        });
        window.OpenAdvanced();
        QVERIFY2(!unticked.isEmpty(), "the sample's tree has no user folder to untick");
        QVERIFY2(warning.startsWith("Warning: Warning: This 'Export Document Links' setting"), qPrintable(warning));
        QVERIFY(!window.settings().AttachmentsRenameEXEs);
        QVERIFY(window.settings().ExportDocLinks);
        QCOMPARE(window.settings().BodyFormat, 0);

        PressExportNow(window);
        QTRY_VERIFY_WITH_TIMEOUT(Finished(window), kExportTimeoutMs);
        QVERIFY2(Status(window).startsWith("Completed exporting a total of"), qPrintable(Status(window)));
        QString problem;
        const std::map<QString, int> folders = PstFolders(sample.Pst(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const QJsonObject expected = Manifest(sample).value("outlook_folders").toObject();
        QVERIFY2(expected.contains(unticked), qPrintable(unticked));
        for (const auto& [path, count] : folders)
            QVERIFY2(!(path.endsWith("\\" + unticked) && count > 0), qPrintable(path));
        // The folders still selected hold what they must.
        int inbox = -1;
        for (const auto& [path, count] : folders)
            if (path.endsWith("\\Inbox")) inbox = count;
        QCOMPARE(inbox, expected.value("Inbox").toInt());
        window.close();
        QFile ini(sample.Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString settings = QString::fromUtf8(ini.readAll());
        QVERIFY2(settings.contains("AttachmentsRenameEXEs=0") && settings.contains("ExportDocLinks=1") &&
                     settings.contains("BodyFormat=0"),
                 qPrintable(settings));
    }

    void advancedTreeShowsHiddenViewsAndKeepsTheSelection() {
        Sample sample(10);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        auto countItems = [](QTreeWidget* tree, bool hiddenOnly, bool checkedOnly) {
            int count = 0;
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                if ((!hiddenOnly || (*it)->text(0).startsWith('(')) &&
                    (!checkedOnly || (*it)->checkState(0) == Qt::Checked))
                    ++count;
            return count;
        };
        int hiddenBefore = -1, hiddenShown = -1, checkedAfterDeselect = -1;
        WhenModalNamed("advanced", [&](QWidget* dialog) {
            auto* tree = dialog->findChild<QTreeWidget*>("viewFolderTree");
            hiddenBefore = countItems(tree, true, false);
            dialog->findChild<QCheckBox*>("showHidden")->setChecked(true);
            hiddenShown = countItems(tree, true, false);
            dialog->findChild<QPushButton*>("deselectAll")->click();
            checkedAfterDeselect = countItems(tree, false, true);
            dialog->findChild<QCheckBox*>("showHidden")->setChecked(false);
            static_cast<QDialog*>(dialog)->accept();
        });
        window.OpenAdvanced();
        QCOMPARE(hiddenBefore, 0);
        QVERIFY(hiddenShown > 0);
        QCOMPARE(checkedAfterDeselect, 0);
        // The second opening shows what OK took, without reading the database again.
        int checkedAgain = -1, checkedAfterDefault = -1;
        WhenModalNamed("advanced", [&](QWidget* dialog) {
            auto* tree = dialog->findChild<QTreeWidget*>("viewFolderTree");
            checkedAgain = countItems(tree, false, true);
            dialog->findChild<QPushButton*>("selectDefault")->click();
            checkedAfterDefault = countItems(tree, false, true);
            static_cast<QDialog*>(dialog)->reject();
        });
        window.OpenAdvanced();
        QCOMPARE(checkedAgain, 0);
        QVERIFY(checkedAfterDefault > 0);
    }

    void cancelDuringAnExportAndNoLeavingMeanwhile() {
        Sample sample(800);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        PressExportNow(window);
        auto* progress = Child<QProgressBar>(window, "progress");
        QTRY_VERIFY_WITH_TIMEOUT(progress->maximum() > 100 && progress->value() > 20, kExportTimeoutMs);
        // What an export reads cannot change under it.
        QVERIFY(!Child<QPushButton>(window, "exportNow")->isEnabled());
        QVERIFY(!Child<QPushButton>(window, "advanced")->isEnabled());
        for (QMenu* menu : window.findChildren<QMenu*>())
            if (menu->title() == "Options") QVERIFY(!menu->isEnabled());
        QString refusal;
        WhenMessageBox(&refusal);
        // Asking to leave saves the settings even when leaving is refused.
        QVERIFY(QFile::remove(sample.Ini()));
        window.close();
        QVERIFY2(refusal.startsWith("Infortmation: You can not exit Quillbox while an export is in progress."),
                 qPrintable(refusal));
        QVERIFY(window.isVisible());
        QVERIFY(QFile::exists(sample.Ini()));
        Child<QPushButton>(window, "cancelExport")->click();
        QTRY_VERIFY_WITH_TIMEOUT(Finished(window), kExportTimeoutMs);
        QVERIFY2(Status(window).startsWith("Export cancelled ("), qPrintable(Status(window)));
        QString problem;
        const std::map<QString, int> folders = PstFolders(sample.Pst(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        int expectedTotal = 0;
        const QJsonObject expected = Manifest(sample).value("outlook_folders").toObject();
        for (auto it = expected.begin(); it != expected.end(); ++it) expectedTotal += it.value().toInt();
        QVERIFY2(TotalItems(folders) > 0 && TotalItems(folders) < expectedTotal,
                 qPrintable(QString("%1 of %2").arg(TotalItems(folders)).arg(expectedTotal)));
    }

    void recoveryAfterAKilledExport() {
        Sample sample(400);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        sample.Set("Lotus Notes", "RecoveryInfo", "1");
        QProcess cli;
        cli.start(CliPath(), {"export", "--ini", sample.Ini(), "--yes"});
        QVERIFY(cli.waitForStarted());
        // Killed for real once it is well into a mail view.
        QTRY_VERIFY_WITH_TIMEOUT(QFile(sample.Dir() + "/Recovery.rcn").size() > 0 ||
                                     cli.state() == QProcess::NotRunning,
                                 kExportTimeoutMs);
        QTest::qWait(300);
        QVERIFY2(cli.state() == QProcess::Running, "the export ended before it could be killed");
        cli.kill();
        cli.waitForFinished();

        MainWindow window(sample.Ini().toStdString());
        window.show();
        bool offered = false;
        WhenModalNamed("exportRecovery", [&offered](QWidget* dialog) {
            offered = dialog->findChild<QRadioButton*>("recoverFromLastPoint")->isChecked();
            static_cast<QDialog*>(dialog)->accept();
        });
        PressExportNow(window);
        QVERIFY(offered);
        QTRY_VERIFY_WITH_TIMEOUT(Finished(window), kExportTimeoutMs);
        QVERIFY2(Status(window).startsWith("Completed exporting a total of"), qPrintable(Status(window)));
        // Every document exactly once: the counts of every folder and every message.
        ExpectSampleExported(sample);
    }

    void threeMailboxBatchFromTheBatchWindow() {
        Sample sample(20, 7, 3);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        window.OpenBatchWindow();
        QWidget* batch = window.batchWindow();
        QVERIFY(batch && batch->isVisible());
        QCOMPARE(AddServerMailboxes(*batch), QString("mail\\"));
        auto* rows = Child<QTreeWidget>(*batch, "databaseList");
        QCOMPARE(rows->topLevelItemCount(), 3);
        const QString folder = sample.Root() + "/batch";
        QVERIFY(QDir().mkpath(folder));
        Child<QLineEdit>(*batch, "pstPath")->setText(folder);
        Child<QRadioButton>(*batch, "pst2003")->click();
        // The address options hold for the batch as for "Export Now".
        window.makeSmtp = true;
        window.smtpDomain = "batch-smtp.example";
        QString confirmText;
        WhenModalNamed("confirmExport", [&confirmText](QWidget* dialog) {
            confirmText = dialog->findChild<QLabel*>("confirmText")->text();
            dialog->findChild<QPushButton*>("yesExportNow")->click();
        });
        Child<QPushButton>(*batch, "exportSelected")->click();
        QVERIFY2(confirmText.contains("for all selected mailboxes"), qPrintable(confirmText));
        auto* status = Child<QLabel>(*batch, "batchStatus");
        QTRY_VERIFY_WITH_TIMEOUT(!window.batchWindow()->Running() && status->text() == "Multi-database Export Complete",
                                 kExportTimeoutMs);
        for (int i = 0; i < rows->topLevelItemCount(); ++i)
            QVERIFY2(rows->topLevelItem(i)->text(7) == "OK", qPrintable(rows->topLevelItem(i)->text(7)));
        // Each mailbox in its own file, every folder with its items as the readers find them.
        for (const char* name : {"staff01", "staff02", "staff03"}) {
            const ProcessResult checked = RunPython("tests/convert/sample_export_check.py",
                                                    {sample.Dir() + "/mailboxes/" + name,
                                                     folder + "/" + name + ".pst", "--folders"});
            QVERIFY2(checked.status == 0, qPrintable(checked.output));
        }
        const QString exported = sample.Root() + "/batch-export";
        const ProcessResult pff = Run("pffexport", {"-q", "-t", exported, folder + "/staff01.pst"});
        QVERIFY2(pff.status == 0, qPrintable(pff.output));
        const ProcessResult grep = Run("grep", {"-rIlc", "@batch-smtp.example", exported + ".export"});
        QVERIFY2(grep.status == 0 && !grep.output.isEmpty(), "no address of the SMTP domain in the batch's file");
        // Closing the batch window keeps the list with its results beside the settings.
        static_cast<QDialog*>(batch)->reject();
        QFile list(sample.Dir() + "/QuillboxM.csv");
        QVERIFY(list.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(list.readAll()).count("\"OK\""), 3);
    }

    void batchListThroughTheFileMenuAndTheExchangeTarget() {
        Sample sample(5, 7, 3);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        window.OpenBatchWindow();
        QWidget* batch = window.batchWindow();
        QVERIFY(batch);
        AddServerMailboxes(*batch);
        auto* rows = Child<QTreeWidget>(*batch, "databaseList");
        QCOMPARE(rows->topLevelItemCount(), 3);
        const auto trigger = [batch](const QString& caption) {
            for (QAction* action : batch->findChildren<QAction*>())
                if (action->text() == caption) return action->trigger(), true;
            return false;
        };
        // The file dialogs stand aside: the test names the file as the user would.
        QString chosen;
        auto* batchWindow = window.batchWindow();
        batchWindow->chooseListFile = [&chosen](bool) { return chosen; };
        // Saved under a name without an extension: the list gets ".csv".
        const QString saved = sample.Root() + "/chosen";
        chosen = saved;
        QVERIFY(trigger("Export database list to CSV file"));
        QFile file(saved + ".csv");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const char* name : {"staff01.pst", "staff02.pst", "staff03.pst"}) QVERIFY2(text.contains(name), name);
        Child<QPushButton>(*batch, "removeAll")->click();
        QCOMPARE(rows->topLevelItemCount(), 0);
        chosen = saved + ".csv";
        QVERIFY(trigger("Import database list from CSV file"));
        QCOMPARE(rows->topLevelItemCount(), 3);
        QCOMPARE(rows->topLevelItem(1)->text(4), QString("staff02.pst"));
        // An Exchange target writes no files: the folder is not asked for, and is again for files.
        auto* pstPath = Child<QLineEdit>(*batch, "pstPath");
        Child<QRadioButton>(*batch, "exchange")->click();
        QVERIFY(!pstPath->isEnabled());
        Child<QRadioButton>(*batch, "pst2003")->click();
        QVERIFY(pstPath->isEnabled());
        static_cast<QDialog*>(batch)->reject();
    }

    // "Select Mailbox" on a server's directory: the chosen database is shown
    // and written into the settings at once.
    void selectMailboxOnAServerWritesItAtOnce() {
        Sample sample(5, 7, 3);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        window.show();
        QString directory;
        WhenModalNamed("selectDatabase", [&directory](QWidget* dialog) {
            QListWidget* list = OpenServerMailFolder(dialog, directory);
            QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->text() == "Staff Mailbox 02") list->setCurrentItem(list->item(i));
            static_cast<QDialog*>(dialog)->accept();
        });
        Child<QPushButton>(window, "selectMailbox")->click();
        QCOMPARE(directory, QString("mail\\"));
        QCOMPARE(Child<QLabel>(window, "server")->text(), QString("Hub/Acme"));
        QCOMPARE(Child<QLabel>(window, "title")->text(), QString("Staff Mailbox 02"));
        QVERIFY2(Child<QLabel>(window, "fileName")->text().contains("staff02"),
                 qPrintable(Child<QLabel>(window, "fileName")->text()));
        QFile ini(sample.Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString settings = QString::fromUtf8(ini.readAll());
        QVERIFY2(settings.contains("MailServer=Hub/Acme") && settings.contains("staff02"), qPrintable(settings));
    }

    // The program itself: its own options, Qt's, and a mistyped one refused
    // rather than opening the window on the default settings.
    void windowProgramArguments() {
        const QString program = QUILLBOX_BINARY_DIR "/quillbox";
        const ProcessResult version = Run(program, {"--version"});
        QVERIFY2(version.status == 0 && version.output.startsWith("quillbox "), qPrintable(version.output));
        for (const QStringList& wrong : {QStringList{"--inifile", "x.ini"}, QStringList{"-platform", "offscreen", "--ini"}}) {
            const ProcessResult refused = Run(program, wrong);
            QVERIFY2(refused.status == 2 && refused.output.contains("usage: quillbox [--ini FILE]"),
                     qPrintable(refused.output));
        }
    }

    void lockSettingsHold() {
        Sample sample(5);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        for (const char* key : {"LockComponents", "LockMultiMenu", "LockDbSelection"}) sample.Set("Lotus Notes", key, "1");
        MainWindow window(sample.Ini().toStdString());
        for (const char* name : {"Mail", "Calendar", "Tasks", "Contacts"})
            QVERIFY2(!Child<QCheckBox>(window, name)->isEnabled(), name);
        QVERIFY(!Child<QPushButton>(window, "selectMailbox")->isEnabled());
        QVERIFY(!Child<QPushButton>(window, "chooseAddressBook")->isEnabled());
        QVERIFY(Child<QPushButton>(window, "advanced")->isEnabled());
        bool multiMenuFound = false;
        for (QAction* action : window.findChildren<QAction*>()) {
            if (action->text() != "Export Multiple Mailbox Menu") continue;
            multiMenuFound = true;
            QVERIFY(!action->isEnabled());
        }
        QVERIFY(multiMenuFound);
        // An export's end gives back only what the locks allow.
        window.SetExportingState(true);
        window.SetExportingState(false);
        QVERIFY(!Child<QPushButton>(window, "selectMailbox")->isEnabled());
        QVERIFY(!Child<QPushButton>(window, "chooseAddressBook")->isEnabled());
        QVERIFY(!Child<QCheckBox>(window, "Mail")->isEnabled());
        QVERIFY(Child<QPushButton>(window, "exportNow")->isEnabled());
    }

    // A profile whose log-on the user cancels changes nothing and says
    // nothing; a log-on that fails with no one to ask says so.
    void aCancelledProfileLogOnChangesNothing() {
        Sample sample(5);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        QVERIFY(RunCli({"profiles", "add", "Gone"}).status == 0);
        MainWindow window(sample.Ini().toStdString());
        window.show();
        const QString storeShown = Child<QComboBox>(window, "foldersFile")->currentText();
        const std::vector<std::string>& names = window.state().profiles.names;
        const int gone = static_cast<int>(std::find(names.begin(), names.end(), "Gone") - names.begin());
        QVERIFY(gone < static_cast<int>(names.size()));
        // Removed by someone else after the window listed it.
        QVERIFY(RunCli({"profiles", "remove", "Gone"}).status == 0);
        qb::ui::GuiMapiFrontEnd mapiDialogs(&window);
        qb::mapi::SetMapiFrontEnd(&mapiDialogs);
        bool asked = false;
        WhenModal([](QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; },
                  [&asked](QWidget* w) {
                      asked = true;
                      static_cast<QDialog*>(w)->reject();
                  });
        QString message;
        WhenMessageBox(&message, 2000);
        window.ChangeProfile(gone);
        QVERIFY(asked);
        QTest::qWait(300);
        QVERIFY2(message.isEmpty(), qPrintable(message));
        QCOMPARE(Child<QComboBox>(window, "foldersFile")->currentText(), storeShown);

        qb::mapi::SetMapiFrontEnd(nullptr);
        QTest::qWait(2000);  // the first watcher has given up
        WhenMessageBox(&message);
        window.ChangeProfile(gone);
        QCOMPARE(message, QString("Login: Unable to login to profile"));
        QCOMPARE(Child<QComboBox>(window, "foldersFile")->currentText(), storeShown);
    }

    void newProfileAndANewPersonalFoldersFile() {
        Sample sample(5);
        QVERIFY2(sample.ok(), qPrintable(sample.output()));
        MainWindow window(sample.Ini().toStdString());
        qb::ui::GuiMapiFrontEnd mapiDialogs(&window);
        qb::mapi::SetMapiFrontEnd(&mapiDialogs);
        QString confirmation;
        WhenModalNamed("newProfile", [&confirmation](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("profileName")->setText("Window Profile");
            WhenMessageBox(&confirmation);
            static_cast<QDialog*>(dialog)->accept();
        });
        window.NewProfile();
        QCOMPARE(confirmation, QString("Confirmation: Profile Created."));
        QCOMPARE(Child<QComboBox>(window, "profile")->currentText(), QString("Window Profile"));
        QCOMPARE(window.state().currentProfile, std::string("Window Profile"));

        const QString pst = sample.Root() + "/window.pst";
        WhenModalNamed("folderType", [pst](QWidget* dialog) {
            auto* services = dialog->findChild<QListWidget*>("services");
            services->setCurrentRow(1);  // the Unicode file
            WhenModalNamed("pstChooser", [pst](QWidget* chooser) {
                auto* files = static_cast<QFileDialog*>(chooser);
                files->selectFile(pst);
                QMetaObject::invokeMethod(files, "accept");
            });
            static_cast<QDialog*>(dialog)->accept();
        });
        window.NewOrAttach();
        qb::mapi::SetMapiFrontEnd(nullptr);
        // The service names the new store as MAPI does for a new personal folders file.
        QVERIFY2(Child<QComboBox>(window, "foldersFile")->currentText().startsWith("Personal Folders"),
                 qPrintable(Child<QComboBox>(window, "foldersFile")->currentText()));
        QCOMPARE(window.state().stores.size(), std::size_t(1));
        QVERIFY(QFile::exists(pst));
        // The new file is a personal folders file libpff opens.
        QString problem;
        PstFolders(pst, &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void optionDialogsRefuseBadInput() {
        qb::ExportSettings settings;
        QWidget parent;
        qb::ui::WindowMessages messages(&parent);
        qb::ui::TimeZoneDialog zone(settings, messages, &parent);
        zone.manual->setChecked(true);
        zone.hours->setValue(5);
        zone.minutes->setValue(-30);
        QString refused;
        WhenMessageBox(&refused);
        zone.accept();
        QCOMPARE(refused, QString("Input Error: TimeZone minutes must be between 0 to 59"));
        QCOMPARE(zone.result(), 0);
        zone.hours->setValue(10);
        zone.minutes->setValue(30);
        zone.daylightHours->setValue(1);
        zone.accept();
        QCOMPARE(zone.result(), int(QDialog::Accepted));
        QVERIFY(settings.TimeZoneManual);
        QCOMPARE(settings.TimeZoneHours, -10);
        QCOMPARE(settings.TimeZoneMinutes, -30);
        QCOMPARE(settings.TimeZoneDstHours, 1);

        bool makeSmtp = false;
        std::string domain;
        settings.TranslateEmailAddresses = true;
        qb::ui::AddressOptionsDialog address(settings, makeSmtp, domain, messages, &parent);
        address.makeSmtp->setChecked(true);
        QVERIFY(!address.translate->isChecked());
        refused.clear();
        WhenMessageBox(&refused);
        address.accept();
        QVERIFY2(refused.contains("SMTP Internet Domain  (for Make)"), qPrintable(refused));
        address.domain->setText("example.com");
        address.accept();
        QCOMPARE(address.result(), int(QDialog::Accepted));
        QVERIFY(makeSmtp);
        QCOMPARE(domain, std::string("example.com"));
        QVERIFY(!settings.TranslateEmailAddresses);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

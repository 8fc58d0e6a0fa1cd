// quillbox-screenshots: pictures of the window program for the README. Opens
// the main window on a settings file, then each dialog as the user would
// open it, saves every window as a PNG into the output folder and closes
// the dialog again. scripts/screenshots runs it under Xvfb on the sample.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <cstring>
#include <functional>
#include <iostream>

#include "outlook/mapi/PstStoreProvider.h"
#include "ui/MainWindow.h"
#include "ui/BatchExportWindow.h"
#include "ui/RecoveryDialog.h"

namespace {

QString g_out;
int g_saved = 0;

void Save(QWidget* window, const QString& name) {
    QApplication::processEvents();
    const QString path = QDir(g_out).filePath(name + ".png");
    if (window->grab().save(path)) {
        std::cout << "wrote " << path.toStdString() << "\n";
        ++g_saved;
    } else {
        std::cerr << "could not write " << path.toStdString() << "\n";
    }
}

// Runs `act` on the next modal window once it is shown and laid out.
void OnNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        QTimer::singleShot(150, modal, [modal, act] { act(modal); });
    });
    timer->start(50);
}

// Saves the next modal window as `name` and closes it (Cancel); `then` runs
// inside it first, for a dialog opened from this one.
void ShootNextModal(const QString& name, std::function<void(QWidget*)> then = {}) {
    OnNextModal([name, then](QWidget* modal) {
        Save(modal, name);
        if (then) then(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
}

// The batch window after "Add" took every mailbox of the sample's server
// from the database selection (saved on the way).
void ShootBatch(qb::ui::MainWindow& window) {
    window.OpenBatchWindow();
    QWidget* batch = window.batchWindow();
    OnNextModal([](QWidget* dialog) {
        auto* server = dialog->findChild<QComboBox*>("server");
        const int hub = server->findText("Hub/Acme");
        if (hub >= 0) {
            server->setCurrentIndex(hub);
            emit server->activated(hub);
        }
        auto* list = dialog->findChild<QListWidget*>("List1");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == "mail") emit list->itemActivated(list->item(i));
        list->selectAll();
        Save(dialog, "select-database");
        static_cast<QDialog*>(dialog)->accept();
    });
    batch->findChild<QPushButton*>("add")->click();
    Save(batch, "batch-window");
    batch->hide();
}

}  // namespace

int main(int argc, char** argv) {
    std::string ini;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--ini") == 0) ini = argv[++i];
        else if (std::strcmp(argv[i], "--out") == 0) g_out = argv[++i];
    }
    if (ini.empty() || g_out.isEmpty()) {
        std::cerr << "usage: quillbox-screenshots --ini FILE --out DIR\n";
        return 2;
    }
    QApplication app(argc, argv);
    qb::mapi::RegisterPstStoreProvider();
    QDir().mkpath(g_out);
    qb::ui::MainWindow window(ini);
    window.resize(760, 560);
    window.show();
    Save(&window, "main-window");
    ShootNextModal("advanced");
    window.OpenAdvanced();
    ShootNextModal("confirm-export", [](QWidget* dialog) {
        if (auto* filter = dialog->findChild<QCheckBox*>("filterByDate")) {
            filter->setChecked(true);
            Save(dialog, "confirm-export-date-filter");
        }
    });
    window.ExportNow();
    ShootNextModal("time-zone");
    window.OpenTimeZone();
    ShootNextModal("address-options");
    window.OpenAddressOptions();
    ShootNextModal("new-profile");
    window.NewProfile();
    ShootNextModal("folder-type");
    window.NewOrAttach();
    {
        qb::ui::RecoveryDialog recovery(117, &window);
        ShootNextModal("export-recovery");
        recovery.exec();
    }
    ShootBatch(window);
    auto* contacts = window.findChild<QCheckBox*>("Contacts");
    contacts->setChecked(false);
    ShootNextModal("contacts-format");
    contacts->setChecked(true);
    return g_saved > 0 ? 0 : 1;
}

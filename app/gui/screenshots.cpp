// quillbox-screenshots: pictures of the window program for the README. Opens
// the main window on a settings file, then each dialog as the user would
// open it, saves every window as a PNG into the output folder and closes
// the dialog again. scripts/screenshots runs it under Xvfb on the sample.

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <cstring>
#include <functional>
#include <iostream>

#include "outlook/mapi/PstStoreProvider.h"
#include "ui/MainWindow.h"
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

// Saves the next modal window as `name` and closes it (Cancel); `then` runs
// inside it first, for a dialog opened from this one.
void ShootNextModal(const QString& name, std::function<void(QWidget*)> then = {}) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, name, then] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        QTimer::singleShot(150, modal, [modal, name, then] {
            Save(modal, name);
            if (then) then(modal);
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        });
    });
    timer->start(50);
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
    auto* contacts = window.findChild<QCheckBox*>("Contacts");
    contacts->setChecked(false);
    ShootNextModal("contacts-format");
    contacts->setChecked(true);
    return g_saved > 0 ? 0 : 1;
}

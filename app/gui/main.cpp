// quillbox: the window program of Quillbox. "--ini FILE" names the settings
// file (by default "Quillbox.ini" beside the program).

#include <QApplication>
#include <cstring>
#include <iostream>
#include <string>

#include "outlook/mapi/PstStoreProvider.h"
#include "shell/settings/SettingsStore.h"
#include "ui/GuiMapiFrontEnd.h"
#include "ui/MainWindow.h"

int main(int argc, char** argv) {
    std::string settingsPath = qb::SettingsStore::DefaultPath();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
            settingsPath = argv[++i];
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "quillbox " << QUILLBOX_VERSION << "\n";
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << "usage: quillbox [--ini FILE]\n"
                         "The window program of Quillbox: converts a Lotus Notes mailbox into an Outlook personal "
                         "folders file.\nFILE is the settings file (default: Quillbox.ini beside the program).\n";
            return 0;
        }
    }
    QApplication app(argc, argv);
    qb::mapi::RegisterPstStoreProvider();
    qb::ui::MainWindow window(settingsPath);
    qb::ui::GuiMapiFrontEnd mapiDialogs(&window);
    qb::mapi::SetMapiFrontEnd(&mapiDialogs);
    window.show();
    const int status = app.exec();
    qb::mapi::SetMapiFrontEnd(nullptr);
    return status;
}

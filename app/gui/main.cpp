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

namespace {

constexpr const char* kUsage = "usage: quillbox [--ini FILE]\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "quillbox " << QUILLBOX_VERSION << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage
                      << "The window program of Quillbox: converts a Lotus Notes mailbox into an Outlook personal "
                         "folders file.\nFILE is the settings file (default: Quillbox.ini beside the program).\n";
            return 0;
        }
    }
    // Qt takes its own options (-platform, -style, ...) out of argv first.
    QApplication app(argc, argv);
    std::string settingsPath = qb::SettingsStore::DefaultPath();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
            settingsPath = argv[++i];
        } else {
            // A mistyped option would otherwise open the window on other settings than meant.
            std::cerr << "quillbox: " << (std::strcmp(argv[i], "--ini") == 0 ? "--ini needs a file name"
                                                                                : std::string("unknown argument '") +
                                                                                      argv[i] + "'")
                      << "\n"
                      << kUsage;
            return 2;
        }
    }
    qb::mapi::RegisterPstStoreProvider();
    qb::ui::MainWindow window(settingsPath);
    qb::ui::GuiMapiFrontEnd mapiDialogs(&window);
    qb::mapi::SetMapiFrontEnd(&mapiDialogs);
    window.show();
    const int status = app.exec();
    qb::mapi::SetMapiFrontEnd(nullptr);
    return status;
}

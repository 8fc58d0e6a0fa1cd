#include "CliFrontEnd.h"

#include <unistd.h>

#include "shell/platform/LocalTime.h"

namespace qb::cli {

bool CliFrontEnd::AskYes(const std::string& question) {
    if (assumeYes_) return true;
    if (::isatty(STDIN_FILENO) != 1) {
        err_ << question << "\n(no terminal to answer on: pass --yes to confirm)\n";
        return false;
    }
    err_ << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(in_, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

MessageResult CliFrontEnd::ShowMessage(std::string_view text, std::string_view title, MessageIcon,
                                       MessageButtons buttons) {
    if (buttons == MessageButtons::Ok) {
        err_ << title << ": " << text << "\n";
        return MessageResult::Ok;
    }
    const bool yes = AskYes(std::string(title) + ": " + std::string(text));
    if (buttons == MessageButtons::OkCancel) return yes ? MessageResult::Ok : MessageResult::Cancel;
    return yes ? MessageResult::Yes : MessageResult::No;
}

bool CliFrontEnd::Confirm(const std::string& text, ExportSettings& settings) {
    std::string question = "Confirm Export: " + text;
    if (settings.FilterByDate) {
        question += "\nFilter By Date: from " + platform::FormatLocalTime(settings.FilterFrom, "%Y-%m-%d %H:%M:%S") +
                    " to " + platform::FormatLocalTime(settings.FilterTo, "%Y-%m-%d %H:%M:%S");
    }
    return AskYes(question);
}

void CliFrontEnd::ShowExportError(const std::string& text) { err_ << "Export Error: " << text << "\n"; }

}  // namespace qb::cli

// quillbox-cli settings: shows what the program would load from its settings file.

#include <ostream>

#include "CliCommands.h"
#include "shell/settings/SettingsStore.h"

namespace qb::cli {

int RunSettings(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("settings");
    std::string iniPath = SettingsStore::DefaultPath();
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--ini") {
            if (!reader.Value(iniPath)) return UsageError(context, self, "--ini needs a file name");
        } else {
            return UsageError(context, self, "unexpected argument '" + arg + "'");
        }
    }
    ExportSettings settings;
    SettingsStore(iniPath).Load(settings);
    for (const auto& [key, value] : DescribeSettings(settings)) context.out << key << '=' << value << '\n';
    return kExitOk;
}

}  // namespace qb::cli

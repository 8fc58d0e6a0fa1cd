#include "shell/log/ExportLog.h"

#include <cstdio>
#include <memory>

#include "shell/platform/FileInfo.h"

namespace qb {

void AppendToFile(const std::string& path, std::string_view text, bool overwrite) {
    if (path.empty() || platform::IsReadOnlyFile(path)) return;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), overwrite ? "w" : "a"), &std::fclose);
    if (!file) return;
    std::fwrite(text.data(), 1, text.size(), file.get());
}

void ExportLog::Write(std::string_view text, bool truncate) const {
    if (!logToFile) return;
    AppendToFile(CurrentPath(), text, truncate);
}

}  // namespace qb

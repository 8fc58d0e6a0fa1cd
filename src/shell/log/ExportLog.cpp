#include "shell/log/ExportLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "shell/platform/FileInfo.h"

namespace qb {

void AppendToFile(const std::string& path, std::string_view text, bool overwrite) {
    if (path.empty() || platform::IsReadOnlyFile(path)) return;
    // The log quotes subjects and addresses: a new one is the user's alone (an
    // existing file keeps the mode the user gave it).
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_APPEND);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) return;
    std::unique_ptr<FILE, int (*)(FILE*)> file(::fdopen(fd, overwrite ? "w" : "a"), &std::fclose);
    if (!file) {
        ::close(fd);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file.get());
}

void ExportLog::Write(std::string_view text, bool truncate) const {
    if (!logToFile) return;
    AppendToFile(CurrentPath(), text, truncate);
}

}  // namespace qb

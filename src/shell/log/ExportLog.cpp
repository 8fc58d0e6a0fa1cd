#include "shell/log/ExportLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "shell/platform/FileInfo.h"

namespace qb {

void AppendToFile(const std::string& path, std::string_view text, bool overwrite) {
    if (path.empty() || platform::IsReadOnlyFile(path)) return;
    // The log quotes subjects and addresses: a new one is the user's alone (an
    // existing file keeps the mode the user gave it).
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_APPEND);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) return;
    // One write per line, without a stdio buffer to allocate and free each time.
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void ExportLog::Write(std::string_view text, bool truncate) const {
    if (!logToFile) return;
    AppendToFile(CurrentPath(), text, truncate);
}

}  // namespace qb

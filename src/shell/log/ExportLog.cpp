// The export log's writes: every line goes out with one write as it comes
// (through the kept file, or, for a single write, opening and closing the
// file), so a line written is on its way to the disk even when the program
// stops right after. Invariant: a file whose write permission bits are all
// clear (the user marked it read-only) is never opened for writing, not even
// by the administrator, whom the system would let write it; one locked while
// it is held open drops the lines from the next look at its path on.

#include "shell/log/ExportLog.h"

#include "shell/log/LogFileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qb {
namespace log_detail {

bool MayWriteReadOnlyFiles() {
    static const bool administrator = ::geteuid() == 0;
    return administrator;
}

void WriteAll(int fd, std::string_view text) {
    // One write per line, without a stdio buffer to allocate and free each time.
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace log_detail

using log_detail::MayWriteReadOnlyFiles;
using log_detail::WriteAll;

void AppendToFile(const std::string& path, std::string_view text, bool overwrite) {
    if (path.empty()) return;
    const bool checkMode = MayWriteReadOnlyFiles();
    // The log quotes subjects and addresses: a new one is the user's alone (an
    // existing file keeps the mode the user gave it). A file that may turn out
    // read-only is emptied only after its mode was seen.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? (checkMode ? 0 : O_TRUNC) : O_APPEND);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) return;
    struct stat st {};
    const bool writable = !checkMode || (::fstat(fd, &st) == 0 && (st.st_mode & 0222) != 0);
    if (writable && (!overwrite || !checkMode || ::ftruncate(fd, 0) == 0)) WriteAll(fd, text);
    ::close(fd);
}

void ExportLog::Write(std::string_view text, bool truncate) const {
    if (!logToFile) return;
    if (!truncate) return file_.Append(CurrentPath(), text);
    // A fresh start empties the file through its own open, as a single write
    // does; the lines after it append through the kept one.
    file_.Close();
    AppendToFile(CurrentPath(), text, true);
}

}  // namespace qb

#pragma once
// The export log's file, held open from one line to the next. An export
// writes a few lines per document; opening and closing the file for each
// line cost more than the line itself (most of it the walk along the path).
// Each line still goes out with one write() as it comes, with no buffer in
// the program, so a line written survives the program's end, however
// abrupt, and a reader of the file sees it at once.
//
// What opening the file for every line would notice, this notices at most a
// `RecheckInterval` later: at that interval the path is looked at again, and
// a log the user deleted, renamed or replaced is opened (or created) anew at
// the path, and a log the user made read-only drops the lines from then on,
// as the administrator's open would not refuse it.
//
// Invariants: at most one descriptor is open, and only for `path_`; a copy
// starts closed; every member call is serialised by the mutex.

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace qb {

class KeptLogFile {
public:
    static constexpr std::chrono::milliseconds kDefaultRecheckInterval{1000};

    KeptLogFile() = default;
    KeptLogFile(const KeptLogFile&) : KeptLogFile() {}
    KeptLogFile& operator=(const KeptLogFile& other);
    ~KeptLogFile();

    // Appends `text` to the file at `path`, as one write. A file that cannot
    // be opened, or that is read-only, drops the text; nothing is reported.
    void Append(const std::string& path, std::string_view text);
    // Closes the file; the next Append opens it again.
    void Close();

    // How long the file is written without looking at its path again (zero:
    // before every line). For tests.
    static void SetRecheckInterval(std::chrono::milliseconds interval);

private:
    using Clock = std::chrono::steady_clock;

    bool StillTheFileAtPath() const;
    bool Open(const std::string& path);
    void CloseLocked();

    std::mutex mutex_;
    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    Clock::time_point checked_{};
};

}  // namespace qb

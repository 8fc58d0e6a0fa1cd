#include "shell/platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "shell/platform/WrittenFiles.h"

namespace qb::platform {
namespace {

// The injected fault of QUILLBOX_FAULT_TEMP ("create|write:K:ERRNO").
struct Fault {
    enum class Kind { None, Create, Write } kind = Kind::None;
    long from = 0;
    int error = 0;
};

int ErrnoNamed(const std::string& name) {
    struct Known {
        const char* name;
        int value;
    };
    static const Known known[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EACCES", EACCES},
                                  {"EROFS", EROFS},   {"EDQUOT", EDQUOT}, {"EFBIG", EFBIG}};
    for (const Known& k : known)
        if (name == k.name) return k.value;
    return 0;
}

Fault ReadFault() {
    Fault fault;
    const char* text = std::getenv("QUILLBOX_FAULT_TEMP");
    if (!text) return fault;
    const std::string spec(text);
    const auto first = spec.find(':');
    const auto second = first == std::string::npos ? first : spec.find(':', first + 1);
    if (second == std::string::npos) return fault;
    const std::string kind = spec.substr(0, first);
    fault.from = std::strtol(spec.substr(first + 1, second - first - 1).c_str(), nullptr, 10);
    fault.error = ErrnoNamed(spec.substr(second + 1));
    if (fault.from < 1 || fault.error == 0) return fault;
    if (kind == "create") fault.kind = Fault::Kind::Create;
    if (kind == "write") fault.kind = Fault::Kind::Write;
    return fault;
}

// The errno to fail this create or write with, 0 to go ahead.
int InjectedError(Fault::Kind kind) {
    static const Fault fault = ReadFault();
    static std::atomic<long> count{0};
    if (fault.kind != kind) return 0;
    return ++count >= fault.from ? fault.error : 0;
}

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Failed(int error) {
    if (errno_ == 0) {
        errno_ = error;
        error_ = path_ + ": " + std::strerror(error);
    }
    return false;
}

bool OutputFile::Create(const std::string& path) {
    Close();
    path_ = path;
    errno_ = 0;
    error_.clear();
    pending_.clear();
    written_ = 0;
    oldSize_ = 0;
    copy_.clear();
    copying_ = WrittenFiles::Enabled();
    if (const int injected = InjectedError(Fault::Kind::Create)) return Failed(injected);
    // Not O_TRUNC, and never emptied before writing: ext4 writes a file out
    // to disk when it is closed after it was truncated to empty and written
    // again (its guard for files replaced by truncation), and the converters
    // hand these files reused inodes with stale bytes (RecycledFiles). The
    // data goes over the old bytes from the start (a fresh descriptor's
    // offset is 0) and Close cuts what is left beyond it.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return Failed(errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Failed(errno);
    oldSize_ = st.st_size;
    return true;
}

bool OutputFile::WriteNow(std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd_, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return Failed(errno);
        }
        written_ += written;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool OutputFile::Flush() {
    if (pending_.empty()) return true;
    const bool written = WriteNow(pending_);
    pending_.clear();
    return written;
}

bool OutputFile::Write(std::string_view data) {
    if (fd_ < 0 || errno_ != 0) return false;
    if (const int injected = InjectedError(Fault::Kind::Write)) return Failed(injected);
    KeepCopy(data);
    // The decoders hand over a file in pieces; small ones go out together.
    if (pending_.size() + data.size() <= kPendingLimit) {
        pending_.append(data);
        return true;
    }
    return Flush() && WriteNow(data);
}

bool OutputFile::Close() {
    if (fd_ >= 0) {
        if (errno_ == 0 && Flush()) SetLength();
        // Before the close: a failed close still forgets the copy below.
        if (errno_ == 0) RememberCopy();
        if (::close(fd_) != 0) Failed(errno);
        fd_ = -1;
        pending_.clear();
        copy_.clear();
        if (errno_ != 0) {
            WrittenFiles::Shared().Forget(path_);
            std::remove(path_.c_str());
        }
    }
    return errno_ == 0 && !path_.empty();
}

// The bytes of a small file, so that reading it back moments later need not
// open it again (WrittenFiles).
void OutputFile::KeepCopy(std::string_view data) {
    if (!copying_) return;
    if (copy_.size() + data.size() > WrittenFiles::kMaxBytes) {
        copying_ = false;
        std::string().swap(copy_);
        return;
    }
    copy_.append(data);
}

void OutputFile::RememberCopy() {
    struct stat closed {};
    if (!copying_ || ::fstat(fd_, &closed) != 0) {
        WrittenFiles::Shared().Forget(path_);
        return;
    }
    WrittenFiles::Shared().Remember(path_, closed, std::make_shared<const std::string>(std::move(copy_)));
}

// The file ends where the data ends. An earlier, longer content is cut (to
// empty only when nothing was written, so never emptied and then written);
// a file that stays empty gets the times a truncation would give it, as the
// bytes written give any other file.
void OutputFile::SetLength() {
    if (oldSize_ > written_) {
        if (::ftruncate(fd_, written_) != 0) Failed(errno);
    } else if (written_ == 0 && ::futimens(fd_, nullptr) != 0) {
        Failed(errno);
    }
}

bool WriteWholeFile(const std::string& path, std::string_view data, std::string* error) {
    OutputFile file;
    const bool written = file.Create(path) && file.Write(data) && file.Close();
    if (!written) {
        file.Close();
        if (error) *error = file.error();
    }
    return written;
}

}  // namespace qb::platform

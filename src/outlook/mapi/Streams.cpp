#include "outlook/mapi/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "shell/platform/WrittenFiles.h"

namespace qb::mapi {
namespace {

constexpr ULONG kCopyChunk = 64 * 1024;

FILETIME ToFileTime(const timespec& ts) {
    const ULONGLONG value = (static_cast<ULONGLONG>(ts.tv_sec) + 11644473600ULL) * 10000000ULL +
                            static_cast<ULONGLONG>(ts.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

HRESULT ErrnoResult(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return MAPI_E_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS: return MAPI_E_NO_ACCESS;
        case ENOSPC: return MAPI_E_NOT_ENOUGH_DISK;
        case ENOMEM: return MAPI_E_NOT_ENOUGH_MEMORY;
        default: return MAPI_E_DISK_ERROR;
    }
}

bool NewPosition(long long base, long long move, ULONGLONG& out) {
    const long long target = base + move;
    if (target < 0) return false;
    out = static_cast<ULONGLONG>(target);
    return true;
}

// Seek over `size` bytes of memory from `position`, as IStream::Seek.
HRESULT SeekInMemory(std::size_t size, std::size_t& position, LARGE_INTEGER move, DWORD origin,
                     ULARGE_INTEGER* newPosition) {
    long long base = 0;
    if (origin == STREAM_SEEK_CUR) base = static_cast<long long>(position);
    else if (origin == STREAM_SEEK_END) base = static_cast<long long>(size);
    else if (origin != STREAM_SEEK_SET) return STG_E_INVALIDFUNCTION;
    ULONGLONG target = 0;
    if (!NewPosition(base, move.QuadPart, target)) return STG_E_INVALIDFUNCTION;
    position = static_cast<std::size_t>(target);
    if (newPosition) newPosition->QuadPart = target;
    return S_OK;
}

// A stream over an open file descriptor. The file's status seen when it was
// opened answers Stat until the stream writes to the file, so reading a file
// through the stream costs its open, one status, its reads and its close.
class FileStream final : public ComObject<IStream> {
public:
    FileStream(int fd, const struct stat& opened, bool writable, std::string path, bool deleteOnRelease)
        : fd_(fd), opened_(opened), writable_(writable), path_(std::move(path)), deleteOnRelease_(deleteOnRelease) {}
    ~FileStream() override {
        ::close(fd_);
        if (deleteOnRelease_) ::unlink(path_.c_str());
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG total = 0;
        while (total < cb) {
            const ssize_t n = ::read(fd_, static_cast<BYTE*>(pv) + total, cb - total);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (pcbRead) *pcbRead = total;
                return STG_E_READFAULT;
            }
            if (n == 0) break;
            total += static_cast<ULONG>(n);
            // A regular file reads short only at its end: asking again would
            // only hear that.
            if (total < cb && S_ISREG(opened_.st_mode)) break;
        }
        if (pcbRead) *pcbRead = total;
        return S_OK;
    }
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!writable_) return STG_E_ACCESSDENIED;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG total = 0;
        while (total < cb) {
            const ssize_t n = ::write(fd_, static_cast<const BYTE*>(pv) + total, cb - total);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (pcbWritten) *pcbWritten = total;
                return errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
            }
            total += static_cast<ULONG>(n);
            changed_ = true;
        }
        if (pcbWritten) *pcbWritten = total;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        int whence = SEEK_SET;
        if (origin == STREAM_SEEK_CUR) whence = SEEK_CUR;
        else if (origin == STREAM_SEEK_END) whence = SEEK_END;
        else if (origin != STREAM_SEEK_SET) return STG_E_INVALIDFUNCTION;
        const off_t at = ::lseek(fd_, static_cast<off_t>(move.QuadPart), whence);
        if (at < 0) return STG_E_INVALIDFUNCTION;
        if (newPosition) newPosition->QuadPart = static_cast<ULONGLONG>(at);
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER size) override {
        if (!writable_) return STG_E_ACCESSDENIED;
        changed_ = true;
        return ::ftruncate(fd_, static_cast<off_t>(size.QuadPart)) == 0 ? S_OK : STG_E_MEDIUMFULL;
    }
    HRESULT CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (!dest) return STG_E_INVALIDPOINTER;
        ULONGLONG r = 0, w = 0;
        const HRESULT hr = CopyStream(*this, *dest, cb.QuadPart, &r, &w);
        if (read) read->QuadPart = r;
        if (written) written->QuadPart = w;
        return hr;
    }
    HRESULT Commit(DWORD) override {
        if (writable_ && ::fsync(fd_) != 0) return STG_E_WRITEFAULT;
        return S_OK;
    }
    HRESULT Stat(STATSTG* statstg, DWORD) override {
        if (!statstg) return STG_E_INVALIDPOINTER;
        struct stat st = opened_;
        if (changed_ && ::fstat(fd_, &st) != 0) return STG_E_ACCESSDENIED;
        *statstg = STATSTG{};
        statstg->type = STGTY_STREAM;
        statstg->cbSize.QuadPart = static_cast<ULONGLONG>(st.st_size);
        statstg->mtime = ToFileTime(st.st_mtim);
        statstg->ctime = ToFileTime(st.st_ctim);
        statstg->atime = ToFileTime(st.st_atim);
        statstg->grfMode = writable_ ? STGM_READWRITE : STGM_READ;
        return S_OK;
    }

private:
    int fd_;
    struct stat opened_;
    bool changed_ = false;  // written or resized through this stream
    bool writable_;
    std::string path_;
    bool deleteOnRelease_;
};

// A file opened for reading that this process has just written and closed
// (WrittenFiles): its bytes from memory, its status as one stat saw it when
// opened, as a read-only FileStream would give them.
class WrittenFileStream final : public ComObject<IStream> {
public:
    WrittenFileStream(std::shared_ptr<const std::string> bytes, const struct stat& opened)
        : bytes_(std::move(bytes)), opened_(opened) {}

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        const ULONG n = Available(cb);
        if (n) std::memcpy(pv, bytes_->data() + position_, n);
        position_ += n;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }
    HRESULT Write(const void*, ULONG, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        return SeekInMemory(bytes_->size(), position_, move, origin, newPosition);
    }
    HRESULT SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    // Straight from the bytes into the destination, in the chunks a copy
    // through a buffer would use.
    HRESULT CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (!dest) return STG_E_INVALIDPOINTER;
        ULONGLONG totalRead = 0, totalWritten = 0;
        HRESULT hr = S_OK;
        while (totalRead < cb.QuadPart) {
            const ULONG n = Available(static_cast<ULONG>(std::min<ULONGLONG>(kCopyChunk, cb.QuadPart - totalRead)));
            if (n == 0) break;
            const BYTE* from = reinterpret_cast<const BYTE*>(bytes_->data()) + position_;
            position_ += n;
            totalRead += n;
            ULONG put = 0;
            hr = dest->Write(from, n, &put);
            totalWritten += put;
            if (FAILED(hr)) break;
            if (put != n) {
                hr = STG_E_MEDIUMFULL;
                break;
            }
        }
        if (read) read->QuadPart = totalRead;
        if (written) written->QuadPart = totalWritten;
        return hr;
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* statstg, DWORD) override {
        if (!statstg) return STG_E_INVALIDPOINTER;
        *statstg = STATSTG{};
        statstg->type = STGTY_STREAM;
        statstg->cbSize.QuadPart = bytes_->size();
        statstg->mtime = ToFileTime(opened_.st_mtim);
        statstg->ctime = ToFileTime(opened_.st_ctim);
        statstg->atime = ToFileTime(opened_.st_atim);
        statstg->grfMode = STGM_READ;
        return S_OK;
    }

private:
    ULONG Available(ULONG wanted) const {
        const std::size_t left = position_ < bytes_->size() ? bytes_->size() - position_ : 0;
        return static_cast<ULONG>(std::min<std::size_t>(wanted, left));
    }

    std::shared_ptr<const std::string> bytes_;
    struct stat opened_;
    std::size_t position_ = 0;
};

}  // namespace

namespace {

// The chunk a copy goes through, one per thread and reused: a chunk this
// large freed after every copy makes the allocator merge its free lists each
// time. A copy started while another runs on the thread (a stream that
// copies from within its Write) gets its own.
class CopyChunk {
public:
    CopyChunk() : busy_(Busy()) {
        if (busy_) {
            own_ = std::make_unique_for_overwrite<BYTE[]>(kCopyChunk);
            return;
        }
        Busy() = true;
        // Not zeroed: every byte written out was read into it first.
        thread_local const std::unique_ptr<BYTE[]> shared = std::make_unique_for_overwrite<BYTE[]>(kCopyChunk);
        chunk_ = shared.get();
    }
    ~CopyChunk() {
        if (!busy_) Busy() = false;
    }
    CopyChunk(const CopyChunk&) = delete;
    CopyChunk& operator=(const CopyChunk&) = delete;
    BYTE* get() const { return own_ ? own_.get() : chunk_; }

private:
    static bool& Busy() {
        thread_local bool busy = false;
        return busy;
    }
    bool busy_;
    std::unique_ptr<BYTE[]> own_;
    BYTE* chunk_ = nullptr;
};

}  // namespace

HRESULT CopyStream(IStream& source, IStream& dest, ULONGLONG cb, ULONGLONG* read, ULONGLONG* written) {
    const CopyChunk chunk;
    ULONGLONG totalRead = 0, totalWritten = 0;
    HRESULT hr = S_OK;
    while (totalRead < cb) {
        const ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(kCopyChunk, cb - totalRead));
        ULONG got = 0;
        hr = source.Read(chunk.get(), want, &got);
        if (FAILED(hr) || got == 0) break;
        totalRead += got;
        ULONG put = 0;
        hr = dest.Write(chunk.get(), got, &put);
        totalWritten += put;
        if (FAILED(hr)) break;
        if (put != got) {
            hr = STG_E_MEDIUMFULL;
            break;
        }
    }
    if (read) *read = totalRead;
    if (written) *written = totalWritten;
    return hr;
}

HRESULT ReadWholeStream(IStream& stream, std::vector<BYTE>& out) {
    out.clear();
    LARGE_INTEGER zero{};
    HRESULT hr = stream.Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    std::vector<BYTE> chunk(kCopyChunk);
    for (;;) {
        ULONG got = 0;
        hr = stream.Read(chunk.data(), kCopyChunk, &got);
        if (FAILED(hr)) return hr;
        if (got == 0) return S_OK;
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
}

MapiPtr<MemoryStream> MemoryStream::Create(std::vector<BYTE> initial) {
    return MapiPtr<MemoryStream>(new MemoryStream(std::move(initial)));
}

HRESULT MemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    const std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
    const std::size_t n = std::min<std::size_t>(cb, available);
    if (n) std::memcpy(pv, data_.data() + position_, n);
    position_ += n;
    if (pcbRead) *pcbRead = static_cast<ULONG>(n);
    return S_OK;
}

HRESULT MemoryStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (pcbWritten) *pcbWritten = 0;
    if (readOnly_) return STG_E_ACCESSDENIED;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    try {
        if (position_ + cb > data_.size()) data_.resize(position_ + cb);
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    std::memcpy(data_.data() + position_, pv, cb);
    position_ += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
}

HRESULT MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    return SeekInMemory(data_.size(), position_, move, origin, newPosition);
}

HRESULT MemoryStream::SetSize(ULARGE_INTEGER size) {
    if (readOnly_) return STG_E_ACCESSDENIED;
    if (size.QuadPart > std::numeric_limits<ULONG>::max()) return STG_E_MEDIUMFULL;
    try {
        data_.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

HRESULT MemoryStream::CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
    if (!dest) return STG_E_INVALIDPOINTER;
    ULONGLONG r = 0, w = 0;
    const HRESULT hr = CopyStream(*this, *dest, cb.QuadPart, &r, &w);
    if (read) read->QuadPart = r;
    if (written) written->QuadPart = w;
    return hr;
}

HRESULT MemoryStream::Commit(DWORD) { return S_OK; }

HRESULT MemoryStream::Stat(STATSTG* statstg, DWORD) {
    if (!statstg) return STG_E_INVALIDPOINTER;
    *statstg = STATSTG{};
    statstg->type = STGTY_STREAM;
    statstg->cbSize.QuadPart = data_.size();
    statstg->grfMode = readOnly_ ? STGM_READ : STGM_READWRITE;
    return S_OK;
}

HRESULT OpenFileStream(ULONG flags, LPCTSTR fileName, LPCTSTR prefix, LPSTREAM* out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (!fileName || !*fileName) return MAPI_E_INVALID_PARAMETER;
    const bool writable = (flags & (STGM_WRITE | STGM_READWRITE)) != 0;
    std::string path = fileName;
    constexpr ULONG kAnythingButReading = STGM_WRITE | STGM_READWRITE | STGM_CREATE | STGM_DELETEONRELEASE |
                                          SOF_UNIQUEFILENAME;
    if ((flags & kAnythingButReading) == 0) {
        struct stat now {};
        if (auto bytes = platform::WrittenFiles::Shared().Recall(path, &now)) {
            *out = new WrittenFileStream(std::move(bytes), now);
            return S_OK;
        }
    } else {
        // Written through this stream, the file is no longer what was remembered.
        platform::WrittenFiles::Shared().Forget(path);
    }
    int fd = -1;
    if (flags & SOF_UNIQUEFILENAME) {
        std::string pattern = path + "/" + (prefix ? prefix : "SOF") + "XXXXXX";
        fd = ::mkstemp(pattern.data());
        path = pattern;
    } else {
        int mode = writable ? ((flags & STGM_WRITE) ? O_WRONLY : O_RDWR) : O_RDONLY;
        if (flags & STGM_CREATE) mode = O_RDWR | O_CREAT | O_TRUNC;
        fd = ::open(path.c_str(), mode | O_CLOEXEC, 0600);
    }
    if (fd < 0) return ErrnoResult(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        return S_ISDIR(st.st_mode) ? MAPI_E_NO_ACCESS : ErrnoResult(error);
    }
    const bool canWrite = writable || (flags & (STGM_CREATE | SOF_UNIQUEFILENAME));
    *out = new FileStream(fd, st, canWrite, path, (flags & STGM_DELETEONRELEASE) != 0);
    return S_OK;
}

}  // namespace qb::mapi

HRESULT OpenStreamOnFile(LPALLOCATEBUFFER, LPFREEBUFFER, ULONG ulFlags, LPCTSTR lpszFileName, LPCTSTR lpszPrefix,
                         LPSTREAM* lppStream) {
    return qb::mapi::OpenFileStream(ulFlags, lpszFileName, lpszPrefix, lppStream);
}

#pragma once
// A file the conversion writes into the temporary folder (attachments, RTF
// bodies, pictures): created private (0600), written and closed, with the
// system's reason kept for the message when any of that fails. A file that
// failed is removed again, so nothing half-written is ever attached. Small
// writes are gathered and reach the file at the latest when it is closed, so
// a failure of theirs may only show there. An existing file (a reused one,
// see RecycledFiles) is written over from its start and cut to the length
// written when it is closed; it is never emptied before it is written. The
// bytes of a small file are remembered when it is closed, so that reading it
// back moments later need not open it again (WrittenFiles).
//
// Test hook: the environment variable QUILLBOX_FAULT_TEMP, read once per
// process, makes these files fail as a full or broken disk would, e.g.
// "write:3:ENOSPC" fails the third write and every later one, "create:1:EACCES"
// every create. Only the tests set it; without it nothing changes.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace qb::platform {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file or opens an existing one to be overwritten (never
    // following a symbolic link); after Close it holds exactly the bytes
    // written. False: error() says why.
    bool Create(const std::string& path);
    // Writes all of data (small pieces may wait for the next write or the
    // close); after the first failure every call fails.
    bool Write(std::string_view data);
    // Closes the file; a file that failed at any point is removed. True when
    // everything was written.
    bool Close();

    // "<path>: <system reason>" of the first failure, empty while all went well.
    const std::string& error() const { return error_; }
    // The errno of the first failure, 0 while all went well.
    int errorNumber() const { return errno_; }

private:
    static constexpr std::size_t kPendingLimit = 64 * 1024;

    bool Failed(int error);
    bool WriteNow(std::string_view data);
    bool Flush();
    void SetLength();
    void KeepCopy(std::string_view data);
    void RememberCopy();

    std::string path_;
    int fd_ = -1;
    int errno_ = 0;
    std::string error_;
    std::string pending_;  // written data not yet handed to the system
    off_t written_ = 0;    // bytes the system took since Create, all from offset 0
    off_t oldSize_ = 0;    // the file's length when it was opened
    std::string copy_;     // every byte written, while the file is small enough to be remembered
    bool copying_ = false;
};

// Writes a whole file through OutputFile; `error` gets its error() text.
bool WriteWholeFile(const std::string& path, std::string_view data, std::string* error);

}  // namespace qb::platform

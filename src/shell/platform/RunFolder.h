#pragma once
// A folder of one's own for the files of one export run, made inside the
// private temporary folder. The conversion gives its temporary files fixed
// names (RTF1.rtf, _IMAGE1.tif, the attachments' own names); two exports run
// at once by the same user would otherwise write over each other's files and
// could put one mailbox's body or attachment into the other's messages.

#include <string>

namespace qb::platform {

class RunFolder {
public:
    // Makes a new, uniquely named folder (mode 0700) inside `parent`. On
    // failure path() is empty and error() says why.
    explicit RunFolder(const std::string& parent);
    // Removes the folder with whatever the run left in it.
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    std::string path_;
    std::string error_;
};

}  // namespace qb::platform

#pragma once
// A folder of one's own for the files of one export run, made inside the
// private temporary folder. The conversion gives its temporary files fixed
// names (RTF1.rtf, _IMAGE1.tif, the attachments' own names); two exports run
// at once by the same user would otherwise write over each other's files and
// could put one mailbox's body or attachment into the other's messages.
//
// The folder is named "run-<pid>-XXXXXX" after the process that owns it. A
// process that is killed leaves its folder behind; the next run removes the
// folders whose process no longer exists (never a live one's, and never
// following a symbolic link out of the folder).

#include <string>

namespace qb::platform {

class RunFolder {
public:
    // Removes the run folders in `parent` left by processes that no longer
    // exist, then makes a new, uniquely named folder (mode 0700) inside it.
    // On failure path() is empty and error() says why.
    explicit RunFolder(const std::string& parent);
    // Removes the folder with whatever the run left in it.
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

    // The run folders in `parent` whose owning process has ended are removed.
    static void RemoveAbandoned(const std::string& parent);

private:
    std::string path_;
    std::string error_;
};

}  // namespace qb::platform

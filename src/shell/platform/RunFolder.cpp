#include "shell/platform/RunFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "shell/platform/Paths.h"

namespace qb::platform {

RunFolder::RunFolder(const std::string& parent) {
    if (parent.empty()) {
        error_ = "no temporary folder";
        return;
    }
    std::string pattern = JoinPath(parent, "run-XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        error_ = std::strerror(errno);
        return;
    }
    path_ = buffer.data();
}

RunFolder::~RunFolder() {
    if (path_.empty()) return;
    // remove_all deletes symbolic links themselves, never what they point to.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace qb::platform

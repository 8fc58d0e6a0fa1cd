#include "shell/platform/RunFolder.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "shell/platform/Paths.h"

namespace qb::platform {

namespace {

constexpr std::string_view kPrefix = "run-";

// The owning process of a folder named "run-<pid>-XXXXXX", or 0.
pid_t OwnerOf(std::string_view name) {
    if (!name.starts_with(kPrefix)) return 0;
    name.remove_prefix(kPrefix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos) return 0;
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
    return ec == std::errc() && end == name.data() + dash && pid > 0 ? pid : 0;
}

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

void RunFolder::RemoveAbandoned(const std::string& parent) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t owner = OwnerOf(it->path().filename().string());
        if (owner == 0 || owner == ::getpid() || ProcessExists(owner)) continue;
        // Only a real folder of this user: a link is never followed, and
        // remove_all deletes links inside as links.
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
        std::error_code ignored;
        std::filesystem::remove_all(it->path(), ignored);
    }
}

RunFolder::RunFolder(const std::string& parent) {
    if (parent.empty()) {
        error_ = "no temporary folder";
        return;
    }
    RemoveAbandoned(parent);
    std::string pattern = JoinPath(parent, std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX");
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

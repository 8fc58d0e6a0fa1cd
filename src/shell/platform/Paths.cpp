#include "shell/platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace qb::platform {

std::string ProgramPath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    const auto cut = path.rfind(kPathSeparator);
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    while (!name.empty() && name.front() == kPathSeparator) name.remove_prefix(1);
    if (!out.empty() && out.back() != kPathSeparator) out += kPathSeparator;
    out += name;
    return out;
}

std::string TempFolder(std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return std::string();
    };
    const char* base = std::getenv("TMPDIR");
    const std::string root = (base && *base) ? base : "/tmp";
    const std::string folder = JoinPath(root, "quillbox-" + std::to_string(::getuid()));

    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return fail("cannot create " + folder + ": " + std::strerror(errno));
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return fail("cannot inspect " + folder + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return fail(folder + " is not a folder");
    if (st.st_uid != ::getuid()) return fail(folder + " belongs to another user");
    if ((st.st_mode & 0077) != 0) return fail(folder + " can be used by other users");
    return folder;
}

}  // namespace qb::platform

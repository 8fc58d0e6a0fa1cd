#include "convert/AttachmentNames.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "shell/platform/Paths.h"

namespace qb {
namespace {

bool IsUnsafe(unsigned char c) {
    return c < 32 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string UpperAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string AttachmentNamer::SafeName(std::string_view name) {
    if (const auto cut = name.find_last_of("\\/"); cut != std::string_view::npos) name.remove_prefix(cut + 1);
    std::string safe(name);
    std::replace_if(safe.begin(), safe.end(), [](char c) { return IsUnsafe(static_cast<unsigned char>(c)); }, ' ');
    const auto first = safe.find_first_not_of(' ');
    safe = first == std::string::npos ? std::string() : safe.substr(first, safe.find_last_not_of(' ') - first + 1);
    // "." and ".." name folders, not files.
    if (safe.find_first_not_of('.') == std::string::npos) safe.clear();

    if (!safe.empty()) {
        const auto dot = safe.rfind('.');
        rememberedExtension_ = dot == std::string::npos ? std::string() : safe.substr(dot + 1);
    } else {
        safe = fmt::format("FILE{}.{}", fileNumber_++, rememberedExtension_);
    }
    if (renameExecutables_ && UpperAscii(rememberedExtension_) == "EXE") {
        const auto dot = safe.rfind('.');
        if (dot != std::string::npos && dot > 0) safe = safe.substr(0, dot) + ".EX~";
    }
    return safe;
}

std::string AttachmentNamer::UniquePath(std::string_view folder, std::string_view safeName) {
    std::string path = platform::JoinPath(folder, safeName);
    const auto dot = safeName.rfind('.');
    const std::string_view stem = dot == std::string_view::npos || dot == 0 ? safeName : safeName.substr(0, dot);
    const std::string_view extension = stem.size() == safeName.size() ? std::string_view() : safeName.substr(dot);
    for (int copy = 2; usedPaths_.count(path); ++copy)
        path = platform::JoinPath(folder, fmt::format("{} ({}){}", stem, copy, extension));
    usedPaths_.insert(path);
    return path;
}

}  // namespace qb

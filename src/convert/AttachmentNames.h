#pragma once
// File names for extracted attachments: safe on the file system, numbered
// fallbacks for names that leave nothing, executables optionally renamed, and
// no two attachments of one item sharing a path.

#include <set>
#include <string>
#include <string_view>

namespace qb {

class AttachmentNamer {
public:
    explicit AttachmentNamer(bool renameExecutables) : renameExecutables_(renameExecutables) {}

    // The attachment's name made safe: the last path component, with
    // \ / : * ? " < > | and control characters turned into blanks and outer
    // blanks removed; an empty result becomes "FILE<n>.<ext>" using the
    // extension of the previous attachment.
    std::string SafeName(std::string_view name);

    // folder + name, made unique among the paths this namer handed out
    // ("report.pdf", "report (2).pdf", ...) so that two attachments of one
    // document never overwrite each other.
    std::string UniquePath(std::string_view folder, std::string_view safeName);

private:
    bool renameExecutables_;
    int fileNumber_ = 1;
    std::string rememberedExtension_;
    std::set<std::string> usedPaths_;
};

}  // namespace qb

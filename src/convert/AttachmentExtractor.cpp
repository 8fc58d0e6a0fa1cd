#include "convert/AttachmentExtractor.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>

#include "notes/NotesErrorText.h"
#include "shell/platform/FileInfo.h"
#include "shell/platform/Paths.h"

namespace qb {

bool AttachmentExtractor::Extract(const std::string& tempFolder, const LNDocument& document) {
    bool result = true;
    try {
        if (document.HasOLEObjects()) {
            result = false;
            messages_.emplace_back(
                "....Error Warning. This Document has OLE embbeded objects that will not be extracted correctly. See "
                "Limitations");
        }
        LNAttachmentArray attachments;
        // Attachments that cannot even be listed are lost: say so.
        LNSTATUS listed = LNNOERROR;
        try {
            listed = document.GetAttachments(&attachments);
        } catch (const LNStatusError& e) {
            listed = e.GetStatus();
        }
        if (listed != LNNOERROR) {
            messages_.push_back("....LOTUS NOTES ATTACHMENT ERROR: " + NotesErrorText(listed));
            lostAttachment_ = true;
            return false;
        }
        if (attachments.GetCount() == 0) return result;
        if (tempFolder.empty()) {
            // Without the private folder there is nowhere safe to put them.
            messages_.emplace_back("....ERROR: Unable to extract attachments: no private temporary folder");
            lostAttachment_ = true;
            return false;
        }
        AttachmentNamer namer(renameExecutables_);
        for (LNINT i = 0; i < attachments.GetCount() && writeFailure_.empty(); ++i) {
            if (!ExtractOne(tempFolder, attachments[i], namer)) result = false;
        }
    } catch (...) {
        messages_.emplace_back("....OTHER ATTACHMENT TOP LEVEL ERROR");
        lostAttachment_ = true;
        result = false;
    }
    return result;
}

bool AttachmentExtractor::ExtractOne(const std::string& tempFolder, const LNAttachment& attachment,
                                     AttachmentNamer& namer) {
    try {
        if (Detach(tempFolder, attachment, namer.SafeName(attachment.GetAttachmentName())) == LNNOERROR) return true;
        // One more try under a made-up name, which a file system always takes:
        // when that cannot be written either, the folder itself is the cause.
        const LNSTATUS status = Detach(tempFolder, attachment, namer.SafeName(""));
        if (status == LNNOERROR) return true;
        const std::string text = NotesErrorText(status);
        if (status == LNERR_FILE_WRITE) {
            writeFailure_ = "Unable to write the attachment " + attachment.GetAttachmentName() +
                            " into the temporary folder: " + text;
            messages_.push_back("....~#>ERROR " + writeFailure_);
        } else {
            messages_.push_back("....LOTUS NOTES ATTACHMENT ERROR: " + text);
        }
    } catch (const LNStatusError& e) {
        messages_.push_back("....LOTUS NOTES ATTACHMENT ERROR: " + NotesErrorText(e.GetStatus()));
    } catch (const std::exception& e) {
        messages_.push_back(std::string("....OTHER ATTACHMENT ERROR: ") + e.what());
    } catch (...) {
        messages_.emplace_back("....OTHER ATTACHMENT ERROR: unknown failure");
    }
    lostAttachment_ = true;
    return false;
}

LNSTATUS AttachmentExtractor::Detach(const std::string& tempFolder, const LNAttachment& attachment,
                                     const std::string& safeName) {
    const std::string name = attachment.GetAttachmentName();
    const std::string path = PathFor(tempFolder, safeName);
    messages_.push_back(fmt::format("....Extracting attachment, {} to {}", name, path));
    ScopedNotesThrowMode returnCodes(false);
    platform::ProvideFile(recycled_, path);
    const LNSTATUS status = attachment.Detach(path);
    if (status != LNNOERROR) {
        platform::RemoveFile(recycled_, path);
        messages_.push_back(
            fmt::format("....ERROR: Unable to extract attachment, {} to {}: {}", name, path, NotesErrorText(status)));
        return status;
    }
    attachmentFiles_.push_back(path);
    return LNNOERROR;
}

// The attachment is named in Outlook after its file, so a second file of the
// same name goes into a numbered folder of its own rather than over the first.
std::string AttachmentExtractor::PathFor(const std::string& tempFolder, const std::string& safeName) {
    std::string path = platform::JoinPath(tempFolder, safeName);
    if (!Taken(path)) return Take(path);
    for (int copy = 2; copy <= kMaxNumberedFolders; ++copy) {
        const std::string folder = platform::JoinPath(tempFolder, std::to_string(copy));
        const bool ours = std::find(createdFolders_.begin(), createdFolders_.end(), folder) != createdFolders_.end();
        if (!ours) {
            // A folder left from an earlier run may hold anything: never reuse it.
            if (::mkdir(folder.c_str(), 0700) != 0) continue;
            createdFolders_.push_back(folder);
        }
        path = platform::JoinPath(folder, safeName);
        if (!Taken(path)) return Take(path);
    }
    // No folder could be made: keep both files side by side under distinct names.
    const auto dot = safeName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? safeName.substr(0, dot) : safeName;
    const std::string extension = hasExtension ? safeName.substr(dot) : std::string();
    for (int copy = 2;; ++copy) {
        path = platform::JoinPath(tempFolder, fmt::format("{} ({}){}", stem, copy, extension));
        if (!Taken(path)) return Take(path);
    }
}

// A file already in the folder is taken too: the folder also holds the export
// log and the scratch database, which an attachment of the same name must
// neither overwrite nor take away with it when the files are removed.
bool AttachmentExtractor::Taken(const std::string& path) const {
    struct stat st {};
    return takenPaths_.count(path) > 0 ||
           std::find(attachmentFiles_.begin(), attachmentFiles_.end(), path) != attachmentFiles_.end() ||
           ::lstat(path.c_str(), &st) == 0;
}

std::string AttachmentExtractor::Take(const std::string& path) {
    takenPaths_.insert(path);
    return path;
}

void AttachmentExtractor::RemoveFiles() {
    for (const std::string& path : attachmentFiles_) platform::RemoveFile(recycled_, path);
    RemoveFolders();
}

void AttachmentExtractor::RemoveFolders() {
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) ::rmdir(it->c_str());
    createdFolders_.clear();
}

}  // namespace qb

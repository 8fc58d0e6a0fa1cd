#pragma once
// Saves the file attachments of one document into the private temporary
// folder under safe names, adds their paths to the item's attachment files,
// and deletes them again once the item is saved. Problems are collected as
// log lines; the converter writes them only when something went wrong.

#include <set>
#include <string>
#include <vector>

#include "convert/AttachmentNames.h"
#include "notes/api/LNNote.h"
#include "shell/platform/RecycledFiles.h"

namespace qb {

class AttachmentExtractor {
public:
    // `attachmentFiles` belongs to the item record and outlives the extractor;
    // so does `recycled`, the run's kept files (null: files are created and
    // deleted).
    AttachmentExtractor(bool renameExecutables, std::vector<std::string>& attachmentFiles,
                        platform::RecycledFiles* recycled = nullptr)
        : renameExecutables_(renameExecutables), attachmentFiles_(attachmentFiles), recycled_(recycled) {}
    ~AttachmentExtractor() { RemoveFolders(); }
    AttachmentExtractor(const AttachmentExtractor&) = delete;
    AttachmentExtractor& operator=(const AttachmentExtractor&) = delete;

    // True when no warning or error was met. `tempFolder` is the private
    // per-user temporary folder.
    bool Extract(const std::string& tempFolder, const LNDocument& document);

    // Deletes every file named in the attachment files (pictures of the body
    // included) and the folders made to keep equal names apart.
    void RemoveFiles();

    // Lines collected by Extract, without line feeds.
    const std::vector<std::string>& messages() const { return messages_; }
    // True when an attachment of the document could not be extracted.
    bool lostAttachment() const { return lostAttachment_; }
    // The temporary folder refused a file (full, broken, not writable): the
    // system's reason with the path. Empty otherwise.
    const std::string& writeFailure() const { return writeFailure_; }

private:
    bool ExtractOne(const std::string& tempFolder, const LNAttachment& attachment, AttachmentNamer& namer);
    LNSTATUS Detach(const std::string& tempFolder, const LNAttachment& attachment, const std::string& safeName);
    std::string PathFor(const std::string& tempFolder, const std::string& safeName);
    // A path handed out for this item (the body's pictures included) or one
    // that exists already.
    bool Taken(const std::string& path) const;
    std::string Take(const std::string& path);
    void RemoveFolders();

    bool renameExecutables_;
    std::vector<std::string>& attachmentFiles_;
    platform::RecycledFiles* recycled_;
    std::vector<std::string> messages_;
    bool lostAttachment_ = false;
    std::string writeFailure_;
    static constexpr int kMaxNumberedFolders = 999;
    std::set<std::string> takenPaths_;
    std::vector<std::string> createdFolders_;
};

}  // namespace qb

#pragma once
// File attachments: the $FILE items of a note.

#include <memory>
#include <vector>

#include "notes/api/LNDatetime.h"
#include "notes/api/LNGlobal.h"

namespace qb::notes {
struct FileObject;
}

class LNAttachment {
public:
    LNAttachment() = default;
    LNAttachment(std::shared_ptr<const qb::notes::FileObject> file, LNString itemName);

    bool IsNull() const { return file_ == nullptr; }
    // The file name as stored (may hold a path or characters a file system refuses).
    LNString GetAttachmentName() const;
    // The name of the $FILE item.
    LNString GetItemName() const { return itemName_; }
    std::uint64_t GetSize() const;
    LNDatetime GetCreated() const;
    LNDatetime GetModified() const;
    // Writes the decoded file to path in one streaming pass; a partial file
    // is removed on failure.
    LNSTATUS Detach(const LNString& path) const;

private:
    std::shared_ptr<const qb::notes::FileObject> file_;
    LNString itemName_;
};

class LNAttachmentArray {
public:
    LNINT GetCount() const { return static_cast<LNINT>(items_.size()); }
    LNAttachment operator[](LNINT index) const { return items_.at(static_cast<std::size_t>(index)); }
    void Append(LNAttachment attachment) { items_.push_back(std::move(attachment)); }
    void Clear() { items_.clear(); }

private:
    std::vector<LNAttachment> items_;
};

#include "notes/api/LNAttachment.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "notes/api/NoteData.h"
#include "notes/api/NotesFormat.h"
#include "shell/platform/OutputFile.h"

using namespace qb::notes;

LNAttachment::LNAttachment(std::shared_ptr<const FileObject> file, LNString itemName)
    : file_(std::move(file)), itemName_(std::move(itemName)) {}

LNString LNAttachment::GetAttachmentName() const { return file_ ? file_->name : LNString(); }
std::uint64_t LNAttachment::GetSize() const { return file_ ? file_->size : 0; }
LNDatetime LNAttachment::GetCreated() const { return file_ ? file_->created : LNDatetime(); }
LNDatetime LNAttachment::GetModified() const { return file_ ? file_->modified : LNDatetime(); }

namespace {

// Decodes the base64 range of the DXL file chunk by chunk into out, reading
// through the file the note was parsed from (opened again only for a note
// that has none).
template <typename Sink>
LNSTATUS StreamDecode(const FileContent& content, Sink&& out, std::string* detail) {
    std::shared_ptr<const DxlFile> file = content.dxlFile;
    if (!file) {
        int error = 0;
        file = DxlFile::Open(content.dxlPath, &error);
        if (!file) {
            *detail = content.dxlPath;
            return LNERR_FILE_READ;
        }
    }
    Base64Decoder decoder;
    constexpr std::uint64_t kChunk = 1 << 16;
    std::string chunk(static_cast<std::size_t>(std::min(content.length, kChunk)), '\0');
    std::string decoded;
    decoded.reserve(chunk.size() / 4 * 3 + 3);
    std::uint64_t offset = content.offset;
    std::uint64_t left = content.length;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (!file->ReadAt(offset, chunk.data(), want)) {
            *detail = content.dxlPath + ": the file changed since it was opened";
            return LNERR_FILE_READ;
        }
        offset += want;
        left -= want;
        decoded.clear();
        if (!decoder.Feed(std::string_view(chunk.data(), want), decoded)) {
            *detail = "attachment data in " + content.dxlPath;
            return LNERR_BAD_BASE64;
        }
        out(decoded);
    }
    decoded.clear();
    if (!decoder.Finish(decoded)) {
        *detail = "attachment data in " + content.dxlPath + " ends inside a base64 group";
        return LNERR_BAD_BASE64;
    }
    out(decoded);
    return LNNOERROR;
}

}  // namespace

namespace qb::notes {

LNSTATUS ReadFileContent(const FileContent& content, Bytes* bytes, std::string* detail) {
    bytes->clear();
    if (content.inMemory) {
        *bytes = content.bytes;
        return LNNOERROR;
    }
    if (const Bytes* prepared = PreparedBytes(content)) {
        *bytes = *prepared;
        return LNNOERROR;
    }
    return StreamDecode(content, [&](const std::string& piece) { bytes->append(piece); }, detail);
}

const Bytes* PreparedBytes(const FileContent& content) {
    if (!content.prepared || !content.dxlFile) return nullptr;
    DxlFileStamp now;
    if (!content.dxlFile->Stamp(&now) || !(now == content.preparedStamp)) return nullptr;
    return content.prepared.get();
}

bool DecodeFileContentRange(const FileContent& content, Bytes* bytes) {
    bytes->clear();
    if (content.inMemory) return false;
    bytes->reserve(static_cast<std::size_t>(content.length / 4 * 3 + 3));
    std::string detail;
    return StreamDecode(content, [&](const std::string& piece) { bytes->append(piece); }, &detail) == LNNOERROR;
}

}  // namespace qb::notes

LNSTATUS LNAttachment::Detach(const LNString& path) const {
    if (!file_ || !file_->content) return Fail(LNERR_ATTACHMENT_NOT_FOUND, GetAttachmentName());
    qb::platform::OutputFile out;
    if (!out.Create(path)) return Fail(LNERR_FILE_WRITE, out.error());
    LNSTATUS status = LNNOERROR;
    std::string detail;
    if (file_->content->inMemory) {
        out.Write(file_->content->bytes);
    } else if (const Bytes* prepared = PreparedBytes(*file_->content)) {
        out.Write(*prepared);
    } else {
        status = StreamDecode(*file_->content, [&](const std::string& piece) { out.Write(piece); }, &detail);
    }
    // The file's own failure is the cause whatever the decoder saw after it.
    if (!out.Close() || !out.error().empty()) {
        status = LNERR_FILE_WRITE;
        detail = out.error();
    }
    if (status != LNNOERROR) {
        std::remove(path.c_str());
        return Fail(status, detail);
    }
    return LNNOERROR;
}

#include "batch/RecoveryJournal.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#include "shell/platform/Paths.h"
#include "shell/platform/WholeFile.h"
#include "text/Crc32.h"

namespace qb {
namespace {

constexpr std::size_t kCrcBytes = 4;

void PutU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutText(std::string& out, const std::string& text) {
    PutU32(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

// Ends the bytes of a file with the CRC-32 of everything before it.
std::string Sealed(std::string body) {
    PutU32(body, text::Crc32(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    return body;
}

// Reads the fields of one file; every read is checked against what is left.
class FieldReader {
public:
    explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}
    bool AtEnd() const { return at_ == bytes_.size(); }
    std::optional<std::uint32_t> U32() {
        if (bytes_.size() - at_ < 4) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes_[at_ + i]);
        at_ += 4;
        return value;
    }
    std::optional<std::uint8_t> Byte() {
        if (AtEnd()) return std::nullopt;
        return static_cast<std::uint8_t>(bytes_[at_++]);
    }
    std::optional<std::string> Text(std::size_t maxBytes) {
        const auto size = U32();
        if (!size || *size > maxBytes || *size > bytes_.size() - at_) return std::nullopt;
        std::string text(bytes_.substr(at_, *size));
        at_ += *size;
        return text;
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// The bytes before the checksum, or a reason the file cannot be trusted.
std::optional<std::string_view> Unseal(std::string_view data, std::string& why) {
    if (data.size() < kCrcBytes) {
        why = data.empty() ? "the file is empty" : "the file is shorter than its checksum";
        return std::nullopt;
    }
    const std::string_view body = data.substr(0, data.size() - kCrcBytes);
    const std::uint32_t expected = *FieldReader(data.substr(body.size())).U32();
    if (text::Crc32(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()) != expected) {
        why = "its checksum does not match its content (the file is truncated or damaged)";
        return std::nullopt;
    }
    return body;
}

}  // namespace

RecoveryJournal::RecoveryJournal(std::string directory, bool on, std::string baseName)
    : directory_(std::move(directory)), baseName_(std::move(baseName)), on_(on) {}

std::string RecoveryJournal::FilePath(const char* extension) const {
    return platform::JoinPath(directory_, baseName_ + extension);
}

bool RecoveryJournal::Off() {
    lastError_ = "Recovery is off";
    return false;
}

bool RecoveryJournal::Fail(std::string text) {
    lastError_ = std::move(text);
    return false;
}

bool RecoveryJournal::Same(const ViewRef& view, std::uint32_t id, const std::string& name) {
    if (id != kComponentViewId) return view.id == id;
    return view.id == kComponentViewId && view.name == name;
}

bool RecoveryJournal::IsFinished(std::uint32_t id, const std::string& name) const {
    return std::any_of(finished_.begin(), finished_.end(), [&](const ViewRef& v) { return Same(v, id, name); });
}

LaunchJournal::LoadResult RecoveryJournal::Unusable(const std::string& path, const std::string& why) {
    lastError_ = "The recovery journal " + path + " cannot be used: " + why;
    resumable_ = false;
    return LoadResult::Unusable;
}

void RecoveryJournal::Clear() {
    complete_ = false;
    finished_.clear();
    current_ = ViewRef();
    resumable_ = false;
    lastIndex_ = -1;
    lastNoteId_ = 0;
    lastUniversalId_.clear();
    started_ = false;
}

LaunchJournal::LoadResult RecoveryJournal::Load() {
    Clear();
    std::string why;
    using Status = platform::BoundedRead::Status;

    const std::string mainPath = MainFilePath();
    const platform::BoundedRead main = platform::ReadBoundedFile(mainPath, kMaxFileBytes);
    if (main.status == Status::Missing) {
        lastError_ = "Unable to open Recovery File: " + mainPath;
        return LoadResult::Missing;
    }
    if (main.status != Status::Read) return Unusable(mainPath, main.error);
    const auto mainBody = Unseal(main.data, why);
    if (!mainBody) return Unusable(mainPath, why);
    FieldReader reader(*mainBody);
    const auto complete = reader.Byte();
    if (!complete || *complete > 1) return Unusable(mainPath, "its completion flag is not 0 or 1");
    auto server = reader.Text(kMaxTextBytes);
    auto path = server ? reader.Text(kMaxTextBytes) : std::nullopt;
    if (!path) return Unusable(mainPath, "the database's server or path is cut short");
    while (!reader.AtEnd()) {
        const auto id = reader.U32();
        auto name = id ? reader.Text(kMaxTextBytes) : std::nullopt;
        if (!name) return Unusable(mainPath, fmt::format("finished view {} is cut short", finished_.size() + 1));
        finished_.push_back({*id, std::move(*name)});
    }
    complete_ = *complete == 1;
    server_ = std::move(*server);
    path_ = std::move(*path);

    const std::string viewPath = ViewFilePath();
    const platform::BoundedRead view = platform::ReadBoundedFile(viewPath, kMaxFileBytes);
    if (view.status == Status::Missing) {
        // No view was ever started: nothing to resume, but a completed
        // export is still known as one.
        lastError_ = "Unable to open: " + viewPath;
        return complete_ ? LoadResult::Loaded : LoadResult::Missing;
    }
    if (view.status != Status::Read) return Unusable(viewPath, view.error);
    const auto viewBody = Unseal(view.data, why);
    if (!viewBody) return Unusable(viewPath, why);
    FieldReader viewReader(*viewBody);
    const auto viewId = viewReader.U32();
    auto viewName = viewId ? viewReader.Text(kMaxTextBytes) : std::nullopt;
    if (!viewName || !viewReader.AtEnd()) return Unusable(viewPath, "the view in progress is not one identifier and name");

    // The note file is written before the view file, so it is there whenever
    // the view file is.
    const std::string notePath = NoteFilePath();
    const platform::BoundedRead note = platform::ReadBoundedFile(notePath, kMaxFileBytes);
    if (note.status != Status::Read) return Unusable(notePath, note.error);
    const auto noteBody = Unseal(note.data, why);
    if (!noteBody) return Unusable(notePath, why);
    FieldReader noteReader(*noteBody);
    const auto index = noteReader.U32();
    const auto noteId = index ? noteReader.U32() : std::nullopt;
    auto universalId = noteId ? noteReader.Text(kMaxTextBytes) : std::nullopt;
    if (!universalId || !noteReader.AtEnd()) return Unusable(notePath, "the last document is not an index, a note id and a universal id");
    const auto lastIndex = static_cast<std::int32_t>(*index);
    if (lastIndex < -1 || lastIndex == std::numeric_limits<std::int32_t>::max())
        return Unusable(notePath, fmt::format("the last document's index {} is out of range", lastIndex));

    current_ = {*viewId, std::move(*viewName)};
    lastIndex_ = lastIndex;
    lastNoteId_ = *noteId;
    lastUniversalId_ = std::move(*universalId);
    resumable_ = true;
    lastError_.clear();
    return LoadResult::Loaded;
}

bool RecoveryJournal::Create(const std::string& server, const std::string& path) {
    Clear();
    server_ = server;
    path_ = path;
    on_ = true;
    // The files of an earlier journal go first: a view file left beside the
    // new main file would name a view of another database. The view file
    // before the note file, as the reader expects.
    for (const std::string& stale : {ViewFilePath(), NoteFilePath()}) {
        if (std::remove(stale.c_str()) != 0 && errno != ENOENT)
            return Fail("Unable to create or open file: " + stale + ": " + std::strerror(errno));
    }
    std::string error;
    if (!platform::ReplaceWholeFile(MainFilePath(), WriteMainBytes(), 0600, &error))
        return Fail("Unable to create or open file: " + error);
    return true;
}

bool RecoveryJournal::ShouldExportView(std::uint32_t viewId, const std::string& viewName, ResumePoint& point) {
    point = ResumePoint();
    if (!on_) {
        Off();
        return true;
    }
    // Finished first: a view is never exported twice, even when a crash
    // between its completion and the next view's start left it named in the
    // view file.
    if (IsFinished(viewId, viewName)) return false;
    if (resumable_ && Same(current_, viewId, viewName)) {
        point.startIndex = lastIndex_ + 1;
        point.resumed = true;
        point.lastUniversalId = lastUniversalId_;
    }
    return true;
}

bool RecoveryJournal::StartView(std::uint32_t viewId, const std::string& viewName) {
    if (!on_) return Off();
    started_ = true;
    // The view being resumed keeps its position.
    if (resumable_ && Same(current_, viewId, viewName)) return true;
    resumable_ = false;
    current_ = {viewId, viewName};
    // A new view starts before its first document: a crash before that
    // document must not resume it at the previous view's position. The note
    // file goes first, so the view file never names the new view beside the
    // old position.
    lastIndex_ = -1;
    lastNoteId_ = 0;
    lastUniversalId_.clear();
    if (!WriteNote()) return false;
    return WriteView();
}

bool RecoveryJournal::RecordDocument(std::int32_t index, std::uint32_t noteId, const std::string& universalId) {
    if (!on_) return Off();
    lastIndex_ = index;
    lastNoteId_ = noteId;
    lastUniversalId_ = universalId.substr(0, kMaxTextBytes);
    return WriteNote();
}

bool RecoveryJournal::MarkViewFolderComplete() {
    if (!on_) return Off();
    // Only a view this run started: the loaded view in progress is finished
    // by its own export, never by the completion of a view skipped before it.
    if (!started_) return Fail("No view or folder is being exported");
    started_ = false;
    if (!IsFinished(current_.id, current_.name)) finished_.push_back(current_);
    return WriteMain();
}

bool RecoveryJournal::MarkComplete() {
    if (!on_) return Off();
    complete_ = true;
    return WriteMain();
}

std::string RecoveryJournal::WriteMainBytes() const {
    std::string bytes(1, complete_ ? '\1' : '\0');
    PutText(bytes, server_);
    PutText(bytes, path_);
    for (const ViewRef& view : finished_) {
        PutU32(bytes, view.id);
        PutText(bytes, view.name);
    }
    return Sealed(std::move(bytes));
}

bool RecoveryJournal::WriteMain() {
    std::string error;
    if (!platform::ReplaceWholeFile(MainFilePath(), WriteMainBytes(), 0600, &error))
        return Fail("Unable to open Recovery File Main: " + error);
    return true;
}

bool RecoveryJournal::WriteView() {
    std::string bytes;
    PutU32(bytes, current_.id);
    PutText(bytes, current_.name);
    std::string error;
    if (!platform::ReplaceWholeFile(ViewFilePath(), Sealed(std::move(bytes)), 0600, &error))
        return Fail("Unable to open recovery view file: " + error);
    return true;
}

bool RecoveryJournal::WriteNote() {
    std::string bytes;
    PutU32(bytes, static_cast<std::uint32_t>(lastIndex_));
    PutU32(bytes, lastNoteId_);
    PutText(bytes, lastUniversalId_);
    std::string error;
    if (!platform::ReplaceWholeFile(NoteFilePath(), Sealed(std::move(bytes)), 0600, &error))
        return Fail("Unable to open Recovery File Main: " + error);
    return true;
}

}  // namespace qb

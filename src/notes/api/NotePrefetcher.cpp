// Reading ahead the notes of a view on a second thread (NotePrefetcher.h).

#include "notes/api/NotePrefetcher.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

#include "notes/api/DatabaseImpl.h"
#include "notes/api/EnvironmentSwitch.h"
#include "notes/api/RichTextExport.h"
#include "notes/api/RichTextRecords.h"

namespace qb::notes {
namespace {

EnvironmentSwitch prefetchSwitch("QUILLBOX_NOTES_PREFETCH");
EnvironmentSwitch prepareSwitch("QUILLBOX_NOTES_PREPARE");

// What a parsed note holds in memory, roughly: what bounds the queue.
std::size_t FootprintOf(const NoteData& note) {
    std::size_t bytes = sizeof note + note.unid.size();
    for (const ItemData& item : note.items) bytes += sizeof item + item.name.size() + item.value.size();
    for (const std::string& warning : note.readWarnings) bytes += sizeof warning + warning.size();
    for (const ItemData& item : note.items) {
        if (item.file && item.file->content && item.file->content->prepared)
            bytes += item.file->content->prepared->size();
    }
    if (const PreparedRtf* rtf = note.preparedRtf.get())
        bytes += sizeof *rtf + rtf->value.size() + rtf->links.size() + rtf->fonts.size() + rtf->rtf.size();
    return bytes;
}

bool HasPicture(std::string_view body) {
    CdRecordReader reader(body);
    CdRecord record;
    while (reader.Next(&record)) {
        if (record.signature == SIG_CD_GRAPHIC) return true;
    }
    return false;
}

}  // namespace

bool NotePrefetchEnabled() { return prefetchSwitch.Enabled(); }
void SetNotePrefetchEnabled(std::optional<bool> enabled) { prefetchSwitch.Force(enabled); }
bool NotePrepareEnabled() { return prepareSwitch.Enabled(); }
void SetNotePrepareEnabled(std::optional<bool> enabled) { prepareSwitch.Force(enabled); }

NotePrefetcher::NotePrefetcher(const NoteIndex& index, std::string path, const DxlDatabaseInfo& info, Limits limits)
    : index_(index),
      path_(std::move(path)),
      limits_(limits),
      reader_(path_, info.encoding, info.entityDeclarations),
      file_(reader_.File()) {}

NotePrefetcher::~NotePrefetcher() { Stop(); }

void NotePrefetcher::Follow(const void* owner, std::shared_ptr<const std::vector<NOTEID>> ids, std::size_t at) {
    if (!ids || at >= ids->size()) return;
    {
        std::lock_guard lock(mutex_);
        if (owner == owner_ && ids == ids_ && at >= at_) {
            const bool dropped = DropBefore(at);
            at_ = at;
            // The reader opens the note at `at` itself unless the thread has it.
            const bool skipped = next_ < at + 1;
            next_ = std::max(next_, at + 1);
            if (dropped || skipped) WakeThreadIfItMayParse();
            return;
        }
    }
    // Another sequence, or the reader went back: start over from there.
    Stop();
    std::lock_guard lock(mutex_);
    owner_ = owner;
    ids_ = std::move(ids);
    at_ = at;
    next_ = at + 1;
    try {
        thread_ = std::thread(&NotePrefetcher::Run, this);
    } catch (const std::system_error&) {
        // No thread: every note is parsed by its reader, as without prefetching.
        owner_ = nullptr;
        ids_.reset();
    }
}

void NotePrefetcher::Stop(const void* owner) {
    {
        std::lock_guard lock(mutex_);
        if (owner != owner_) return;
    }
    Stop();
}

void NotePrefetcher::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    threadWake_.notify_all();
    handedOver_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    stopping_ = false;
    owner_ = nullptr;
    ids_.reset();
    queue_.clear();
    queuedBytes_ = 0;
    filled_ = false;
    at_ = next_ = 0;
}

bool NotePrefetcher::DropBefore(std::size_t position) {
    bool dropped = false;
    while (!queue_.empty() && queue_.front().position < position) {
        queuedBytes_ -= queue_.front().bytes;
        queue_.pop_front();
        dropped = true;
    }
    return dropped;
}

bool NotePrefetcher::MayParse() {
    if (stopping_) return true;
    if (!ids_ || next_ >= ids_->size()) return false;
    if (queue_.size() >= limits_.notes || queuedBytes_ >= limits_.bytes) filled_ = true;
    else if (queue_.size() <= limits_.notes / 2 && queuedBytes_ <= limits_.bytes / 2) filled_ = false;
    return !filled_;
}

void NotePrefetcher::WakeThreadIfItMayParse() {
    if (threadWaiting_ && MayParse()) threadWake_.notify_one();
}

bool NotePrefetcher::Take(const NoteIndexEntry& entry, std::shared_ptr<NoteData>* note) {
    std::unique_lock lock(mutex_);
    for (;;) {
        for (auto parsed = queue_.begin(); parsed != queue_.end(); ++parsed) {
            if (parsed->noteId != entry.noteId) continue;
            const bool current =
                parsed->start == entry.start && parsed->end == entry.end && parsed->modified == entry.modified;
            std::shared_ptr<NoteData> found = std::move(parsed->note);
            const DxlFileStamp stamp = parsed->stamp;
            queuedBytes_ -= parsed->bytes;
            queue_.erase(parsed);
            WakeThreadIfItMayParse();
            if (!current) return false;
            // Read from bytes the file may no longer hold: the caller reads it as it is now.
            DxlFileStamp now;
            if (!file_->Stamp(&now) || !(now == stamp)) {
                ++counts_.stale;
                return false;
            }
            ++counts_.taken;
            *note = std::move(found);
            return true;
        }
        // Being parsed now: waiting costs less than parsing it again.
        if (!inFlight_ || *inFlight_ != entry.noteId || stopping_) return false;
        takeWaiting_ = true;
        handedOver_.wait(lock);
        takeWaiting_ = false;
    }
}

NotePrefetcher::Counts NotePrefetcher::GetCounts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

void NotePrefetcher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        threadWaiting_ = true;
        threadWake_.wait(lock, [&] { return MayParse(); });
        threadWaiting_ = false;
        if (stopping_) return;
        const std::size_t position = next_++;
        const std::shared_ptr<const std::vector<NOTEID>> ids = ids_;
        const NOTEID noteId = (*ids)[position];
        inFlight_ = noteId;
        lock.unlock();
        Parsed parsed;
        parsed.position = position;
        parsed.noteId = noteId;
        const bool ok = ParseNext(noteId, &parsed);
        lock.lock();
        inFlight_.reset();
        // A note the reader has gone past is of no use any more.
        if (ok && !stopping_ && ids == ids_ && position >= at_) {
            try {
                queue_.push_back(std::move(parsed));
                queuedBytes_ += queue_.back().bytes;
                ++counts_.parsed;
                counts_.prepared += queue_.back().preparedFiles;
                counts_.preparedRtf += queue_.back().preparedRtf ? 1 : 0;
            } catch (const std::bad_alloc&) {
                // Not queued: the reader parses it itself.
            }
        }
        if (takeWaiting_) handedOver_.notify_all();
    }
}

bool NotePrefetcher::ParseNext(NOTEID noteId, Parsed* parsed) {
    try {
        const NoteIndex::Slot* slot = index_.FindSlot(noteId);
        if (!slot || slot->Deleted()) return false;
        if (!file_ || !file_->Stamp(&parsed->stamp)) return false;
        NoteIndexEntry entry;
        std::string detail;
        // Notes written by this process are not in the file; LoadNote copies them.
        if (index_.ReadUncached(*slot, &entry, &detail) != LNNOERROR) return false;
        auto note = std::make_shared<NoteData>();
        if (ReadIndexedNote(reader_, entry, note.get(), &detail) != LNNOERROR) return false;
        parsed->start = entry.start;
        parsed->end = entry.end;
        parsed->modified = entry.modified;
        parsed->preparedFiles = PrepareAttachments(note.get(), parsed->stamp);
        parsed->preparedRtf = PrepareRtf(note.get());
        parsed->bytes = FootprintOf(*note);
        parsed->note = std::move(note);
        return true;
    } catch (...) {
        // Out of memory and the like: the reader parses the note itself and meets it there.
        return false;
    }
}

std::uint64_t NotePrefetcher::PrepareAttachments(NoteData* note, const DxlFileStamp& stamp) const {
    std::uint64_t files = 0;
    if (!NotePrepareEnabled()) return files;
    std::uint64_t budget = limits_.preparedNote;
    for (ItemData& item : note->items) {
        if (!item.file || !item.file->content) continue;
        const FileContent& content = *item.file->content;
        // Only ranges of the file stamped: their stamp says when they stop being the file's bytes.
        if (content.inMemory || content.prepared || content.dxlFile != file_ || content.length > limits_.preparedFile ||
            content.length > budget)
            continue;
        auto decoded = std::make_shared<Bytes>();
        // Not decodable here: left to the export, which reports why.
        if (!DecodeFileContentRange(content, decoded.get())) continue;
        budget -= content.length;
        // The note is the thread's own until handed over, but its file objects
        // are const to readers: replace them rather than change them.
        auto preparedContent = std::make_shared<FileContent>(content);
        preparedContent->prepared = std::move(decoded);
        preparedContent->preparedStamp = stamp;
        auto file = std::make_shared<FileObject>(*item.file);
        file->content = std::move(preparedContent);
        item.file = std::move(file);
        ++files;
    }
    return files;
}

bool NotePrefetcher::PrepareRtf(NoteData* note) const {
    if (!NotePrepareEnabled()) return false;
    // The body as LNNote::GetItem joins it: every composite item of the name, each padded to even length.
    auto prepared = std::make_shared<PreparedRtf>();
    for (const ItemData& item : note->items) {
        if (!NameEquals(item.name, "Body") || item.type != TYPE_COMPOSITE) continue;
        prepared->value += item.value;
        if (prepared->value.size() & 1) prepared->value.push_back('\0');
        if (prepared->value.size() > limits_.preparedRtf) return false;
    }
    // Pictures are decoded to bitmaps and encoded again when rendered; done
    // here they would add to what the export thread holds at the same time.
    if (prepared->value.empty() || HasPicture(prepared->value)) return false;
    if (const ItemData* links = note->FindItem("$Links")) prepared->links = links->value;
    const ItemData* fonts = note->FindItem("$Fonts");
    if (!fonts) fonts = note->FindItem("$FONT");
    if (fonts) prepared->fonts = fonts->value;
    prepared->begin = 0;
    prepared->end = prepared->value.size();
    prepared->rtf = RenderRichTextRangeRtf(prepared->value, prepared->begin, prepared->end, prepared->links,
                                           prepared->fonts);
    note->preparedRtf = std::move(prepared);
    return true;
}

}  // namespace qb::notes

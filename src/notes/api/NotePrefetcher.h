#pragma once
// Reads ahead the notes a view's reader will open next: a thread of the
// database parses the notes that follow the view entry last asked for
// (their ids are the view's entries) into a bounded queue, and the reader's
// LoadNote takes a parsed note from it instead of parsing the note itself.
//
// Invariants:
// - The thread only reads: the DXL file through a reader of its own (own
//   descriptor, parser and buffers) and the note index through
//   NoteIndex::ReadUncached, never its record cache. The database stops the
//   thread before anything changes its index (open, close, save, delete)
//   and the prefetcher is destroyed before the index, so the index does not
//   change while the thread runs.
// - The queue holds at most Limits::notes notes and, but for the note just
//   parsed, Limits::bytes bytes. Once full, the thread waits until it is
//   half empty, so that it is woken once per half a queue, not per note.
// - A note is handed over only for the index it was parsed from (the same
//   NoteIndex::Generation, so the very index record); anything else is
//   parsed by the caller as before, so results do not depend on the
//   prefetcher. A note the thread
//   cannot read is not queued: the caller reads it again and gets the error.
// - What the thread read is used only while the file is as it was before it
//   read it (DxlFileStamp, taken before each note): a note is handed over,
//   and its attachment data decoded ahead is used, only under that very
//   stamp; once the file is truncated or written, the caller reads and
//   decodes the file as it is now, meeting what reading alone would meet.
// - The thread also decodes the attachment data of a note it parsed
//   (FileContent::prepared), for files of at most Limits::preparedFile
//   base64 bytes and at most Limits::preparedNote a note, counted in the
//   note's bytes. The decoded bytes are the very bytes Detach would decode
//   from the same range; a range that does not decode is left as it was, so
//   the caller decodes it and reports its error as before.
// - It also renders the note's Body to RTF (NoteData::preparedRtf) when the
//   body is at most Limits::preparedRtf bytes and holds no picture, with the
//   inputs it was rendered from; the reader writes it only for exactly those
//   inputs.
// - It also presents the note as LNNote::Open would (PresentNote: MIME as
//   rich text, damaged rich text noted) when its MIME parts and objects
//   hold at most Limits::presentedNote bytes, before rendering the Body, so
//   that a MIME body is rendered ahead too. Presenting reads nothing but the
//   note and the file under the note's stamp, so the presented note is the
//   one the reader would make; it is handed over only to a reader that
//   presents notes (Take's `presented`), never as a note as stored.
// - Nothing the thread does throws out of it; Stop and the destructor join it.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "notes/api/DxlReader.h"
#include "notes/api/NoteIndex.h"

namespace qb::notes {

// Whether databases read ahead: on unless QUILLBOX_NOTES_PREFETCH=0, or as a
// test set it (std::nullopt goes back to the environment).
bool NotePrefetchEnabled();
void SetNotePrefetchEnabled(std::optional<bool> enabled);
// Whether the thread reading ahead also decodes attachment data and renders
// bodies to RTF: on unless QUILLBOX_NOTES_PREPARE=0 (to compare), or as a
// test set it.
bool NotePrepareEnabled();
void SetNotePrepareEnabled(std::optional<bool> enabled);

class NotePrefetcher {
public:
    struct Limits {
        std::size_t notes = 16;
        std::size_t bytes = 8u << 20;
        // Attachment data decoded ahead (base64 bytes): per file and per note.
        std::uint64_t preparedFile = 512u << 10;
        std::uint64_t preparedNote = 2u << 20;
        std::size_t preparedRtf = 256u << 10;
        std::uint64_t presentedNote = 2u << 20;
    };
    struct Counts {
        std::uint64_t parsed = 0;  // by the thread
        std::uint64_t taken = 0;   // handed over
        std::uint64_t prepared = 0;  // attachment data decoded ahead (files)
        std::uint64_t preparedRtf = 0;  // bodies rendered ahead
        std::uint64_t presented = 0;  // notes presented ahead
        std::uint64_t presentedMime = 0;  // of which stored as MIME
        std::uint64_t stale = 0;  // not handed over: the file changed since the note was read
    };

    NotePrefetcher(const NoteIndex& index, std::string path, const DxlDatabaseInfo& info, Limits limits);
    ~NotePrefetcher();
    NotePrefetcher(const NotePrefetcher&) = delete;
    NotePrefetcher& operator=(const NotePrefetcher&) = delete;

    // The reader is at position `at` of `ids` (a view's entries, owned by
    // `owner`): read ahead from there. Starts the thread when needed;
    // another sequence replaces the one followed.
    void Follow(const void* owner, std::shared_ptr<const std::vector<NOTEID>> ids, std::size_t at);
    // Stops and joins the thread when `owner` is the one followed.
    void Stop(const void* owner);
    void Stop();
    // The note of that id parsed ahead from the index of that generation,
    // waiting while the thread is parsing it now; false when it is not
    // there. *presented says whether the thread presented it (PresentNote).
    bool Take(NOTEID noteId, std::uint64_t generation, std::shared_ptr<NoteData>* note, bool* presented);
    Counts GetCounts() const;

private:
    struct Parsed {
        std::size_t position = 0;
        NOTEID noteId = 0;
        std::uint64_t generation = 0;  // of the index the note was found in
        DxlFileStamp stamp;  // the file before the note was read
        std::size_t bytes = 0;
        std::uint64_t preparedFiles = 0;
        bool preparedRtf = false;
        bool presented = false;
        bool presentedMime = false;
        std::shared_ptr<NoteData> note;
    };

    void Run();
    bool ParseNext(NOTEID noteId, Parsed* parsed);
    // Decodes the attachment data of note within the limits; the number of files.
    std::uint64_t PrepareAttachments(NoteData* note, const DxlFileStamp& stamp) const;
    // Presents the note within the limits; whether it did, and whether it held MIME.
    bool Present(NoteData* note, bool* mime) const;
    // Renders the note's Body to RTF within the limits; whether it did.
    bool PrepareRtf(NoteData* note) const;
    // True when something was dropped.
    bool DropBefore(std::size_t position);
    // Whether the thread has work it may do now (called with the lock held).
    bool MayParse();
    void WakeThreadIfItMayParse();

    const NoteIndex& index_;
    const std::string path_;
    const Limits limits_;
    DxlNoteReader reader_;  // the thread's alone
    const std::shared_ptr<const DxlFile> file_;  // reader_'s file, only stamped outside the thread

    mutable std::mutex mutex_;
    std::condition_variable threadWake_;  // the thread waits for work or room
    std::condition_variable handedOver_;  // Take waits for the note in flight
    bool threadWaiting_ = false;
    bool takeWaiting_ = false;
    bool filled_ = false;  // the queue was full and has not been half emptied since
    const void* owner_ = nullptr;
    std::shared_ptr<const std::vector<NOTEID>> ids_;
    std::size_t at_ = 0;    // where the reader is
    std::size_t next_ = 0;  // what the thread parses next
    std::optional<NOTEID> inFlight_;
    std::deque<Parsed> queue_;
    std::size_t queuedBytes_ = 0;
    bool stopping_ = false;
    Counts counts_;
    std::thread thread_;
};

}  // namespace qb::notes

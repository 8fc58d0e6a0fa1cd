// The indexing pass over a DXL file (DxlReader.h): one expat parse from start
// to end, or for a large file two at once.
//
// In two parts: the first parser runs as for one part; once it has read the
// root element's start tag, a split is sought from the middle of the file (a
// "<document" or "<note" start tag by its bytes), and a second thread parses
// the file's own bytes up to and with that start tag (XML declaration,
// document type, root element with its namespaces) followed by the bytes
// from the split to the end. Its handler records file offsets (its offset
// base is the split less that prolog) into an index of its own with its own
// spill file.
//
// Invariants: the result equals a single parse's. The split is used only
// when the first parser, suspended at the first element starting at or after
// it, stands exactly there: a child of the root, between notes, with nothing
// of an earlier note open. Bytes that only look like a start tag (comments,
// CDATA, attribute values) never pass that test. The second part is used
// only when it parsed to the end without any fault and holds nothing the
// database-level information takes from later in the file (an access list);
// otherwise it is thrown away and the first parser goes on over the rest, so
// that errors come from it alone, with its messages and positions. The
// second thread is always joined before the pass returns. (Summary buffers
// name items by ItemNameTable numbers, which the two threads take in the
// order they meet the names: a number means the same name either way.)

#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stop_token>
#include <string_view>
#include <system_error>
#include <thread>

#include "notes/api/DxlReader.h"
#include "notes/api/DxlReaderInternal.h"
#include "notes/api/NoteIndex.h"
#include "shell/platform/EnvironmentSwitch.h"

namespace qb::notes {

namespace dxl_detail {

ParseRun::Outcome ParseRun::Failure(std::string* detail) const {
    char position[80];
    std::snprintf(position, sizeof position, ", line %lu, column %lu: ",
                  static_cast<unsigned long>(XML_GetCurrentLineNumber(parser_)),
                  static_cast<unsigned long>(XML_GetCurrentColumnNumber(parser_) + 1));
    std::string why = handler_.Failure().empty() ? XML_ErrorString(XML_GetErrorCode(parser_)) : handler_.Failure();
    *detail = where_ + position + why;
    return Outcome::Failed;
}

ParseRun::Outcome ParseRun::Continue(std::string* detail) {
    constexpr std::size_t kChunk = 1 << 16;
    if (suspended_) {
        suspended_ = false;
        switch (XML_ResumeParser(parser_)) {
            case XML_STATUS_ERROR: return Failure(detail);
            case XML_STATUS_SUSPENDED: suspended_ = true; return Outcome::Suspended;
            default: break;
        }
        if (last_) return Outcome::Finished;
    }
    for (;;) {
        void* buffer = XML_GetBuffer(parser_, kChunk);
        if (!buffer) {
            *detail = where_ + ": out of memory";
            return Outcome::Failed;
        }
        std::size_t got = read_(static_cast<char*>(buffer), kChunk);
        last_ = got < kChunk;
        switch (XML_ParseBuffer(parser_, static_cast<int>(got), last_)) {
            case XML_STATUS_ERROR: return Failure(detail);
            case XML_STATUS_SUSPENDED: suspended_ = true; return Outcome::Suspended;
            default: break;
        }
        if (last_) return Outcome::Finished;
    }
}

}  // namespace dxl_detail

namespace {

using dxl_detail::DxlHandler;
using dxl_detail::ParseRun;

constexpr std::uint64_t kDefaultSplitThreshold = 8u << 20;
// A prolog larger than this (a huge document type) is not copied for the second part.
constexpr std::uint64_t kMaxProlog = 4u << 20;
// How far past the middle a split is sought.
constexpr std::uint64_t kMaxSearch = 16u << 20;

platform::EnvironmentSwitch splitSwitch("QUILLBOX_NOTES_SPLIT_INDEX");
std::atomic<std::uint64_t> splitThreshold{0};  // 0: not set by a test

// QUILLBOX_NOTES_SPLIT_INDEX_MIN_BYTES lowers the threshold for a whole test
// run (every database of a test suite through the split); read once.
std::uint64_t ThresholdFromEnvironment() {
    static const std::uint64_t threshold = [] {
        const char* value = std::getenv("QUILLBOX_NOTES_SPLIT_INDEX_MIN_BYTES");
        char* end = nullptr;
        const unsigned long long bytes = value ? std::strtoull(value, &end, 10) : 0;
        return value && end != value && *end == '\0' && bytes > 0 ? bytes : kDefaultSplitThreshold;
    }();
    return threshold;
}
std::atomic<std::int64_t> searchStart{-1};  // -1: the middle
thread_local DxlIndexSplit lastSplit = DxlIndexSplit::NotTried;

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;
using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool IsNameEnd(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/'; }

// The offset of the first "<document" or "<note" start tag by its bytes at
// or after `from`, within kMaxSearch; nullopt when there is none.
std::optional<std::uint64_t> FindSplitCandidate(int fd, std::uint64_t from, std::uint64_t size) {
    constexpr std::size_t kWindow = 1 << 16;
    constexpr std::size_t kOverlap = 16;  // a tag across the window's end is found in full
    constexpr std::string_view kNames[] = {"<document", "<note"};
    std::string window(kWindow + kOverlap, '\0');
    const std::uint64_t stop = std::min(size, from + kMaxSearch);
    for (std::uint64_t position = from; position < stop; position += kWindow) {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow + kOverlap, size - position));
        std::size_t got = 0;
        while (got < wanted) {
            ssize_t n = ::pread(fd, window.data() + got, wanted - got, static_cast<off_t>(position + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            got += static_cast<std::size_t>(n);
        }
        std::string_view bytes(window.data(), got);
        for (std::size_t at = bytes.find('<'); at != std::string_view::npos && at < kWindow; at = bytes.find('<', at + 1)) {
            for (std::string_view name : kNames) {
                if (bytes.compare(at, name.size(), name) == 0 && at + name.size() < bytes.size() &&
                    IsNameEnd(bytes[at + name.size()]))
                    return position + at;
            }
        }
    }
    return std::nullopt;
}

bool ReadPrefix(int fd, std::uint64_t length, std::string* into) {
    into->resize(static_cast<std::size_t>(length));
    std::size_t got = 0;
    while (got < into->size()) {
        ssize_t n = ::pread(fd, into->data() + got, into->size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// The second part: the file's prolog, then the file from the split to the end.
struct SecondPart {
    NoteIndex index;
    DxlDatabaseInfo info;
    bool complete = false;  // parsed to the end without any fault
};

void IndexSecondPart(const std::string& path, const std::string& prolog, std::uint64_t split,
                     const std::stop_token& stop, SecondPart* part) noexcept {
    try {
        FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
        if (!file || ::fseeko(file.get(), static_cast<off_t>(split), SEEK_SET) != 0) return;
        ParserPtr parser(XML_ParserCreate(nullptr));
        if (!parser) return;
        DxlHandler handler(DxlHandler::Mode::Index, path);
        bool spilled = true;
        std::string spillDetail;
        handler.onEntry = [&](const NoteIndexEntry& entry) {
            if (stop.stop_requested()) return false;
            spilled = part->index.Append(entry, &spillDetail) == LNNOERROR;
            return spilled;
        };
        // The split's byte is prolog.size() into this parse.
        handler.Attach(parser.get(), static_cast<std::int64_t>(prolog.size()) - static_cast<std::int64_t>(split));
        std::size_t prologRead = 0;
        auto read = [&](char* buffer, std::size_t size) {
            std::size_t count = std::min(size, prolog.size() - prologRead);
            std::memcpy(buffer, prolog.data() + prologRead, count);
            prologRead += count;
            if (count < size) count += std::fread(buffer + count, 1, size - count, file.get());
            return count;
        };
        std::string ignored;
        if (ParseRun(parser.get(), handler, read, path).Continue(&ignored) != ParseRun::Outcome::Finished) return;
        if (!spilled || std::ferror(file.get())) return;
        part->info = std::move(handler.info);
        part->complete = true;
    } catch (...) {
        part->complete = false;
    }
}

// Called with the first parser suspended just after the root's start tag.
// Either builds the rest of the index from two parts (and returns Finished),
// or goes on with the first parser alone.
ParseRun::Outcome IndexRestInTwoParts(const std::string& path, int fd, std::uint64_t size, ParseRun& run,
                                      DxlHandler& handler, NoteIndex& index, std::string* detail) {
    const std::uint64_t rootEnd = handler.RootEnd();
    if (handler.RootIsNote() || rootEnd == 0 || rootEnd > kMaxProlog) return run.Continue(detail);
    const std::int64_t forced = searchStart.load(std::memory_order_relaxed);
    const std::uint64_t from = std::max<std::uint64_t>(forced >= 0 ? static_cast<std::uint64_t>(forced) : size / 2, rootEnd);
    const std::optional<std::uint64_t> split = FindSplitCandidate(fd, from, size);
    std::string prolog;
    if (!split || !ReadPrefix(fd, rootEnd, &prolog)) return run.Continue(detail);

    SecondPart second;
    std::jthread worker;
    try {
        worker = std::jthread([&](std::stop_token stop) { IndexSecondPart(path, prolog, *split, stop, &second); });
    } catch (const std::system_error&) {
        return run.Continue(detail);
    }
    lastSplit = DxlIndexSplit::Discarded;
    handler.PauseAt(*split);
    ParseRun::Outcome outcome = run.Continue(detail);
    if (outcome != ParseRun::Outcome::Suspended || !handler.PausedBetweenNotes()) worker.request_stop();
    worker.join();
    if (outcome == ParseRun::Outcome::Suspended && handler.PausedBetweenNotes() && second.complete &&
        second.info.acl.empty()) {
        std::string ignored;
        if (index.AppendIndex(std::move(second.index), &ignored) == LNNOERROR) {
            // A database element without a replica id takes the first note's.
            if (handler.info.replicaId.empty()) handler.info.replicaId = second.info.replicaId;
            lastSplit = DxlIndexSplit::Used;
            return ParseRun::Outcome::Finished;
        }
    }
    while (outcome == ParseRun::Outcome::Suspended) outcome = run.Continue(detail);
    return outcome;
}

}  // namespace

bool DxlIndexSplitEnabled() { return splitSwitch.Enabled(); }
void SetDxlIndexSplitEnabled(std::optional<bool> enabled) { splitSwitch.Force(enabled); }
std::uint64_t DxlIndexSplitThreshold() {
    const std::uint64_t forced = splitThreshold.load(std::memory_order_relaxed);
    return forced > 0 ? forced : ThresholdFromEnvironment();
}
void SetDxlIndexSplitThreshold(std::optional<std::uint64_t> bytes) {
    splitThreshold.store(bytes ? std::max<std::uint64_t>(*bytes, 1) : 0, std::memory_order_relaxed);
}
void SetDxlIndexSplitSearchStart(std::optional<std::uint64_t> offset) {
    searchStart.store(offset ? static_cast<std::int64_t>(*offset) : -1, std::memory_order_relaxed);
}
DxlIndexSplit LastDxlIndexSplit() { return lastSplit; }

LNSTATUS IndexDxlFile(const std::string& path, DxlDatabaseInfo* info, NoteIndex* notes, std::string* detail) {
    lastSplit = DxlIndexSplit::NotTried;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *detail = path + ": " + std::strerror(errno);
        return errno == ENOENT ? LNERR_FILE_NOT_FOUND : LNERR_FILE_READ;
    }
    FilePtr closer(file, &std::fclose);
    ParserPtr parser(XML_ParserCreate(nullptr));
    DxlHandler handler(DxlHandler::Mode::Index, path);
    NoteIndex index;
    LNSTATUS spillStatus = LNNOERROR;
    std::string spillDetail;
    handler.onEntry = [&](const NoteIndexEntry& entry) {
        spillStatus = index.Append(entry, &spillDetail);
        return spillStatus == LNNOERROR;
    };
    handler.Attach(parser.get(), 0);
    ParseRun run(parser.get(), handler,
                 [&](char* buffer, std::size_t size) { return std::fread(buffer, 1, size, file); }, path);
    struct stat about {};
    const bool twoParts = DxlIndexSplitEnabled() && ::fstat(::fileno(file), &about) == 0 &&
                          static_cast<std::uint64_t>(about.st_size) >= DxlIndexSplitThreshold();
    if (twoParts) handler.PauseAfterRoot();
    ParseRun::Outcome outcome = run.Continue(detail);
    if (outcome == ParseRun::Outcome::Suspended)
        outcome = IndexRestInTwoParts(path, ::fileno(file), static_cast<std::uint64_t>(about.st_size), run, handler,
                                      index, detail);
    if (spillStatus != LNNOERROR) {
        *detail = path + ": " + spillDetail;
        return spillStatus;
    }
    if (outcome != ParseRun::Outcome::Finished) return LNERR_BAD_DXL;
    if (std::ferror(file)) {
        *detail = path + ": read error";
        return LNERR_FILE_READ;
    }
    std::string encoding = handler.info.encoding;
    for (char& c : encoding) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (encoding.rfind("utf-16", 0) == 0) {
        *detail = path + ": UTF-16 DXL is not supported; export as UTF-8";
        return LNERR_UNSUPPORTED;
    }
    if (LNSTATUS finished = index.Finish(path, &spillDetail)) {
        *detail = path + ": " + spillDetail;
        return finished;
    }
    *info = std::move(handler.info);
    *notes = std::move(index);
    return LNNOERROR;
}

}  // namespace qb::notes

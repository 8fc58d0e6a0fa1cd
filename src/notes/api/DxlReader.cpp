// The DXL reader's passes but the indexing of a whole file (DxlIndexing.cpp):
// reading one note again from its byte range (attachment data cut out), the
// title probe and parsing a DXL text held in memory. The SAX handler that does the work
// is in DxlNoteHandler.cpp.

#include "notes/api/DxlReader.h"
#include <expat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#include "notes/api/DxlReaderInternal.h"
#include "notes/api/NoteIndex.h"

namespace qb::notes {
namespace {

using dxl_detail::Attribute;
using dxl_detail::DxlHandler;
using dxl_detail::LocalName;
using dxl_detail::ParseRun;

constexpr const char* kWrapperOpen = "<qbfragment xmlns='http://www.lotus.com/dxl'>";
constexpr const char* kWrapperClose = "</qbfragment>";

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

void AssignMissingIds(std::vector<NoteIndexEntry>& entries, const std::string& seed) {
    std::vector<NOTEID> ids;
    ids.reserve(entries.size());
    for (const NoteIndexEntry& entry : entries) ids.push_back(entry.noteId);
    AssignUniqueIds(ids);
    const std::uint32_t unidSeed = UnidSeed(seed);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].noteId = ids[i];
        if (entries[i].unid[0] == '\0') entries[i].unid = SynthesizedUnid(unidSeed, ids[i]);
    }
}

}  // namespace

bool LooksLikeNativeNsf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[2] = {0, 0};
    in.read(head, 2);
    return in.gcount() == 2 && head[0] == 0x1A && head[1] == 0x00;
}

namespace {

struct TitleProbe {
    XML_Parser parser = nullptr;
    std::string title;
};

void XMLCALL ProbeStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* probe = static_cast<TitleProbe*>(data);
    if (LocalName(name) == "database")
        if (const char* title = Attribute(attributes, "title")) probe->title = title;
    XML_StopParser(probe->parser, XML_FALSE);
}

}  // namespace

std::string ReadDxlTitle(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    ParserPtr parser(XML_ParserCreate(nullptr));
    TitleProbe probe;
    probe.parser = parser.get();
    XML_SetUserData(parser.get(), &probe);
    XML_SetStartElementHandler(parser.get(), &ProbeStart);
    char buffer[4096];
    while (in) {
        in.read(buffer, sizeof buffer);
        std::streamsize got = in.gcount();
        if (XML_Parse(parser.get(), buffer, static_cast<int>(got), got == 0) != XML_STATUS_OK) break;
        if (got == 0) break;
    }
    return probe.title;
}

namespace {

// Parses one note's element. The fragment may have had attachment data cut
// out (`skipped`, file ranges in order): those ranges become the file
// objects' content, so the data is never parsed twice.
// The DOCTYPE that declares the file's own entities again for a note read alone.
std::string FragmentPrologue(const std::string& entityDeclarations) {
    return entityDeclarations.empty() ? std::string() : "<!DOCTYPE qbfragment [" + entityDeclarations + "]>";
}

LNSTATUS ParseFragment(XML_Parser reusable, const std::string& path, const std::shared_ptr<const DxlFile>& file,
                       const std::string& encoding, std::string_view prologue, std::string_view fragment,
                       std::uint64_t start, const std::vector<ByteRange>& skipped, NoteData* note,
                       std::string* detail) {
    struct NoFree {
        void operator()(XML_ParserStruct*) const {}
    };
    std::unique_ptr<XML_ParserStruct, NoFree> borrowed(reusable);
    ParserPtr owned;
    if (!reusable) owned.reset(XML_ParserCreate(encoding.empty() ? nullptr : encoding.c_str()));
    auto parser = [&] { return reusable ? borrowed.get() : owned.get(); };
    DxlHandler handler(DxlHandler::Mode::Full, path);
    handler.SetSkippedRanges(&skipped);
    handler.SetFile(file);
    // Offsets inside the fragment map back onto the file.
    handler.Attach(parser(), static_cast<std::int64_t>(prologue.size() + std::strlen(kWrapperOpen)) -
                                 static_cast<std::int64_t>(start));
    std::string_view pieces[] = {prologue, kWrapperOpen, fragment, kWrapperClose};
    for (int i = 0; i < 4; ++i) {
        if (XML_Parse(parser(), pieces[i].data(), static_cast<int>(pieces[i].size()), i == 3) != XML_STATUS_OK) {
            char position[80];
            std::snprintf(position, sizeof position, ", note at offset %llu, line %lu, column %lu: ",
                          static_cast<unsigned long long>(start),
                          static_cast<unsigned long>(XML_GetCurrentLineNumber(parser())),
                          static_cast<unsigned long>(XML_GetCurrentColumnNumber(parser()) + 1));
            std::string why =
                handler.Failure().empty() ? XML_ErrorString(XML_GetErrorCode(parser())) : handler.Failure();
            *detail = path + position + why;
            return LNERR_BAD_DXL;
        }
    }
    if (handler.notes.size() != 1) {
        *detail = path + ": the note at offset " + std::to_string(start) + " is not where the index put it";
        return LNERR_BAD_DXL;
    }
    *note = std::move(handler.notes[0]);
    return LNNOERROR;
}

}  // namespace

DxlNoteReader::DxlNoteReader(std::string path, std::string encoding, std::string entityDeclarations)
    : path_(std::move(path)), encoding_(std::move(encoding)), prologue_(FragmentPrologue(entityDeclarations)) {
    file_ = DxlFile::Open(path_, &openError_);
    std::random_device random;
    salt_ = random();
}

DxlNoteReader::~DxlNoteReader() {
    if (parser_) XML_ParserFree(parser_);
}

bool DxlNoteReader::ReadRange(std::uint64_t offset, std::uint64_t length) {
    std::size_t old = buffer_.size();
    buffer_.resize(old + length);
    return file_->ReadAt(offset, buffer_.data() + old, static_cast<std::size_t>(length));
}

LNSTATUS DxlNoteReader::Read(const NoteIndexEntry& entry, NoteData* note, std::string* detail) {
    if (!file_) {
        *detail = path_ + ": " + std::strerror(openError_);
        return LNERR_FILE_READ;
    }
    // The note's bytes, leaving out attachment data.
    buffer_.clear();
    std::uint64_t position = entry.start;
    bool ok = entry.end >= entry.start;
    for (const ByteRange& range : entry.skipped) {
        if (!ok || range.offset < position || range.offset + range.length > entry.end) {
            ok = false;
            break;
        }
        ok = ReadRange(position, range.offset - position);
        position = range.offset + range.length;
    }
    ok = ok && ReadRange(position, entry.end - position);
    if (!ok) {
        *detail = path_ + ": the file changed since it was opened";
        return LNERR_FILE_READ;
    }
    // One parser serves every note; a fixed salt per reader saves expat from
    // asking the system for randomness each time.
    if (!parser_) parser_ = XML_ParserCreate(encoding_.empty() ? nullptr : encoding_.c_str());
    else XML_ParserReset(parser_, encoding_.empty() ? nullptr : encoding_.c_str());
    if (!parser_) {
        *detail = path_ + ": out of memory";
        return LNERR_BAD_DXL;
    }
    XML_SetHashSalt(parser_, salt_);
    LNSTATUS status = ParseFragment(parser_, path_, file_, encoding_, prologue_, buffer_, entry.start, entry.skipped, note, detail);
    if (buffer_.capacity() > (1u << 20)) std::string().swap(buffer_);
    if (status != LNNOERROR) return status;
    note->noteId = entry.noteId;
    note->unid = entry.Unid();
    note->noteClass = entry.noteClass;
    return LNNOERROR;
}

LNSTATUS ParseDxlNote(const std::string& path, const DxlDatabaseInfo& info, const NoteIndexEntry& entry,
                      NoteData* note, std::string* detail) {
    DxlNoteReader reader(path, info.encoding, info.entityDeclarations);
    return reader.Read(entry, note, detail);
}

LNSTATUS ParseDxlText(const std::string& text, DxlDatabaseInfo* info, std::vector<NoteData>* notes,
                      std::string* detail) {
    ParserPtr parser(XML_ParserCreate(nullptr));
    DxlHandler handler(DxlHandler::Mode::Index, "");
    handler.Attach(parser.get(), 0);
    std::size_t position = 0;
    auto reader = [&](char* buffer, std::size_t size) {
        std::size_t count = std::min(size, text.size() - position);
        std::memcpy(buffer, text.data() + position, count);
        position += count;
        return count;
    };
    if (ParseRun(parser.get(), handler, reader, "text").Continue(detail) != ParseRun::Outcome::Finished)
        return LNERR_BAD_DXL;
    LNSTATUS status = LNNOERROR;
    AssignMissingIds(handler.entries, "text");
    notes->clear();
    const std::string prologue = FragmentPrologue(handler.info.entityDeclarations);
    for (const NoteIndexEntry& entry : handler.entries) {
        NoteData note;
        std::string fragment = text.substr(entry.start, entry.end - entry.start);
        status = ParseFragment(nullptr, "", nullptr, handler.info.encoding, prologue, fragment,
                               entry.start, {}, &note, detail);
        if (status != LNNOERROR) return status;
        notes->push_back(std::move(note));
    }
    *info = std::move(handler.info);
    return LNNOERROR;
}

}  // namespace qb::notes

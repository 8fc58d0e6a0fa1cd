#pragma once
// What the DXL reader's files share: attribute helpers, the note's table of
// named fonts, the builder of formatted rich text and the SAX handler that
// turns a note's elements into items. Private to src/notes/api/Dxl*.cpp.
//
// The handler runs in two modes: Index keeps summary items and the byte
// ranges of attachment data, Full keeps every item of the note.

#include <expat.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "notes/api/DxlReader.h"
#include "notes/api/RichTextRecords.h"

namespace qb::notes::dxl_detail {

inline std::string_view LocalName(const XML_Char* name) {
    std::string_view view(name);
    std::size_t colon = view.rfind(':');
    return colon == std::string_view::npos ? view : view.substr(colon + 1);
}

inline const char* Attribute(const XML_Char** attributes, std::string_view name) {
    for (int i = 0; attributes[i]; i += 2)
        if (LocalName(attributes[i]) == name) return attributes[i + 1];
    return nullptr;
}

inline bool AttributeTrue(const XML_Char** attributes, std::string_view name) {
    const char* value = Attribute(attributes, name);
    return value && (std::strcmp(value, "true") == 0 || std::strcmp(value, "1") == 0);
}

// Font names of one note that are not standard faces: face 5 is the first
// ($Fonts, CDFONTTABLE).
class NoteFontTable {
public:
    std::uint8_t FaceOf(const std::string& name) {
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == name) return static_cast<std::uint8_t>(FONT_FACE_FIRST_TABLE + i);
        if (names_.size() >= 0xFF - FONT_FACE_FIRST_TABLE) return FONT_FACE_SWISS;
        names_.push_back(name.substr(0, kFontFaceNameSize - 1));
        return static_cast<std::uint8_t>(FONT_FACE_FIRST_TABLE + names_.size() - 1);
    }
    bool Empty() const { return names_.empty(); }
    std::string Records() const {
        CdRecordWriter writer;
        writer.FontTable(names_);
        return writer.Take();
    }
    void Clear() { names_.clear(); }

private:
    std::vector<std::string> names_;
};

// Builds CD records from formatted rich text (<richtext>).
class RichTextBuilder {
public:
    explicit RichTextBuilder(NoteFontTable& noteFonts) : noteFonts_(noteFonts) {}
    void Start(std::string_view element, const XML_Char** attributes);
    void End(std::string_view element);
    void Characters(std::string_view text);
    std::string Take() {
        FlushText();
        return writer_.Take();
    }

private:
    void FlushText();
    FontId ParseFont(const XML_Char** attributes, FontId font);

    NoteFontTable& noteFonts_;
    CdRecordWriter writer_;
    std::vector<FontId> fonts_{FontId{}};
    std::string pending_;
    bool inPicture_ = false;
    std::string imageElement_;
    std::string imageBase64_;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    int skipDepth_ = 0;  // inside elements whose text is not body text
    bool paragraphOpen_ = false;
};

// What the SAX handler is collecting inside one <item>.
struct ItemCollector {
    ItemData item;
    bool skip = false;  // not kept in this pass
    bool sawTextList = false, sawNumberList = false, sawDatetimeList = false;
    std::vector<std::string> texts;
    std::vector<double> numbers;
    std::vector<LNDatetime> times;
    std::vector<std::pair<LNDatetime, LNDatetime>> pairs;
    std::vector<LNDatetime> pairBuffer;
    bool inPair = false;
    std::vector<std::string> unids;
    std::string chars;
    bool collecting = false;
    bool dst = false;
    std::optional<LNITEMTYPE> rawType;
    bool formula = false, formulaCompiled = false;
    bool richText = false;
    std::unique_ptr<RichTextBuilder> rich;
    int richDepth = 0;
    // File object.
    bool inObject = false;
    std::shared_ptr<FileObject> file;
    std::string fileDateKind;
    std::uint64_t fileDataStart = 0;
    bool inFileData = false;
    std::string failure;
};

class DxlHandler {
public:
    enum class Mode { Index, Full };

    DxlHandler(Mode mode, std::string path) : mode_(mode), path_(std::move(path)) {}

    // Index mode results. With onEntry set, each note's entry goes there
    // instead of into entries; it returns false to stop the pass.
    DxlDatabaseInfo info;
    std::vector<NoteIndexEntry> entries;
    std::function<bool(const NoteIndexEntry&)> onEntry;
    // Full mode result.
    std::vector<NoteData> notes;

    void Attach(XML_Parser parser, std::int64_t offsetBase) {
        parser_ = parser;
        offsetBase_ = offsetBase;
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &DxlHandler::OnStart, &DxlHandler::OnEnd);
        XML_SetCharacterDataHandler(parser, &DxlHandler::OnChars);
        XML_SetXmlDeclHandler(parser, &DxlHandler::OnDecl);
        XML_SetEntityDeclHandler(parser, &DxlHandler::OnEntityDecl);
    }
    const std::string& Failure() const { return failure_; }

    // Indexing in two parts (DxlIndexing.cpp): the parser is suspended after
    // the root element's start tag, and at the first element that starts at
    // or after an offset.
    void PauseAfterRoot() { pauseAfterRoot_ = true; }
    void PauseAt(std::uint64_t offset) {
        pauseAt_ = offset;
        pausedBetweenNotes_ = false;
    }
    // File offset just past the root element's start tag; 0 before it.
    std::uint64_t RootEnd() const { return rootEnd_; }
    bool RootIsNote() const { return rootIsNote_; }
    // Whether the element paused at starts exactly at the offset given to
    // PauseAt, as a child of the root, outside any note, with no state of the
    // notes before it open, and has not ended during the pause (expat
    // reports the end of an empty element at once): where a handler started
    // afresh on the root's start tag followed by that element would stand.
    bool PausedBetweenNotes() const { return pausedBetweenNotes_ && !pausedElementEnded_; }
    void SetSkippedRanges(const std::vector<ByteRange>* ranges) { skippedRanges_ = ranges; }
    // The open file the note is read from: its file objects read their data through it.
    void SetFile(std::shared_ptr<const DxlFile> file) { file_ = std::move(file); }

private:
    static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<DxlHandler*>(self)->Start(LocalName(name), attributes);
    }
    static void XMLCALL OnEnd(void* self, const XML_Char* name) { static_cast<DxlHandler*>(self)->End(LocalName(name)); }
    static void XMLCALL OnChars(void* self, const XML_Char* text, int length) {
        static_cast<DxlHandler*>(self)->Characters(std::string_view(text, static_cast<std::size_t>(length)));
    }
    static void XMLCALL OnDecl(void* self, const XML_Char*, const XML_Char* encoding, int) {
        if (encoding) static_cast<DxlHandler*>(self)->info.encoding = encoding;
    }

    static void XMLCALL OnEntityDecl(void* self, const XML_Char* name, int isParameterEntity, const XML_Char* value,
                                     int valueLength, const XML_Char*, const XML_Char*, const XML_Char*,
                                     const XML_Char*) {
        // Only internal general entities are kept; external ones stay unresolved.
        if (isParameterEntity || !value) return;
        static_cast<DxlHandler*>(self)->DeclareEntity(name, std::string_view(value, static_cast<std::size_t>(valueLength)));
    }
    void DeclareEntity(std::string_view name, std::string_view value);

    void Stop(const std::string& why) {
        if (failure_.empty()) failure_ = why;
        XML_StopParser(parser_, XML_FALSE);
    }
    std::uint64_t Offset() const { return static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser_) - offsetBase_); }
    std::uint64_t OffsetAfterEvent() const { return Offset() + static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser_)); }

    void Start(std::string_view element, const XML_Char** attributes);
    void StartElement(std::string_view element, const XML_Char** attributes);
    bool BetweenNotes() const;
    void End(std::string_view element);
    void Characters(std::string_view text);

    void StartNote(std::string_view element, const XML_Char** attributes);
    void EndNote();
    void StartItem(const XML_Char** attributes);
    void EndItem();
    void StartValue(std::string_view element, const XML_Char** attributes);
    void EndValue(std::string_view element);
    void AddItem(ItemData item);
    void AddSynthesized(const std::string& name, LNITEMTYPE type, Bytes value);

    Mode mode_;
    std::string path_;
    XML_Parser parser_ = nullptr;
    std::int64_t offsetBase_ = 0;
    std::string failure_;
    int depth_ = 0;
    int noteDepth_ = -1;  // depth of the open note element, -1 outside
    std::string noteElement_;
    NoteIndexEntry entry_;
    NoteData note_;
    std::vector<std::string> noteItemNames_;
    NoteFontTable noteFonts_;  // named fonts of the note's formatted rich text
    std::unique_ptr<ItemCollector> item_;
    int itemDepth_ = -1;
    // Note-level elements outside items.
    std::string noteInfoDate_;  // "created" / "modified" while inside noteinfo
    bool inNoteInfo_ = false;
    bool inNoteInfoDatetime_ = false;
    bool noteInfoDateDst_ = false;
    std::string noteInfoChars_;
    bool inSelection_ = false;
    bool inSelectionFormula_ = false;
    std::string selection_;
    bool sawSelection_ = false;
    bool sawSortColumn_ = false;
    std::string formAttribute_;
    std::string parentUnid_;
    bool inAcl_ = false;
    const std::vector<ByteRange>* skippedRanges_ = nullptr;
    std::shared_ptr<const DxlFile> file_;
    std::size_t nextSkipped_ = 0;
    // Pauses of an indexing in two parts.
    bool pauseAfterRoot_ = false;
    std::optional<std::uint64_t> pauseAt_;
    std::uint64_t rootEnd_ = 0;
    bool rootIsNote_ = false;
    int pausedDepth_ = -1;
    bool pausedBetweenNotes_ = false;
    bool pausedElementEnded_ = false;
};

// Feeds a stream to a parser until the parse ends, fails or a handler
// suspends it; on a syntax error the detail is "where, line L, column C:
// message" (or the handler's own failure).
class ParseRun {
public:
    enum class Outcome { Finished, Suspended, Failed };
    using Reader = std::function<std::size_t(char*, std::size_t)>;

    ParseRun(XML_Parser parser, const DxlHandler& handler, Reader read, std::string where)
        : parser_(parser), handler_(handler), read_(std::move(read)), where_(std::move(where)) {}
    // Parses on from where the parse was suspended (or from the start).
    Outcome Continue(std::string* detail);

private:
    Outcome Failure(std::string* detail) const;

    XML_Parser parser_;
    const DxlHandler& handler_;
    Reader read_;
    std::string where_;
    bool suspended_ = false;
    bool last_ = false;  // the buffer last given was the end of the stream
};

}  // namespace qb::notes::dxl_detail

#include "notes/api/DxlReader.h"

#include <expat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>

#include "notes/api/Lmbcs.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/render/NotesStyles.h"

namespace qb::notes {
namespace {

constexpr int kMaxDepth = 2000;
constexpr const char* kWrapperOpen = "<qbfragment xmlns='http://www.lotus.com/dxl'>";
constexpr const char* kWrapperClose = "</qbfragment>";

std::string_view LocalName(const XML_Char* name) {
    std::string_view view(name);
    std::size_t colon = view.rfind(':');
    return colon == std::string_view::npos ? view : view.substr(colon + 1);
}

const char* Attribute(const XML_Char** attributes, std::string_view name) {
    for (int i = 0; attributes[i]; i += 2)
        if (LocalName(attributes[i]) == name) return attributes[i + 1];
    return nullptr;
}

bool AttributeTrue(const XML_Char** attributes, std::string_view name) {
    const char* value = Attribute(attributes, name);
    return value && (std::strcmp(value, "true") == 0 || std::strcmp(value, "1") == 0);
}

LNNOTECLASS ClassOfElement(std::string_view element) {
    if (element == "document") return NOTE_CLASS_DOCUMENT;
    if (element == "view" || element == "folder") return NOTE_CLASS_VIEW;
    if (element == "form" || element == "subform") return NOTE_CLASS_FORM;
    if (element == "agent") return NOTE_CLASS_FILTER;
    if (element == "sharedfield") return NOTE_CLASS_FIELD;
    return 0;
}

LNNOTECLASS ClassOfNoteAttribute(std::string_view value) {
    if (value == "document") return NOTE_CLASS_DOCUMENT;
    if (value == "info") return NOTE_CLASS_INFO;
    if (value == "form") return NOTE_CLASS_FORM;
    if (value == "view") return NOTE_CLASS_VIEW;
    if (value == "icon") return NOTE_CLASS_ICON;
    if (value == "design") return NOTE_CLASS_DESIGN;
    if (value == "acl") return NOTE_CLASS_ACL;
    if (value == "helpindex") return NOTE_CLASS_HELP_INDEX;
    if (value == "help") return NOTE_CLASS_HELP;
    if (value == "filter" || value == "agent") return NOTE_CLASS_FILTER;
    if (value == "field" || value == "fieldtemplate") return NOTE_CLASS_FIELD;
    if (value == "replformula") return NOTE_CLASS_REPLFORMULA;
    if (value == "privatedesign") return NOTE_CLASS_PRIVATE;
    return NOTE_CLASS_DOCUMENT;
}

int AccessLevel(std::string_view text) {
    static const char* kLevels[] = {"noaccess", "depositor", "reader", "author", "editor", "designer", "manager"};
    for (int i = 0; i < 7; ++i)
        if (text == kLevels[i]) return i;
    return 0;
}

bool IsNotSummaryType(LNITEMTYPE type) {
    return type == TYPE_COMPOSITE || type == TYPE_MIME_PART || type == TYPE_OBJECT;
}

// The COLLATION layout of $Collation: WORD size, WORD count, BYTE flags,
// BYTE signature 'D', then per column BYTE flags (0x01 descending), BYTE
// signature 0x66, BYTE key type (0 item), WORD name offset, WORD name length,
// then the names.
Bytes CollationFor(const std::string& itemName, bool descending) {
    Bytes out;
    std::size_t size = 6 + 7 + itemName.size();
    PutWord(out, static_cast<std::uint16_t>(size));
    PutWord(out, 1);
    out.push_back('\0');
    out.push_back('D');
    out.push_back(static_cast<char>(descending ? 0x01 : 0x00));
    out.push_back(static_cast<char>(0x66));
    out.push_back('\0');
    PutWord(out, 0);
    PutWord(out, static_cast<std::uint16_t>(itemName.size()));
    out += itemName;
    return out;
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

// Raw values keep Notes text in LMBCS; values of this layer hold UTF-8.
void TextValuesToUtf8(ItemData& item) {
    if (item.type == TYPE_COMPOSITE) {
        item.value = RichTextToUtf8(item.value);
    } else if (item.type == TYPE_TEXT) {
        item.value = NotesTextToUtf8(item.value);
    } else if (item.type == TYPE_TEXT_LIST) {
        std::vector<std::string> texts;
        if (DecodeTextList(item.value, &texts) != LNNOERROR) return;
        bool changed = false;
        for (std::string& text : texts)
            if (LooksLikeLmbcs(text)) text = LmbcsToUtf8(text), changed = true;
        if (changed) item.value = EncodeTextList(texts);
    }
}

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

FontId RichTextBuilder::ParseFont(const XML_Char** attributes, FontId font) {
    if (const char* style = Attribute(attributes, "style")) {
        std::string_view styles(style);
        font.attributes = 0;
        if (styles.find("bold") != std::string_view::npos) font.attributes |= FONT_BOLD;
        if (styles.find("italic") != std::string_view::npos) font.attributes |= FONT_ITALIC;
        if (styles.find("underline") != std::string_view::npos) font.attributes |= FONT_UNDERLINE;
        if (styles.find("strikethrough") != std::string_view::npos) font.attributes |= FONT_STRIKEOUT;
        if (styles.find("superscript") != std::string_view::npos) font.attributes |= FONT_SUPERSCRIPT;
        if (styles.find("subscript") != std::string_view::npos) font.attributes |= FONT_SUBSCRIPT;
    }
    if (const char* color = Attribute(attributes, "color")) font.color = render::NearestNotesColour(render::ColourFromText(color));
    if (const char* size = Attribute(attributes, "size")) {
        int points = std::atoi(size);
        if (points > 0 && points < 256) font.pointSize = static_cast<std::uint8_t>(points);
    }
    if (const char* name = Attribute(attributes, "name")) {
        // The standard faces by their usual names; any other font by name.
        std::string_view face(name);
        if (face.find("Courier") != std::string_view::npos || face.find("mono") != std::string_view::npos ||
            face == "Default Monospace")
            font.face = FONT_FACE_TYPEWRITER;
        else if (face.find("Times") != std::string_view::npos || face.find("serif") == 0 || face == "Default Serif" ||
                 face == "Tms Rmn")
            font.face = FONT_FACE_ROMAN;
        else if (face.empty() || face == "Default Sans Serif" || face == "Arial" || face == "Helvetica" ||
                 face == "Helv" || face == "sans-serif")
            font.face = FONT_FACE_SWISS;
        else
            font.face = noteFonts_.FaceOf(std::string(face));
    }
    return font;
}

void RichTextBuilder::FlushText() {
    if (pending_.empty()) return;
    writer_.Text(fonts_.back(), pending_);
    pending_.clear();
}

void RichTextBuilder::Start(std::string_view element, const XML_Char** attributes) {
    if (skipDepth_ > 0) {
        ++skipDepth_;
        return;
    }
    if (inPicture_) {
        if (element == "gif" || element == "jpeg" || element == "png" || element == "bmp" || element == "notesbitmap") {
            imageElement_ = element;
            imageBase64_.clear();
        } else {
            ++skipDepth_;
        }
        return;
    }
    if (element == "par") {
        FlushText();
        writer_.Paragraph();
        if (const char* def = Attribute(attributes, "def"))
            writer_.ParagraphStyleReference(static_cast<std::uint16_t>(std::atoi(def)));
        paragraphOpen_ = true;
    } else if (element == "pardef") {
        FlushText();
        std::uint16_t id = static_cast<std::uint16_t>(std::atoi(Attribute(attributes, "id") ? Attribute(attributes, "id") : "0"));
        const char* align = Attribute(attributes, "align");
        std::uint16_t justify = 0;
        if (align) {
            std::string_view a(align);
            justify = a == "right" ? 1 : a == "full" ? 2 : a == "center" ? 3 : 0;
        }
        writer_.ParagraphStyle(id, justify);
    } else if (element == "run") {
        FlushText();
        fonts_.push_back(fonts_.back());
    } else if (element == "font") {
        FlushText();
        fonts_.back() = ParseFont(attributes, fonts_.back());
    } else if (element == "break") {
        pending_.push_back('\0');
    } else if (element == "tab") {
        pending_.push_back('\t');
    } else if (element == "tablecell" || element == "tablerow") {
        FlushText();
    } else if (element == "doclink" || element == "viewlink" || element == "databaselink") {
        FlushText();
        Bytes link;
        Bytes part;
        const char* replica = Attribute(attributes, "database");
        std::string replicaText = replica ? replica : "";
        if (replicaText.size() == 16) {
            // A replica id is a TIMEDATE written as two 8-digit words, high first.
            Bytes unid;
            if (UnidFromText(replicaText + std::string(16, '0'), &unid)) link += unid.substr(0, 8);
        }
        link.resize(8, '\0');
        for (const char* name : {"view", "document"}) {
            const char* unid = Attribute(attributes, name);
            if (unid && UnidFromText(unid, &part))
                link += part;
            else
                link += std::string(16, '\0');
        }
        const char* description = Attribute(attributes, "description");
        const char* server = Attribute(attributes, "server");
        writer_.Link(link, description ? description : "", server ? server : "");
        ++skipDepth_;
    } else if (element == "picture") {
        FlushText();
        inPicture_ = true;
        imageElement_.clear();
        imageBase64_.clear();
        const char* width = Attribute(attributes, "width");
        const char* height = Attribute(attributes, "height");
        pictureWidth_ = width ? std::atoi(width) : 0;
        pictureHeight_ = height ? std::atoi(height) : 0;
    } else if (element == "attachmentref") {
        FlushText();
        const char* name = Attribute(attributes, "name");
        const char* shown = Attribute(attributes, "displayname");
        std::string data = name ? name : "";
        data.push_back('\0');
        data += shown ? shown : data.substr(0, data.size() - 1);
        data.push_back('\0');
        writer_.HotspotBegin(4, 0, data);
        writer_.HotspotEnd();
        ++skipDepth_;
    } else if (element == "urllink") {
        FlushText();
        const char* href = Attribute(attributes, "href");
        std::string data = href ? href : "";
        data.push_back('\0');
        writer_.HotspotBegin(7, 0, data);
        fonts_.push_back(fonts_.back());
    } else if (element == "objectref") {
        FlushText();
        const char* name = Attribute(attributes, "name");
        const char* cls = Attribute(attributes, "class");
        writer_.OleObject(name ? name : "", cls ? cls : "");
        ++skipDepth_;
    } else if (element == "computedtext" || element == "code" || element == "sectiontitle" || element == "imagemap" || element == "region" || element == "caption") {
        ++skipDepth_;
    }
}

void RichTextBuilder::End(std::string_view element) {
    if (skipDepth_ > 0) {
        --skipDepth_;
        return;
    }
    if (inPicture_) {
        if (element == "picture") {
            inPicture_ = false;
            static const std::pair<const char*, std::uint16_t> kTypes[] = {
                {"gif", CDIMAGETYPE_GIF}, {"jpeg", CDIMAGETYPE_JPEG}, {"bmp", CDIMAGETYPE_BMP}, {"png", CDIMAGETYPE_PNG},
                {"notesbitmap", IMAGETYPE_NOTES_BITMAP}};
            Bytes image;
            std::uint16_t type = 0;
            for (const auto& [name, code] : kTypes)
                if (imageElement_ == name) type = code;
            if (type != 0 && DecodeBase64(imageBase64_, &image))
                writer_.Graphic(type, static_cast<std::uint16_t>(pictureWidth_),
                                static_cast<std::uint16_t>(pictureHeight_), image);
            imageBase64_.clear();
            imageBase64_.shrink_to_fit();
        }
        return;
    }
    if (element == "run" || element == "urllink") {
        FlushText();
        if (fonts_.size() > 1) fonts_.pop_back();
        if (element == "urllink") writer_.HotspotEnd();
    } else if (element == "par" || element == "tablecell") {
        FlushText();
        paragraphOpen_ = false;
    }
}

void RichTextBuilder::Characters(std::string_view text) {
    if (skipDepth_ > 0) return;
    if (inPicture_) {
        if (!imageElement_.empty()) imageBase64_.append(text);
        return;
    }
    if (!paragraphOpen_) {
        // Text outside any paragraph: only whitespace between elements is
        // expected there; real text gets a paragraph of its own.
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return;
        writer_.Paragraph();
        paragraphOpen_ = true;
    }
    pending_.append(text);
}

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

    // Index mode results.
    DxlDatabaseInfo info;
    std::vector<NoteIndexEntry> entries;
    // Full mode result.
    std::vector<NoteData> notes;

    void Attach(XML_Parser parser, std::int64_t offsetBase) {
        parser_ = parser;
        offsetBase_ = offsetBase;
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &DxlHandler::OnStart, &DxlHandler::OnEnd);
        XML_SetCharacterDataHandler(parser, &DxlHandler::OnChars);
        XML_SetXmlDeclHandler(parser, &DxlHandler::OnDecl);
    }
    const std::string& Failure() const { return failure_; }
    void SetSkippedRanges(const std::vector<ByteRange>* ranges) { skippedRanges_ = ranges; }

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

    void Stop(const std::string& why) {
        if (failure_.empty()) failure_ = why;
        XML_StopParser(parser_, XML_FALSE);
    }
    std::uint64_t Offset() const { return static_cast<std::uint64_t>(XML_GetCurrentByteIndex(parser_) - offsetBase_); }
    std::uint64_t OffsetAfterEvent() const { return Offset() + static_cast<std::uint64_t>(XML_GetCurrentByteCount(parser_)); }

    void Start(std::string_view element, const XML_Char** attributes);
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
    std::size_t nextSkipped_ = 0;
};

void DxlHandler::Start(std::string_view element, const XML_Char** attributes) {
    if (++depth_ > kMaxDepth) return Stop("elements nested too deeply");
    if (noteDepth_ < 0) {
        if (element == "database" && depth_ == 1) {
            if (const char* title = Attribute(attributes, "title")) info.title = title;
            if (const char* replica = Attribute(attributes, "replicaid")) info.replicaId = replica;
            return;
        }
        if (element == "acl" && depth_ <= 2) {
            inAcl_ = true;
            return;
        }
        if (inAcl_ && element == "aclentry") {
            AclEntryData acl;
            if (const char* name = Attribute(attributes, "name")) acl.name = name;
            if (const char* level = Attribute(attributes, "level")) acl.level = AccessLevel(level);
            if (AttributeTrue(attributes, "default") || acl.name == "-Default-") info.defaultAccess = acl.level;
            info.acl.push_back(acl);
            return;
        }
        bool top = depth_ == 1 || (depth_ == 2 && element != "qbfragment");
        if (top && (element == "note" || ClassOfElement(element) != 0)) StartNote(element, attributes);
        return;
    }
    if (item_) {
        StartValue(element, attributes);
        return;
    }
    if (depth_ == noteDepth_ + 1) {
        if (element == "item") return StartItem(attributes);
        if (element == "noteinfo") {
            inNoteInfo_ = true;
            if (const char* id = Attribute(attributes, "noteid")) entry_.noteId = static_cast<NOTEID>(std::strtoul(id, nullptr, 16));
            if (const char* unid = Attribute(attributes, "unid")) {
                std::string text(unid);
                Bytes raw;
                if (UnidFromText(text, &raw)) std::memcpy(entry_.unid.data(), text.data(), 32);
            }
            return;
        }
    }
    if (inNoteInfo_ && (element == "created" || element == "modified")) {
        noteInfoDate_ = element;
        return;
    }
    if (inNoteInfo_ && element == "datetime" && !noteInfoDate_.empty()) {
        item_.reset();
        noteInfoDateDst_ = AttributeTrue(attributes, "dst");
        noteInfoChars_.clear();
        inNoteInfoDatetime_ = true;
        return;
    }
    if (noteElement_ == "view" || noteElement_ == "folder") {
        if (element == "code" && depth_ == noteDepth_ + 1) {
            const char* event = Attribute(attributes, "event");
            inSelection_ = event && std::strcmp(event, "selection") == 0;
        } else if (inSelection_ && element == "formula") {
            inSelectionFormula_ = true;
            sawSelection_ = true;
        } else if (element == "column" && depth_ == noteDepth_ + 1 && !sawSortColumn_) {
            const char* sort = Attribute(attributes, "sort");
            const char* itemName = Attribute(attributes, "itemname");
            if (sort && itemName && (std::strcmp(sort, "ascending") == 0 || std::strcmp(sort, "descending") == 0)) {
                sawSortColumn_ = true;
                AddSynthesized("$Collation", TYPE_COLLATION,
                               CollationFor(itemName, std::strcmp(sort, "descending") == 0));
            }
        }
    }
}

void DxlHandler::StartNote(std::string_view element, const XML_Char** attributes) {
    noteDepth_ = depth_;
    noteElement_ = element;
    entry_ = NoteIndexEntry{};
    note_ = NoteData{};
    noteItemNames_.clear();
    noteFonts_.Clear();
    entry_.start = Offset();
    sawSelection_ = sawSortColumn_ = false;
    selection_.clear();
    formAttribute_.clear();
    parentUnid_.clear();
    if (element == "note") {
        const char* cls = Attribute(attributes, "class");
        entry_.noteClass = ClassOfNoteAttribute(cls ? cls : "document");
    } else {
        entry_.noteClass = ClassOfElement(element);
    }
    if (depth_ == 1 || info.replicaId.empty())
        if (const char* replica = Attribute(attributes, "replicaid")) info.replicaId = replica;
    if (const char* form = Attribute(attributes, "form")) formAttribute_ = form;
    if (const char* parent = Attribute(attributes, "parent")) parentUnid_ = parent;
    if (element == "view" || element == "folder") {
        std::string title;
        if (const char* name = Attribute(attributes, "name")) title = name;
        if (const char* alias = Attribute(attributes, "alias")) title += std::string("|") + alias;
        AddSynthesized("$TITLE", TYPE_TEXT, title);
        std::string flags = element == "folder" ? "F" : "";
        if (AttributeTrue(attributes, "calendar")) flags += "c";
        AddSynthesized("$Flags", TYPE_TEXT, flags);
    }
}

void DxlHandler::AddSynthesized(const std::string& name, LNITEMTYPE type, Bytes value) {
    ItemData item;
    item.name = name;
    item.type = type;
    item.flags = LNITEMFLAGS_SUMMARY;
    item.value = std::move(value);
    AddItem(std::move(item));
}

void DxlHandler::AddItem(ItemData item) {
    noteItemNames_.push_back(item.name);
    if (mode_ == Mode::Index) {
        if (!IsNotSummaryType(item.type)) entry_.summary.Add(item);
    } else {
        note_.items.push_back(std::move(item));
    }
}

void DxlHandler::EndNote() {
    auto hasItem = [&](std::string_view name) {
        for (const std::string& seen : noteItemNames_)
            if (NameEquals(seen, name)) return true;
        return false;
    };
    if (!formAttribute_.empty() && !hasItem("Form")) AddSynthesized("Form", TYPE_TEXT, formAttribute_);
    if (!parentUnid_.empty() && !hasItem("$REF")) {
        Bytes refs;
        if (EncodeNoteRefs({parentUnid_}, &refs)) AddSynthesized("$REF", TYPE_NOTEREF_LIST, refs);
    }
    if (!noteFonts_.Empty() && !hasItem("$Fonts")) {
        ItemData fonts;
        fonts.name = "$Fonts";
        fonts.type = TYPE_COMPOSITE;
        fonts.value = noteFonts_.Records();
        AddItem(std::move(fonts));
    }
    if ((noteElement_ == "view" || noteElement_ == "folder") && !hasItem("$Formula")) {
        std::string formula = sawSelection_ ? selection_ : (noteElement_ == "view" ? "SELECT @All" : "");
        if (!formula.empty()) AddSynthesized("$Formula", TYPE_FORMULA, formula);
    }
    entry_.end = OffsetAfterEvent();
    if (mode_ == Mode::Index) {
        entry_.summary.ShrinkToFit();
        entries.push_back(std::move(entry_));
    } else {
        note_.noteId = entry_.noteId;
        note_.unid = entry_.Unid();
        note_.noteClass = entry_.noteClass;
        note_.created = entry_.created;
        note_.modified = entry_.modified;
        notes.push_back(std::move(note_));
    }
    entry_ = NoteIndexEntry{};
    note_ = NoteData{};
    noteDepth_ = -1;
    noteElement_.clear();
}

void DxlHandler::StartItem(const XML_Char** attributes) {
    item_ = std::make_unique<ItemCollector>();
    itemDepth_ = depth_;
    const char* name = Attribute(attributes, "name");
    item_->item.name = name ? name : "";
    LNITEMFLAGS flags = LNITEMFLAGS_SUMMARY;
    if (const char* summary = Attribute(attributes, "summary"); summary && std::strcmp(summary, "false") == 0)
        flags = 0;
    if (AttributeTrue(attributes, "sign")) flags |= LNITEMFLAGS_SIGN;
    if (AttributeTrue(attributes, "seal")) flags |= LNITEMFLAGS_SEAL;
    if (AttributeTrue(attributes, "names")) flags |= LNITEMFLAGS_NAMES;
    if (AttributeTrue(attributes, "readers")) flags |= LNITEMFLAGS_READERS;
    if (AttributeTrue(attributes, "authors")) flags |= LNITEMFLAGS_READWRITERS;
    if (AttributeTrue(attributes, "protected")) flags |= LNITEMFLAGS_PROTECTED;
    item_->item.flags = flags;
}

void DxlHandler::StartValue(std::string_view element, const XML_Char** attributes) {
    ItemCollector& c = *item_;
    if (c.skip) {
        // Attachment data is cut out when the note is parsed again.
        if (mode_ == Mode::Index && element == "filedata") c.fileDataStart = OffsetAfterEvent();
        if (mode_ == Mode::Index && element == "file" && c.item.type == TYPE_OBJECT)
            if (const char* name = Attribute(attributes, "name")) c.item.value = name;
        return;
    }
    if (c.richText) {
        ++c.richDepth;
        if (c.rich) c.rich->Start(element, attributes);
        return;
    }
    if (c.inObject) {
        if (element == "file") {
            c.file = std::make_shared<FileObject>();
            if (const char* name = Attribute(attributes, "name")) c.file->name = name;
            if (const char* size = Attribute(attributes, "size")) c.file->size = std::strtoull(size, nullptr, 10);
        } else if (element == "created" || element == "modified") {
            c.fileDateKind = element;
        } else if (element == "datetime") {
            c.chars.clear();
            c.collecting = true;
            c.dst = AttributeTrue(attributes, "dst");
        } else if (element == "filedata") {
            c.inFileData = true;
            c.fileDataStart = OffsetAfterEvent();
        }
        return;
    }
    if (element == "textlist") c.sawTextList = true;
    else if (element == "numberlist") c.sawNumberList = true;
    else if (element == "datetimelist") c.sawDatetimeList = true;
    else if (element == "datetimepair") {
        c.pairBuffer.clear();
        c.inPair = true;
    }
    else if (element == "text" || element == "number" || element == "datetime" || element == "unid") {
        c.chars.clear();
        c.collecting = true;
        c.dst = AttributeTrue(attributes, "dst");
    } else if (element == "break" && c.collecting) {
        c.chars.push_back('\n');
    } else if (element == "rawitemdata") {
        const char* type = Attribute(attributes, "type");
        c.rawType = static_cast<LNITEMTYPE>(type ? std::strtoul(type, nullptr, 16) : 0);
        if (mode_ == Mode::Index && IsNotSummaryType(*c.rawType)) {
            c.skip = true;
            c.item.type = *c.rawType;
            return;
        }
        c.chars.clear();
        c.collecting = true;
    } else if (element == "formula") {
        c.formula = true;
        c.formulaCompiled = AttributeTrue(attributes, "compiled");
        c.chars.clear();
        c.collecting = true;
    } else if (element == "richtext") {
        c.richText = true;
        c.richDepth = 1;
        c.item.type = TYPE_COMPOSITE;
        if (mode_ == Mode::Full) c.rich = std::make_unique<RichTextBuilder>(noteFonts_);
        else c.skip = true;
    } else if (element == "object") {
        c.item.type = TYPE_OBJECT;
        if (mode_ == Mode::Index) c.skip = true;
        else c.inObject = true;
    }
}

void DxlHandler::EndValue(std::string_view element) {
    ItemCollector& c = *item_;
    if (c.skip) {
        if (mode_ == Mode::Index && element == "filedata" && c.item.type == TYPE_OBJECT) {
            std::uint64_t end = std::max(Offset(), c.fileDataStart);  // <filedata/> has no content
            entry_.skipped.push_back(ByteRange{c.fileDataStart, end - c.fileDataStart});
        }
        return;
    }
    if (c.richText) {
        if (--c.richDepth == 0) {
            c.richText = false;
            c.item.value = c.rich->Take();
            c.rich.reset();
        } else if (c.rich) {
            c.rich->End(element);
        }
        return;
    }
    if (c.inObject) {
        if (element == "datetime" && c.file) {
            LNDatetime when;
            if (LNDatetime::FromDxlText(c.chars, c.dst, &when) == LNNOERROR) {
                if (c.fileDateKind == "created") c.file->created = when;
                else if (c.fileDateKind == "modified") c.file->modified = when;
            }
            c.collecting = false;
        } else if (element == "filedata" && c.file) {
            auto content = std::make_shared<FileContent>();
            content->dxlPath = path_;
            content->offset = c.fileDataStart;
            content->length = std::max(Offset(), c.fileDataStart) - c.fileDataStart;
            if (skippedRanges_ && nextSkipped_ < skippedRanges_->size()) {
                content->offset = (*skippedRanges_)[nextSkipped_].offset;
                content->length = (*skippedRanges_)[nextSkipped_].length;
                ++nextSkipped_;
            }
            c.file->content = std::move(content);
            c.inFileData = false;
        } else if (element == "object") {
            c.inObject = false;
        }
        return;
    }
    if (element == "text") {
        c.texts.push_back(std::move(c.chars));
        c.collecting = false;
    } else if (element == "number") {
        char* end = nullptr;
        std::string trimmed = c.chars;
        double value = std::strtod(trimmed.c_str(), &end);
        if (end == trimmed.c_str()) c.failure = "number '" + trimmed + "'";
        c.numbers.push_back(value);
        c.collecting = false;
    } else if (element == "datetime") {
        LNDatetime value;
        if (LNDatetime::FromDxlText(c.chars, c.dst, &value) != LNNOERROR) c.failure = "date/time '" + c.chars + "'";
        if (c.inPair) c.pairBuffer.push_back(value);
        else c.times.push_back(value);
        c.collecting = false;
    } else if (element == "datetimepair") {
        if (c.pairBuffer.size() == 2) c.pairs.emplace_back(c.pairBuffer[0], c.pairBuffer[1]);
        else c.failure = "date/time pair without two values";
        c.pairBuffer.clear();
        c.inPair = false;
    } else if (element == "unid") {
        c.unids.push_back(c.chars);
        c.collecting = false;
    } else if (element == "rawitemdata") {
        c.item.type = *c.rawType;
        if (!DecodeBase64(c.chars, &c.item.value)) c.failure = "invalid base64 in rawitemdata";
        TextValuesToUtf8(c.item);
        c.collecting = false;
    } else if (element == "formula") {
        c.item.type = TYPE_FORMULA;
        if (c.formulaCompiled) {
            Bytes compiled;
            DecodeBase64(c.chars, &compiled);
            c.item.value = "\x01" + compiled;
        } else {
            c.item.value = std::move(c.chars);
        }
        c.collecting = false;
    }
}

void DxlHandler::EndItem() {
    ItemCollector& c = *item_;
    if (!c.failure.empty()) {
        Stop("item '" + c.item.name + "': " + c.failure);
        return;
    }
    ItemData& item = c.item;
    if (c.skip) {
        // Kept out of the index, but its name is known. A file object is
        // indexed by its file name alone, so that @IsAvailable($FILE) selects
        // as in Notes without the index holding attachment data.
        if (item.type == TYPE_OBJECT) entry_.summary.Add(item);
        noteItemNames_.push_back(item.name);
        return;
    }
    if (item.type == TYPE_OBJECT) {
        item.file = c.file;
        if (c.file) {
            item.value = c.file->name;
        }
    } else if (c.rawType || c.formula || item.type == TYPE_COMPOSITE) {
        // value already set
    } else if (!c.unids.empty()) {
        item.type = TYPE_NOTEREF_LIST;
        EncodeNoteRefs(c.unids, &item.value);
    } else if (!c.times.empty() || !c.pairs.empty() || c.sawDatetimeList) {
        bool list = c.sawDatetimeList || c.times.size() != 1 || !c.pairs.empty();
        item.type = list ? TYPE_TIME_RANGE : TYPE_TIME;
        item.value = list ? EncodeTimes(c.times, c.pairs) : EncodeTime(c.times[0]);
    } else if (!c.numbers.empty() || c.sawNumberList) {
        bool list = c.sawNumberList || c.numbers.size() != 1;
        item.type = list ? TYPE_NUMBER_RANGE : TYPE_NUMBER;
        item.value = list ? EncodeNumbers(c.numbers) : EncodeNumber(c.numbers[0]);
    } else if (!c.texts.empty() || c.sawTextList) {
        bool list = c.sawTextList || c.texts.size() != 1;
        item.type = list ? TYPE_TEXT_LIST : TYPE_TEXT;
        item.value = list ? EncodeTextList(c.texts) : c.texts[0];
    } else {
        item.type = TYPE_TEXT;  // an empty item
    }
    if (IsNotSummaryType(item.type)) item.flags &= static_cast<LNITEMFLAGS>(~LNITEMFLAGS_SUMMARY);
    AddItem(std::move(item));
}

void DxlHandler::End(std::string_view element) {
    int depth = depth_--;
    if (noteDepth_ < 0) {
        if (element == "acl") inAcl_ = false;
        return;
    }
    if (item_) {
        if (depth == itemDepth_) {
            EndItem();
            item_.reset();
            itemDepth_ = -1;
        } else {
            EndValue(element);
        }
        return;
    }
    if (depth == noteDepth_) return EndNote();
    if (inNoteInfoDatetime_ && element == "datetime") {
        inNoteInfoDatetime_ = false;
        LNDatetime when;
        if (LNDatetime::FromDxlText(noteInfoChars_, noteInfoDateDst_, &when) == LNNOERROR) {
            if (noteInfoDate_ == "created") entry_.created = when;
            else entry_.modified = when;
        }
    } else if (element == "created" || element == "modified") {
        noteInfoDate_.clear();
    } else if (element == "noteinfo") {
        inNoteInfo_ = false;
    } else if (element == "formula" && inSelectionFormula_) {
        inSelectionFormula_ = false;
    } else if (element == "code") {
        inSelection_ = false;
    }
}

void DxlHandler::Characters(std::string_view text) {
    if (item_) {
        ItemCollector& c = *item_;
        if (c.skip || c.inFileData) return;
        if (c.richText) {
            if (c.rich) c.rich->Characters(text);
        } else if (c.collecting) {
            c.chars.append(text);
        }
        return;
    }
    if (inNoteInfoDatetime_) noteInfoChars_.append(text);
    else if (inSelectionFormula_) selection_.append(text);
}

// Feeds a stream to a parser; on a syntax error builds "line L, column C: message".
LNSTATUS RunParser(XML_Parser parser, DxlHandler& handler, const std::function<std::size_t(char*, std::size_t)>& read,
                   const std::string& where, std::string* detail) {
    constexpr std::size_t kChunk = 1 << 16;
    for (;;) {
        void* buffer = XML_GetBuffer(parser, kChunk);
        if (!buffer) {
            *detail = where + ": out of memory";
            return LNERR_BAD_DXL;
        }
        std::size_t got = read(static_cast<char*>(buffer), kChunk);
        bool last = got < kChunk;
        if (XML_ParseBuffer(parser, static_cast<int>(got), last) != XML_STATUS_OK) {
            char position[80];
            std::snprintf(position, sizeof position, ", line %lu, column %lu: ",
                          static_cast<unsigned long>(XML_GetCurrentLineNumber(parser)),
                          static_cast<unsigned long>(XML_GetCurrentColumnNumber(parser) + 1));
            std::string why = handler.Failure().empty() ? XML_ErrorString(XML_GetErrorCode(parser)) : handler.Failure();
            *detail = where + position + why;
            return LNERR_BAD_DXL;
        }
        if (last) return LNNOERROR;
    }
}

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

void AssignMissingIds(std::vector<NoteIndexEntry>& entries, const std::string& seed) {
    NOTEID highest = 0;
    std::vector<bool> used;
    for (const NoteIndexEntry& entry : entries) highest = std::max(highest, entry.noteId);
    // Ids must be unique; a missing or repeated id gets a fresh one.
    std::vector<NOTEID> seen;
    seen.reserve(entries.size());
    std::vector<NOTEID> sorted;
    for (const NoteIndexEntry& entry : entries) sorted.push_back(entry.noteId);
    std::sort(sorted.begin(), sorted.end());
    NOTEID next = (highest / 4 + 1) * 4;
    std::vector<NOTEID> taken;
    for (NoteIndexEntry& entry : entries) {
        bool duplicate = entry.noteId != 0 && std::binary_search(taken.begin(), taken.end(), entry.noteId);
        if (entry.noteId == 0 || duplicate) {
            entry.noteId = next;
            next += 4;
        }
        taken.insert(std::upper_bound(taken.begin(), taken.end(), entry.noteId), entry.noteId);
    }
    std::uint32_t hash = 2166136261u;
    for (char c : seed) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    for (NoteIndexEntry& entry : entries) {
        if (entry.unid[0] != '\0') continue;
        char text[40];
        std::snprintf(text, sizeof text, "%08X%08X%08X%08X", hash, 0x51424F58u, 0u, entry.noteId);
        std::memcpy(entry.unid.data(), text, 32);
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

LNSTATUS IndexDxlFile(const std::string& path, DxlDatabaseInfo* info, std::vector<NoteIndexEntry>* notes,
                      std::string* detail) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *detail = path + ": " + std::strerror(errno);
        return errno == ENOENT ? LNERR_FILE_NOT_FOUND : LNERR_FILE_READ;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
    ParserPtr parser(XML_ParserCreate(nullptr));
    DxlHandler handler(DxlHandler::Mode::Index, path);
    handler.Attach(parser.get(), 0);
    LNSTATUS status = RunParser(parser.get(), handler,
                                [&](char* buffer, std::size_t size) { return std::fread(buffer, 1, size, file); },
                                path, detail);
    if (status != LNNOERROR) return status;
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
    AssignMissingIds(handler.entries, path);
    *info = std::move(handler.info);
    *notes = std::move(handler.entries);
    return LNNOERROR;
}

namespace {

// Parses one note's element. The fragment may have had attachment data cut
// out (`skipped`, file ranges in order): those ranges become the file
// objects' content, so the data is never parsed twice.
LNSTATUS ParseFragment(XML_Parser reusable, const std::string& path, const std::string& encoding,
                       std::string_view fragment, std::uint64_t start, const std::vector<ByteRange>& skipped,
                       NoteData* note, std::string* detail) {
    struct NoFree {
        void operator()(XML_ParserStruct*) const {}
    };
    std::unique_ptr<XML_ParserStruct, NoFree> borrowed(reusable);
    ParserPtr owned;
    if (!reusable) owned.reset(XML_ParserCreate(encoding.empty() ? nullptr : encoding.c_str()));
    auto parser = [&] { return reusable ? borrowed.get() : owned.get(); };
    DxlHandler handler(DxlHandler::Mode::Full, path);
    handler.SetSkippedRanges(&skipped);
    // Offsets inside the fragment map back onto the file.
    handler.Attach(parser(), static_cast<std::int64_t>(std::strlen(kWrapperOpen)) - static_cast<std::int64_t>(start));
    std::string_view pieces[] = {kWrapperOpen, fragment, kWrapperClose};
    for (int i = 0; i < 3; ++i) {
        if (XML_Parse(parser(), pieces[i].data(), static_cast<int>(pieces[i].size()), i == 2) != XML_STATUS_OK) {
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

DxlNoteReader::DxlNoteReader(std::string path, std::string encoding)
    : path_(std::move(path)), encoding_(std::move(encoding)) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    std::random_device random;
    salt_ = random();
}

DxlNoteReader::~DxlNoteReader() {
    if (fd_ >= 0) ::close(fd_);
    if (parser_) XML_ParserFree(parser_);
}

bool DxlNoteReader::ReadRange(std::uint64_t offset, std::uint64_t length) {
    std::size_t old = buffer_.size();
    buffer_.resize(old + length);
    std::uint64_t done = 0;
    while (done < length) {
        ssize_t got = ::pread(fd_, buffer_.data() + old + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::uint64_t>(got);
    }
    return true;
}

LNSTATUS DxlNoteReader::Read(const NoteIndexEntry& entry, NoteData* note, std::string* detail) {
    if (fd_ < 0) {
        *detail = path_ + ": " + std::strerror(errno);
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
    LNSTATUS status = ParseFragment(parser_, path_, encoding_, buffer_, entry.start, entry.skipped, note, detail);
    if (buffer_.capacity() > (1u << 20)) std::string().swap(buffer_);
    if (status != LNNOERROR) return status;
    note->noteId = entry.noteId;
    note->unid = entry.Unid();
    note->noteClass = entry.noteClass;
    return LNNOERROR;
}

LNSTATUS ParseDxlNote(const std::string& path, const std::string& encoding, const NoteIndexEntry& entry,
                      NoteData* note, std::string* detail) {
    DxlNoteReader reader(path, encoding);
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
    LNSTATUS status = RunParser(parser.get(), handler, reader, "text", detail);
    if (status != LNNOERROR) return status;
    AssignMissingIds(handler.entries, "text");
    notes->clear();
    for (const NoteIndexEntry& entry : handler.entries) {
        NoteData note;
        std::string fragment = text.substr(entry.start, entry.end - entry.start);
        status = ParseFragment(nullptr, "", handler.info.encoding, fragment, entry.start, {}, &note, detail);
        if (status != LNNOERROR) return status;
        notes->push_back(std::move(note));
    }
    *info = std::move(handler.info);
    return LNNOERROR;
}

}  // namespace qb::notes

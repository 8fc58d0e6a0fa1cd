// The DXL SAX handler: the database's title, replica id and access list,
// then per note its ids, class, dates and items; within an item its typed
// values, formulas, raw item data, rich text and file objects. Items the
// note's element implies (Form, $REF, $Fonts, a view's $TITLE, $Flags,
// $Formula and $Collation) are added when the note does not hold them.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "notes/api/DxlReaderInternal.h"
#include "notes/api/Lmbcs.h"
#include "text/Utf8.h"

namespace qb::notes::dxl_detail {
namespace {

constexpr int kMaxDepth = 2000;
// The declarations of a file's internal entities are kept and replayed for
// every note read alone; a DTD larger than this is refused rather than
// copied into each of them.
constexpr std::size_t kMaxEntityDeclarations = 1 << 20;

// An entity value written back so that its replacement text comes out as
// given: markup characters and everything beyond ASCII as character
// references (the declarations are parsed again in the file's encoding).
void AppendEntityValue(std::string& out, std::string_view value) {
    char reference[16];
    for (std::size_t pos = 0; pos < value.size();) {
        const unsigned char byte = static_cast<unsigned char>(value[pos]);
        if (byte >= 0x80 || byte == '&' || byte == '%' || byte == '"' || byte < 0x20) {
            const char32_t cp = text::NextCodePoint(value, pos);
            std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned>(cp));
            out += reference;
        } else {
            out.push_back(static_cast<char>(byte));
            ++pos;
        }
    }
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

}  // namespace

void DxlHandler::DeclareEntity(std::string_view name, std::string_view value) {
    if (mode_ != Mode::Index) return;  // a note read alone gets them from the index
    std::string& declarations = info.entityDeclarations;
    declarations += "<!ENTITY ";
    declarations += name;
    declarations += " \"";
    AppendEntityValue(declarations, value);
    declarations += "\">";
    if (declarations.size() > kMaxEntityDeclarations)
        Stop("the document type declares more than 1 MB of entities");
}

void DxlHandler::Start(std::string_view element, const XML_Char** attributes) {
    if (!pauseAt_ && !pauseAfterRoot_) return StartElement(element, attributes);
    bool pause = false;
    if (pauseAt_ && Offset() >= *pauseAt_) {
        pause = true;
        pausedBetweenNotes_ = Offset() == *pauseAt_ && depth_ == 1 && BetweenNotes();
        pausedElementEnded_ = false;
        pauseAt_.reset();
    }
    StartElement(element, attributes);
    if (pause) pausedDepth_ = depth_;
    if (pauseAfterRoot_ && depth_ == 1) {
        pauseAfterRoot_ = false;
        rootEnd_ = OffsetAfterEvent();
        rootIsNote_ = noteDepth_ >= 0;
        pause = true;
    }
    if (pause && failure_.empty()) XML_StopParser(parser_, XML_TRUE);
}

bool DxlHandler::BetweenNotes() const {
    return noteDepth_ < 0 && !item_ && !inAcl_ && !inNoteInfo_ && !inNoteInfoDatetime_ && !inSelection_ &&
           !inSelectionFormula_ && noteInfoDate_.empty() && failure_.empty();
}

void DxlHandler::StartElement(std::string_view element, const XML_Char** attributes) {
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
    // A mail document has a few dozen items: one allocation instead of one per doubling.
    if (mode_ == Mode::Full) note_.items.reserve(32);
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
    if (mode_ == Mode::Index) {
        // A whole note keeps every item, so its names need no copy.
        noteItemNames_.push_back(item.name);
        // Only summary items reach the index (views, folders and selection
        // formulas read nothing else); an item without DXL's summary
        // attribute is one unless its type is rich text, MIME or an object.
        if ((item.flags & LNITEMFLAGS_SUMMARY) && !IsNotSummaryType(item.type)) entry_.summary.Add(item);
    } else {
        note_.items.push_back(std::move(item));
    }
}

void DxlHandler::EndNote() {
    auto hasItem = [&](std::string_view name) {
        if (mode_ == Mode::Full) return note_.FindItem(name) != nullptr;
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
    if (mode_ == Mode::Index && onEntry) {
        if (!onEntry(entry_)) Stop("the note index cannot be kept");
    } else if (mode_ == Mode::Index) {
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
            content->dxlFile = file_;
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
    if (depth == pausedDepth_) {
        pausedElementEnded_ = true;
        pausedDepth_ = -1;
    }
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

}  // namespace qb::notes::dxl_detail

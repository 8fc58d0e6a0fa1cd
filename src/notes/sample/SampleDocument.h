#pragma once
// One generated note in memory, before it is written as DXL: its note
// information and its items. Only one document exists at a time, so the
// generator's memory does not grow with the size of the mailbox.

#include <cstdint>
#include <string>
#include <vector>

#include "notes/api/formula/MapFormulaDocument.h"
#include "notes/sample/SampleTime.h"

namespace qb::notes::sample {

// One piece of a rich text paragraph.
struct RichRun {
    enum class Kind { Text, DocLink, Picture, AttachmentRef } kind = Kind::Text;
    std::string text;        // Text: the text; DocLink: description; AttachmentRef: file name
    std::string style;       // Text: DXL font style ("bold italic"), empty for plain
    std::string color;       // Text: DXL colour name or "#rrggbb", empty for default
    std::string fontName;    // Text: typeface, empty for default
    int sizePoints = 0;      // Text: 0 for default
    std::string replicaId;   // DocLink: 16 hex digits
    std::string viewUnid;    // DocLink
    std::string documentUnid;  // DocLink
    std::string gif;         // Picture: the GIF file's bytes
    int width = 0, height = 0;  // Picture, pixels
};

struct RichParagraph {
    std::string align;  // "", "center", "right"
    std::vector<RichRun> runs;
};

struct SampleFile {
    std::string name;
    std::string content;
    SampleTime created;
};

enum class ItemKind {
    Text,          // one text
    TextList,      // texts
    Number,        // numbers (one or more)
    Datetime,      // times (one: <datetime>, more: <datetimelist>)
    RichText,      // paragraphs
    File,          // a $FILE object
    NoteRefs,      // a note reference list of UNIDs (raw type 4)
    Rfc822Text,    // raw type 0x502: an Internet header; texts[0] the native value, texts[1] the header line
    Rfc822Date,    // raw type 0x502 whose native value is times[0]; texts[1] the header line
    MimePart,      // raw type 0x19: texts[0] boundary, texts[1] headers, texts[2] body; number[0] part type
    Raw,           // rawType and rawData as they are
};

struct SampleItem {
    std::string name;
    ItemKind kind = ItemKind::Text;
    std::vector<std::string> texts;
    std::vector<double> numbers;
    std::vector<SampleTime> times;
    std::vector<RichParagraph> paragraphs;
    SampleFile file;
    std::string rawType;  // hex as DXL writes it ("9", "a")
    std::string rawData;
    bool summary = false;  // DXL summary='true'
    bool sealed = false;   // DXL seal='true': the item was encrypted
    bool rawRecords = false;  // RichText: written as CD records (<rawitemdata type='1'>); text runs only, ASCII
};

struct SampleDocument {
    enum class NoteClass { Document, View, Folder } noteClass = NoteClass::Document;
    bool noteForm = false;  // write as <note class=...> rather than the formatted element
    std::string form;       // the Form item (formatted documents carry it as an attribute)
    std::string unid;       // 32 hex digits
    std::uint32_t noteId = 0;
    SampleTime created, modified;
    std::string updatedBy;
    std::vector<SampleItem> items;

    // View and folder design notes
    std::string title;            // $TITLE / name
    std::string selection;        // selection formula (views)
    std::string flags;            // $Flags

    SampleItem& Add(std::string name, ItemKind kind);
    SampleItem& AddText(std::string name, std::string value);
    SampleItem& AddTextList(std::string name, std::vector<std::string> values);
    SampleItem& AddNumber(std::string name, double value);
    SampleItem& AddTimes(std::string name, std::vector<SampleTime> values);
    const SampleItem* Find(const std::string& name) const;

    // The document as the formula engine sees it through the database
    // layer: text and lists as text, times as times, rich text as its plain
    // text, Internet headers as their native value, anything else as an
    // empty text; response documents are those with a $REF item.
    MapFormulaDocument ForFormula() const;
};

}  // namespace qb::notes::sample

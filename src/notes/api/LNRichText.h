#pragma once
// Rich text items: the CD records of every item of one name, in item order
// (a body stored in several items reads as one). RichTextRecords.h describes
// the records; a cursor is a record boundary. One position is one record,
// except that a picture (CDGRAPHIC and its image records) is one position.

#include <memory>
#include <string>
#include <string_view>

#include "notes/api/LNItem.h"

namespace qb::notes {
struct PreparedRtf;
}

class LNRichText;

// Kinds of rich text objects a cursor can look for.
enum LNRTTYPE {
    LNRTTYPE_ANY = 0,
    LNRTTYPE_PARAGRAPH,
    LNRTTYPE_TEXT,
    LNRTTYPE_DOCLINK,      // CDLINK or CDLINKEXPORT2
    LNRTTYPE_GRAPHIC,      // CDGRAPHIC
    LNRTTYPE_ATTACHMENT,   // file attachment hotspot
    LNRTTYPE_HOTSPOT,      // any hotspot
};

// A picture of the rich text: the CDGRAPHIC record and its image records.
class LNGraphic {
public:
    bool IsNull() const { return records_.empty(); }
    // CDIMAGETYPE: 1 GIF, 2 JPEG, 3 BMP, 4 PNG, 0 unknown.
    int GetImageType() const { return imageType_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    // The image file: the image segments' data in order.
    const std::string& GetImageData() const { return image_; }

private:
    friend class LNRTCursor;
    friend class LNRichText;
    std::string_view records_;
    int imageType_ = 0, width_ = 0, height_ = 0;
    std::string image_;
};

class LNRTCursor {
public:
    LNRTCursor() = default;
    bool IsNull() const { return records_ == nullptr; }
    // Byte offset of the record the cursor stands before.
    std::size_t GetOffset() const { return offset_; }
    // Moves by positions (negative not supported: stays); LNWARN_NOT_FOUND
    // when the end came first (the cursor is then at the end).
    LNSTATUS Move(LNINT records);
    LNRTCursor& operator+=(LNINT records) {
        Move(records);
        return *this;
    }
    // Moves to the first / next object of a kind; LNWARN_NOT_FOUND when none
    // is left (the cursor then stays). For graphics the object is filled.
    LNSTATUS GotoFirst(LNRTTYPE type, LNGraphic* graphic = nullptr);
    LNSTATUS GotoNext(LNRTTYPE type, LNGraphic* graphic = nullptr);
    bool operator==(const LNRTCursor& other) const { return records_ == other.records_ && offset_ == other.offset_; }
    bool operator<(const LNRTCursor& other) const { return offset_ < other.offset_; }

private:
    friend class LNRichText;
    LNSTATUS Find(std::size_t from, LNRTTYPE type, LNGraphic* graphic);
    std::shared_ptr<const std::string> records_;
    std::size_t offset_ = 0;
};

class LNRichText : public LNItem {
public:
    LNRichText() = default;
    // A rich text view of one item; null for items of other types.
    explicit LNRichText(const LNItem& item);
    // Records of several items of one name, joined.
    static LNRichText FromItems(const std::vector<LNItem>& items);
    // A new, empty rich text (CreateNoteBody).
    static LNRichText Empty(const LNString& name);

    std::string_view GetRecords() const { return records_ ? std::string_view(*records_) : std::string_view(); }
    std::size_t GetSize() const { return records_ ? records_->size() : 0; }

    // All the plain text: paragraphs separated by line feeds.
    LNSTATUS GetText(LNString* text) const;
    // Text of a range, at most 65535 bytes per call: LNWARN_TOO_MUCH_TEXT
    // while more follows, with *start moved past what was given.
    LNSTATUS GetText(LNRTCursor* start, const LNRTCursor& end, LNString* text) const;
    LNSTATUS GetCursor(LNRTCursor* cursor) const;
    LNSTATUS GetEndCursor(LNRTCursor* cursor) const;
    // Writes a range to a file; the format follows the file name's extension:
    // ".rtf" an RTF document, ".tif"/".tiff" the first picture of the range
    // (LNERR_NO_GRAPHIC when it holds none). RichTextExport.h has the rest.
    LNSTATUS Export(const LNString& path, const LNRTCursor& start, const LNRTCursor& end,
                    const LNString& options = "") const;

    // Appends paragraphs of plain text (writing documents).
    void AppendText(const LNString& text);

private:
    friend class LNNote;
    std::shared_ptr<const std::string> records_;
    // The note's $Links value (links by index) and $Fonts value (font faces).
    std::shared_ptr<const std::string> links_;
    std::shared_ptr<const std::string> fonts_;
    std::shared_ptr<const qb::notes::PreparedRtf> preparedRtf_;  // the note's Body rendered ahead, or null
};

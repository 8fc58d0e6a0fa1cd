#pragma once
// Rich text as the Notes C API stores it: a sequence of CD records, each with
// a signature and a length that counts the whole record, header included.
//
// Header forms, told apart by the byte after the signature byte:
//   BSIG  sig, length (1 byte)                      2-byte header
//   WSIG  sig, 0xFF, length (WORD)                  4-byte header
//   LSIG  sig, 0x00, length (DWORD)                 6-byte header
// Records start on even offsets: an odd-length record is followed by one pad byte.
//
// Records this layer writes (from DXL formatted rich text) and reads:
//   0x81 CDPARAGRAPH      BSIG; starts a paragraph
//   0x82 CDPABDEFINITION  WSIG; WORD PABID, WORD JustifyMode, then the rest
//                         of the 90-byte structure (zeros)
//   0x83 CDPABREFERENCE   BSIG; WORD PABID (the paragraph style in force)
//   0x85 CDTEXT           WSIG; FONTID (BYTE face, BYTE attributes, BYTE
//                         colour, BYTE point size), then the UTF-8 text. A zero
//                         byte inside the text is a line break.
//   0x91 CDLINK2          WSIG; WORD index into the note's $Links table
//                         ($Links: WORD type, WORD count, then 40-byte
//                         NOTELINKs), then the link comment and the server
//                         hint, each zero-terminated
//   0x92 CDLINKEXPORT2    WSIG; NOTELINK (40 bytes: replica id TIMEDATE,
//                         view UNID, note UNID), then the comment and the
//                         server hint, each zero-terminated
//   0x99 CDGRAPHIC        LSIG; RECTSIZE DestSize (WORD width, WORD height),
//                         CropSize, CropOffset, WORD fResize, BYTE Version,
//                         BYTE flags, WORD reserved; followed by
//                         (or by Notes bitmap records, NotesBitmap.h)
//   0x7D CDIMAGEHEADER    LSIG; WORD image type (1 GIF, 2 JPEG, 3 BMP, 4 PNG),
//                         WORD width, WORD height (pixels), DWORD image
//                         size, DWORD segment count, DWORD flags, DWORD
//                         reserved; then
//   0x7C CDIMAGESEGMENT   LSIG; WORD data size, WORD segment size, data.
//                         The segments' data concatenated are the image file.
//   0xA9 CDHOTSPOTBEGIN   WSIG; WORD type (4 file attachment, 7 URL link,
//                         ...), DWORD flags, WORD data length, then the data
//                         (for an attachment: the $FILE item's name, a zero,
//                         the shown file name, a zero)
//   0xAA CDHOTSPOTEND     BSIG
//   0xA7 CDOLEBEGIN       WSIG; WORD version, DWORD flags, WORD clipboard
//                         format, WORD attach name length, WORD class name
//                         length, WORD template name length, then the names
//                         (an embedded object; its data is a $FILE object)
//   0xA8 CDOLEEND         WSIG; DWORD flags
//   0x8B CDFONTTABLE      WSIG; WORD count, then per font a CDFACE: BYTE face
//                         number (5 and up), BYTE family, 32-byte name (the
//                         record of the note's $Fonts item)
// Any other record is kept as it came and walked over.

#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include <string_view>

namespace qb::notes {

inline constexpr std::uint8_t SIG_CD_PARAGRAPH = 0x81;
inline constexpr std::uint8_t SIG_CD_PABDEFINITION = 0x82;
inline constexpr std::uint8_t SIG_CD_PABREFERENCE = 0x83;
inline constexpr std::uint8_t SIG_CD_TEXT = 0x85;
inline constexpr std::uint8_t SIG_CD_LINK = 0x91;
inline constexpr std::uint8_t SIG_CD_LINKEXPORT2 = 0x92;
inline constexpr std::uint8_t SIG_CD_GRAPHIC = 0x99;
inline constexpr std::uint8_t SIG_CD_IMAGEHEADER = 0x7D;
inline constexpr std::uint8_t SIG_CD_IMAGESEGMENT = 0x7C;
inline constexpr std::uint8_t SIG_CD_HOTSPOTBEGIN = 0xA9;
inline constexpr std::uint8_t SIG_CD_HOTSPOTEND = 0xAA;
inline constexpr std::uint8_t SIG_CD_OLEBEGIN = 0xA7;
inline constexpr std::uint8_t SIG_CD_OLEEND = 0xA8;
inline constexpr std::uint8_t SIG_CD_FONTTABLE = 0x8B;

// CDIMAGEHEADER image types.
inline constexpr std::uint16_t CDIMAGETYPE_GIF = 1;
inline constexpr std::uint16_t CDIMAGETYPE_JPEG = 2;
inline constexpr std::uint16_t CDIMAGETYPE_BMP = 3;
inline constexpr std::uint16_t CDIMAGETYPE_PNG = 4;
// Not a Notes code: a picture in Notes' own bitmap records (NotesBitmap.h),
// which are then the picture's data.
inline constexpr std::uint16_t IMAGETYPE_NOTES_BITMAP = 0x7F00;

// CDHOTSPOTBEGIN types.
inline constexpr std::uint16_t HOTSPOTREC_TYPE_FILE = 4;
inline constexpr std::uint16_t HOTSPOTREC_TYPE_URL = 7;

// Size of a NOTELINK (link entry of $Links and of CDLINKEXPORT2).
inline constexpr std::size_t kNoteLinkSize = 40;

// Font attributes of FONTID.
inline constexpr std::uint8_t FONT_BOLD = 0x01;
inline constexpr std::uint8_t FONT_ITALIC = 0x02;
inline constexpr std::uint8_t FONT_UNDERLINE = 0x04;
inline constexpr std::uint8_t FONT_STRIKEOUT = 0x08;
inline constexpr std::uint8_t FONT_SUPERSCRIPT = 0x10;
inline constexpr std::uint8_t FONT_SUBSCRIPT = 0x20;
// Standard font faces; 5 and up name entries of the note's font table.
inline constexpr std::uint8_t FONT_FACE_ROMAN = 0;
inline constexpr std::uint8_t FONT_FACE_SWISS = 1;
inline constexpr std::uint8_t FONT_FACE_TYPEWRITER = 4;
inline constexpr std::uint8_t FONT_FACE_FIRST_TABLE = 5;
inline constexpr std::size_t kFontFaceNameSize = 32;

struct FontId {
    std::uint8_t face = FONT_FACE_SWISS;
    std::uint8_t attributes = 0;
    std::uint8_t color = 0;
    std::uint8_t pointSize = 10;
};

// One record inside a rich text value; `record` spans the whole record
// (header included), `body` what follows the header.
struct CdRecord {
    std::uint8_t signature = 0;
    std::string_view record;
    std::string_view body;
};

// Walks the records of a rich text value. A record whose length runs past the
// end, or is shorter than its header, ends the walk and marks it damaged.
class CdRecordReader {
public:
    explicit CdRecordReader(std::string_view value) : value_(value) {}
    bool Next(CdRecord* record);
    bool Damaged() const { return damaged_; }
    std::size_t Offset() const { return offset_; }

private:
    std::string_view value_;
    std::size_t offset_ = 0;
    bool damaged_ = false;
};

// Appends records in the layouts above.
class CdRecordWriter {
public:
    void Paragraph();
    void ParagraphStyle(std::uint16_t pabId, std::uint16_t justify);
    void ParagraphStyleReference(std::uint16_t pabId);
    void Text(const FontId& font, std::string_view text);
    void LinkByIndex(std::uint16_t index, std::string_view comment = {}, std::string_view serverHint = {});
    void Link(std::string_view noteLink40, std::string_view comment, std::string_view serverHint = {});
    // Graphic, image header and segments of at most 10240 bytes each.
    void Graphic(std::uint16_t imageType, std::uint16_t width, std::uint16_t height, std::string_view imageFile);
    void HotspotBegin(std::uint16_t type, std::uint32_t flags, std::string_view data);
    void HotspotEnd();
    // The font table of a $Fonts item: faces numbered from 5 with their names.
    void FontTable(const std::vector<std::string>& names);
    // An embedded object: begin and end records.
    void OleObject(std::string_view attachName, std::string_view className);
    // Any record given whole.
    void Raw(std::string_view record);

    const std::string& Value() const { return value_; }
    std::string Take() { return std::move(value_); }

private:
    void Byte(std::uint8_t signature, std::string_view body);
    void Word(std::uint8_t signature, std::string_view body);
    void Long(std::uint8_t signature, std::string_view body);
    void Pad();
    std::string value_;
};

// The plain text of a rich text value: paragraphs become line feeds (none
// before the first), zero bytes in text become line feeds.
std::string RichTextPlainText(std::string_view value);

// The offset of the first damaged record (a length past the end or shorter
// than its header), or npos when every record is whole.
std::size_t FirstDamagedRecord(std::string_view value);

// Face number to font name, from the CDFONTTABLE of a $Fonts value.
std::map<std::uint8_t, std::string> ReadFontTable(std::string_view value);

// True when the value holds an embedded object (CDOLEBEGIN).
bool RichTextHasOleObject(std::string_view value);

}  // namespace qb::notes

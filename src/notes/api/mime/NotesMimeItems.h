#pragma once
// Mail that Notes stores as MIME: the RFC 822 header items (type 0x0502)
// and the MIME part items (type 0x0019) of a document, turned back into the
// MIME message they were itemised from.
//
// Item values are the bytes after the item's type word (as DXL's
// <rawitemdata> holds them), little-endian as on disk:
//   RFC 822 item: WORD size of this header (14), DWORD flags, WORD length
//     of the Notes native value, WORD header name length, WORD delimiter
//     length (": "), WORD header body length; then the native value, the
//     header name, the delimiter and the header body as received (folded,
//     encoded words kept, often ending in CRLF).
//   MIME part: WORD version, DWORD flags, BYTE part type, BYTE spare, WORD
//     byte count, WORD boundary length, WORD headers length, WORD spare,
//     DWORD spare (20 bytes); then byte count bytes: the boundary line(s),
//     the part's headers (ending with their empty line) and the content.
//     With the "body in object" flag the content is the name of a $FILE
//     object that holds it.

#include "notes/api/mime/MimeParser.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::mime {

constexpr uint16_t kItemTypeRfc822Text = 0x0502;
constexpr uint16_t kItemTypeMimePart = 0x0019;

// Low bits of the RFC 822 item flags: how the native value was made.
enum class Rfc822Format : uint32_t { Address = 0, Date = 1, Text = 2, Other = 3 };

struct Rfc822Item {
    uint32_t flags = 0;
    std::string nativeValue;  // the Notes value (a TIMEDATE for dates, else text)
    std::string headerName;   // "Subject", "X-Track-ID" ...
    std::string delimiter;    // ": "
    std::string headerBody;   // raw value as received
    Rfc822Format format() const { return static_cast<Rfc822Format>(flags & 3); }
    // "Name: body" without a trailing line break; folding kept.
    std::string HeaderLine() const;
    // The header body unfolded, encoded words decoded, as UTF-8: the item's
    // text value (the native value is in the Notes character set, LMBCS,
    // which is not UTF-8 beyond ASCII).
    std::string Text() const;
    // The header body read as a mail date (for Date-format items).
    std::optional<MailDate> Date() const;
};

enum class MimePartType : uint8_t { Prolog = 1, Body = 2, Epilog = 3, RetrieveInfo = 4, Message = 5 };

constexpr uint32_t kMimePartHasBoundary = 0x01;
constexpr uint32_t kMimePartHasHeaders = 0x02;
constexpr uint32_t kMimePartBodyInDbObject = 0x04;
constexpr uint32_t kMimePartSharedDbObject = 0x08;
constexpr uint32_t kMimePartSkipForConversion = 0x10;

struct MimePartItem {
    uint16_t version = 0;
    uint32_t flags = 0;
    uint8_t partType = 0;
    std::string boundary;
    std::string headers;
    std::string content;  // or the $FILE object name with kMimePartBodyInDbObject
};

enum class NotesMimeStatus { Ok, TooShort, LengthsPastEnd };

NotesMimeStatus DecodeRfc822Item(std::string_view value, Rfc822Item& item);
NotesMimeStatus DecodeMimePartItem(std::string_view value, MimePartItem& part);
const char* NotesMimeStatusText(NotesMimeStatus status);

// One item of a document as the reader hands it over.
struct NotesRawItem {
    std::string name;
    uint16_t type = 0;
    std::string value;  // without the type word
};

// Gives the content of a $FILE object by name, or nothing when missing.
using FileObjectReader = std::function<std::optional<std::string>(std::string_view objectName)>;

// The document's MIME message as raw RFC 822 text: its RFC 822 header items
// (in item order) followed by its MIME part items of the body item name (in
// item order). Other items are ignored. Defects go to warnings.
std::string AssembleNotesMime(const std::vector<NotesRawItem>& items, std::string_view bodyItemName,
                              const FileObjectReader& readFileObject, std::vector<std::string>& warnings);

// AssembleNotesMime and ParseMimeMessage in one; the assembly warnings come
// first in the message's warnings.
MimeMessage ParseNotesMime(const std::vector<NotesRawItem>& items, std::string_view bodyItemName = "Body",
                           const FileObjectReader& readFileObject = {});

}  // namespace qb::mime

#include "notes/api/mime/NotesMimeItems.h"

#include "notes/api/mime/EncodedWords.h"
#include "notes/api/mime/HeaderList.h"

namespace qb::mime {

namespace {

uint16_t Word(std::string_view v, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(v[at]) | (static_cast<unsigned char>(v[at + 1]) << 8));
}

uint32_t Dword(std::string_view v, size_t at) { return Word(v, at) | (static_cast<uint32_t>(Word(v, at + 2)) << 16); }

constexpr size_t kRfc822HeaderSize = 14;
constexpr size_t kMimePartHeaderSize = 20;

bool IsContentField(std::string_view name) {
    return name.size() >= 8 && EqualsIgnoreCase(name.substr(0, 8), "Content-");
}

// Makes sure the header text just appended ends with its empty line.
void EndHeaderBlock(std::string& raw) {
    if (raw.ends_with("\r\n\r\n") || raw.ends_with("\n\n")) return;
    if (raw.ends_with('\n')) raw += "\r\n";
    else raw += "\r\n\r\n";
}

}  // namespace

std::string Rfc822Item::HeaderLine() const {
    std::string line = headerName + (delimiter.empty() ? std::string(": ") : delimiter) + headerBody;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

std::string Rfc822Item::Text() const {
    // Unfold by parsing the line as a one-field header block.
    HeaderBlock block = ParseHeaderBlock("X: " + headerBody);
    const HeaderField* field = block.headers.Find("X");
    return DecodeHeaderText(field ? field->value : std::string(Trim(headerBody)));
}

std::optional<MailDate> Rfc822Item::Date() const { return ParseMailDate(headerBody); }

NotesMimeStatus DecodeRfc822Item(std::string_view value, Rfc822Item& item) {
    if (value.size() < kRfc822HeaderSize) return NotesMimeStatus::TooShort;
    // The first word is the size of this header; later versions may grow it.
    size_t headerSize = Word(value, 0);
    if (headerSize < kRfc822HeaderSize) headerSize = kRfc822HeaderSize;
    item.flags = Dword(value, 2);
    size_t nativeLength = Word(value, 6);
    size_t nameLength = Word(value, 8);
    size_t delimiterLength = Word(value, 10);
    size_t bodyLength = Word(value, 12);
    if (headerSize + nativeLength + nameLength + delimiterLength + bodyLength > value.size())
        return NotesMimeStatus::LengthsPastEnd;
    size_t pos = headerSize;
    item.nativeValue = std::string(value.substr(pos, nativeLength));
    pos += nativeLength;
    item.headerName = std::string(value.substr(pos, nameLength));
    pos += nameLength;
    item.delimiter = std::string(value.substr(pos, delimiterLength));
    pos += delimiterLength;
    item.headerBody = std::string(value.substr(pos, bodyLength));
    return NotesMimeStatus::Ok;
}

NotesMimeStatus DecodeMimePartItem(std::string_view value, MimePartItem& part) {
    if (value.size() < kMimePartHeaderSize) return NotesMimeStatus::TooShort;
    part.version = Word(value, 0);
    part.flags = Dword(value, 2);
    part.partType = static_cast<uint8_t>(value[6]);
    size_t byteCount = Word(value, 8);
    size_t boundaryLength = Word(value, 10);
    size_t headersLength = Word(value, 12);
    std::string_view data = value.substr(kMimePartHeaderSize);
    NotesMimeStatus status = NotesMimeStatus::Ok;
    if (byteCount > data.size()) {
        status = NotesMimeStatus::LengthsPastEnd;
        byteCount = data.size();
    }
    // Parts larger than a WORD can count are stored whole; trust the item.
    if (byteCount < data.size() && data.size() > 0xFFFF) byteCount = data.size();
    data = data.substr(0, byteCount);
    if (boundaryLength + headersLength > data.size()) {
        status = NotesMimeStatus::LengthsPastEnd;
        boundaryLength = std::min(boundaryLength, data.size());
        headersLength = std::min(headersLength, data.size() - boundaryLength);
    }
    part.boundary = std::string(data.substr(0, boundaryLength));
    part.headers = std::string(data.substr(boundaryLength, headersLength));
    part.content = std::string(data.substr(boundaryLength + headersLength));
    return status;
}

const char* NotesMimeStatusText(NotesMimeStatus status) {
    switch (status) {
        case NotesMimeStatus::Ok: return "ok";
        case NotesMimeStatus::TooShort: return "item shorter than its header";
        case NotesMimeStatus::LengthsPastEnd: return "lengths past the end of the item";
    }
    return "unknown";
}

std::string AssembleNotesMime(const std::vector<NotesRawItem>& items, std::string_view bodyItemName,
                              const FileObjectReader& readFileObject, std::vector<std::string>& warnings) {
    std::vector<MimePartItem> parts;
    for (const auto& item : items) {
        if (item.type != kItemTypeMimePart || !EqualsIgnoreCase(item.name, bodyItemName)) continue;
        MimePartItem part;
        NotesMimeStatus status = DecodeMimePartItem(item.value, part);
        if (status == NotesMimeStatus::TooShort) {
            warnings.push_back("MIME part item " + item.name + ": " + NotesMimeStatusText(status));
            continue;
        }
        if (status != NotesMimeStatus::Ok)
            warnings.push_back("MIME part item " + item.name + ": " + NotesMimeStatusText(status));
        parts.push_back(std::move(part));
    }
    // Content fields of the top part live in the first MIME part's headers;
    // copies among the header items must not shadow them.
    bool topHasContentFields = !parts.empty() && (parts.front().flags & kMimePartHasHeaders) &&
                               !parts.front().headers.empty();
    std::string raw;
    for (const auto& item : items) {
        if (item.type != kItemTypeRfc822Text) continue;
        Rfc822Item header;
        NotesMimeStatus status = DecodeRfc822Item(item.value, header);
        if (status != NotesMimeStatus::Ok) {
            warnings.push_back("RFC 822 item " + item.name + ": " + NotesMimeStatusText(status));
            continue;
        }
        if (header.headerName.empty()) continue;
        if (topHasContentFields && IsContentField(header.headerName)) continue;
        raw += header.HeaderLine();
        raw += "\r\n";
    }
    if (parts.empty()) {
        raw += "\r\n";
        return raw;
    }
    if (!topHasContentFields) raw += "\r\n";
    for (size_t i = 0; i < parts.size(); ++i) {
        const MimePartItem& part = parts[i];
        // A delimiter must start a line; some writers keep the line break
        // in the content before it, others in the boundary.
        if (!part.boundary.empty() && !raw.ends_with('\n') && part.boundary.front() == '-') raw += "\r\n";
        raw += part.boundary;
        if (!part.headers.empty()) {
            raw += part.headers;
            EndHeaderBlock(raw);
        } else if (i > 0 && !part.boundary.empty()) {
            raw += "\r\n";  // a part without fields starts with its empty line
        }
        if (part.flags & kMimePartBodyInDbObject) {
            std::string name(Trim(std::string_view(part.content).substr(0, part.content.find('\0'))));
            std::optional<std::string> content = readFileObject ? readFileObject(name) : std::nullopt;
            if (content) {
                raw += *content;
            } else {
                warnings.push_back("MIME part content object \"" + name + "\" not found");
            }
        } else {
            raw += part.content;
        }
    }
    return raw;
}

MimeMessage ParseNotesMime(const std::vector<NotesRawItem>& items, std::string_view bodyItemName,
                           const FileObjectReader& readFileObject) {
    std::vector<std::string> warnings;
    std::string raw = AssembleNotesMime(items, bodyItemName, readFileObject, warnings);
    MimeMessage message = ParseMimeMessage(raw);
    warnings.insert(warnings.end(), message.warnings.begin(), message.warnings.end());
    message.warnings = std::move(warnings);
    return message;
}

}  // namespace qb::mime

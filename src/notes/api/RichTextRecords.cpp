#include "notes/api/RichTextRecords.h"

#include "notes/api/NotesFormat.h"

#include <algorithm>

namespace qb::notes {

bool CdRecordReader::Next(CdRecord* record) {
    if (damaged_ || offset_ + 2 > value_.size()) return false;
    std::uint8_t signature = static_cast<std::uint8_t>(value_[offset_]);
    std::uint8_t second = static_cast<std::uint8_t>(value_[offset_ + 1]);
    std::size_t header = 2, length = second;
    if (second == 0xFF) {
        header = 4;
        if (offset_ + 4 > value_.size()) return damaged_ = true, false;
        length = GetWord(value_, offset_ + 2);
    } else if (second == 0x00) {
        header = 6;
        if (offset_ + 6 > value_.size()) return damaged_ = true, false;
        length = GetDword(value_, offset_ + 2);
    }
    if (length < header || length > value_.size() - offset_) return damaged_ = true, false;
    record->signature = signature;
    record->record = value_.substr(offset_, length);
    record->body = record->record.substr(header);
    offset_ += length + (length & 1);
    return true;
}

void CdRecordWriter::Pad() {
    if (value_.size() & 1) value_.push_back('\0');
}

void CdRecordWriter::Byte(std::uint8_t signature, std::string_view body) {
    value_.push_back(static_cast<char>(signature));
    value_.push_back(static_cast<char>(body.size() + 2));
    value_.append(body);
    Pad();
}

void CdRecordWriter::Word(std::uint8_t signature, std::string_view body) {
    value_.push_back(static_cast<char>(signature));
    value_.push_back(static_cast<char>(0xFF));
    PutWord(value_, static_cast<std::uint16_t>(body.size() + 4));
    value_.append(body);
    Pad();
}

void CdRecordWriter::Long(std::uint8_t signature, std::string_view body) {
    value_.push_back(static_cast<char>(signature));
    value_.push_back('\0');
    PutDword(value_, static_cast<std::uint32_t>(body.size() + 6));
    value_.append(body);
    Pad();
}

void CdRecordWriter::Paragraph() { Byte(SIG_CD_PARAGRAPH, {}); }

void CdRecordWriter::ParagraphStyle(std::uint16_t pabId, std::uint16_t justify) {
    std::string body;
    PutWord(body, pabId);
    PutWord(body, justify);
    body.resize(90 - 4, '\0');
    Word(SIG_CD_PABDEFINITION, body);
}

void CdRecordWriter::ParagraphStyleReference(std::uint16_t pabId) {
    std::string body;
    PutWord(body, pabId);
    Byte(SIG_CD_PABREFERENCE, body);
}

void CdRecordWriter::Text(const FontId& font, std::string_view text) {
    // A text record holds at most a WORD length; long runs are split.
    constexpr std::size_t kMaxText = 0xFFFF - 8 - 1;
    do {
        std::size_t size = std::min(text.size(), kMaxText);
        // Split between characters, not inside a UTF-8 sequence.
        while (size < text.size() && size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
        if (size == 0) size = std::min(text.size(), kMaxText);
        std::string_view piece = text.substr(0, size);
        text.remove_prefix(piece.size());
        std::string body;
        body.push_back(static_cast<char>(font.face));
        body.push_back(static_cast<char>(font.attributes));
        body.push_back(static_cast<char>(font.color));
        body.push_back(static_cast<char>(font.pointSize));
        body.append(piece);
        Word(SIG_CD_TEXT, body);
    } while (!text.empty());
}

namespace {

// A zero-terminated text of a link record: cut at an inner zero and kept
// short enough for a WORD record length.
void AppendLinkText(std::string& body, std::string_view text) {
    text = text.substr(0, std::min<std::size_t>(text.find('\0'), 0x7F00));
    body.append(text);
    body.push_back('\0');
}

}  // namespace

void CdRecordWriter::LinkByIndex(std::uint16_t index, std::string_view comment, std::string_view serverHint) {
    std::string body;
    PutWord(body, index);
    AppendLinkText(body, comment);
    AppendLinkText(body, serverHint);
    Word(SIG_CD_LINK, body);
}

void CdRecordWriter::Link(std::string_view noteLink40, std::string_view comment, std::string_view serverHint) {
    std::string body(noteLink40.substr(0, kNoteLinkSize));
    body.resize(kNoteLinkSize, '\0');
    AppendLinkText(body, comment);
    AppendLinkText(body, serverHint);
    Word(SIG_CD_LINKEXPORT2, body);
}

void CdRecordWriter::Graphic(std::uint16_t imageType, std::uint16_t width, std::uint16_t height,
                             std::string_view imageFile) {
    constexpr std::size_t kSegment = 10240;
    std::string graphic;
    PutWord(graphic, width);  // DestSize
    PutWord(graphic, height);
    PutDword(graphic, 0);  // CropSize
    PutDword(graphic, 0);  // CropOffset
    PutWord(graphic, 0);   // fResize
    graphic.push_back('\x02');  // Version
    graphic.push_back('\0');    // bFlags
    PutWord(graphic, 0);
    Long(SIG_CD_GRAPHIC, graphic);
    std::string header;
    PutWord(header, imageType);
    PutWord(header, width);
    PutWord(header, height);
    PutDword(header, static_cast<std::uint32_t>(imageFile.size()));
    PutDword(header, static_cast<std::uint32_t>((imageFile.size() + kSegment - 1) / kSegment));
    PutDword(header, 0);  // Flags
    PutDword(header, 0);  // Reserved
    Long(SIG_CD_IMAGEHEADER, header);
    for (std::size_t offset = 0; offset < imageFile.size(); offset += kSegment) {
        std::string_view data = imageFile.substr(offset, kSegment);
        std::string segment;
        PutWord(segment, static_cast<std::uint16_t>(data.size()));
        PutWord(segment, static_cast<std::uint16_t>(data.size() + (data.size() & 1)));
        segment.append(data);
        Long(SIG_CD_IMAGESEGMENT, segment);
    }
}

void CdRecordWriter::HotspotBegin(std::uint16_t type, std::uint32_t flags, std::string_view data) {
    std::string body;
    PutWord(body, type);
    PutDword(body, flags);
    PutWord(body, static_cast<std::uint16_t>(data.size()));
    body.append(data);
    Word(SIG_CD_HOTSPOTBEGIN, body);
}

void CdRecordWriter::HotspotEnd() { Byte(SIG_CD_HOTSPOTEND, {}); }

void CdRecordWriter::OleObject(std::string_view attachName, std::string_view className) {
    attachName = attachName.substr(0, 0x7000);
    className = className.substr(0, 0x7000);
    std::string body;
    PutWord(body, 0);  // version
    PutDword(body, 0);
    PutWord(body, 0);  // clipboard format
    PutWord(body, static_cast<std::uint16_t>(attachName.size()));
    PutWord(body, static_cast<std::uint16_t>(className.size()));
    PutWord(body, 0);
    body.append(attachName);
    body.append(className);
    Word(SIG_CD_OLEBEGIN, body);
    std::string end;
    PutDword(end, 0);
    Word(SIG_CD_OLEEND, end);
}

void CdRecordWriter::Raw(std::string_view record) {
    value_.append(record);
    Pad();
}

std::string RichTextPlainText(std::string_view value) {
    std::string text;
    bool first = true;
    CdRecordReader reader(value);
    for (CdRecord record; reader.Next(&record);) {
        if (record.signature == SIG_CD_PARAGRAPH) {
            if (!first) text.push_back('\n');
            first = false;
        } else if (record.signature == SIG_CD_TEXT && record.body.size() >= 4) {
            first = false;
            for (char c : record.body.substr(4)) text.push_back(c == '\0' ? '\n' : c);
        }
    }
    return text;
}

std::size_t FirstDamagedRecord(std::string_view value) {
    CdRecordReader reader(value);
    for (CdRecord record; reader.Next(&record);) {
    }
    return reader.Damaged() ? reader.Offset() : std::string_view::npos;
}

void CdRecordWriter::FontTable(const std::vector<std::string>& names) {
    std::size_t count = std::min<std::size_t>(names.size(), 0xFF - FONT_FACE_FIRST_TABLE);
    std::string body;
    PutWord(body, static_cast<std::uint16_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        body.push_back(static_cast<char>(FONT_FACE_FIRST_TABLE + i));
        body.push_back('\0');  // family: don't care
        std::string name = names[i].substr(0, kFontFaceNameSize - 1);
        name.resize(kFontFaceNameSize, '\0');
        body += name;
    }
    Word(SIG_CD_FONTTABLE, body);
}

std::map<std::uint8_t, std::string> ReadFontTable(std::string_view value) {
    std::map<std::uint8_t, std::string> fonts;
    CdRecordReader reader(value);
    for (CdRecord record; reader.Next(&record);) {
        if (record.signature != SIG_CD_FONTTABLE || record.body.size() < 2) continue;
        std::size_t count = GetWord(record.body, 0);
        constexpr std::size_t kFace = 2 + kFontFaceNameSize;
        for (std::size_t i = 0; i < count && 2 + (i + 1) * kFace <= record.body.size(); ++i) {
            std::string_view face = record.body.substr(2 + i * kFace, kFace);
            std::string_view name = face.substr(2);
            name = name.substr(0, name.find('\0'));
            if (!name.empty()) fonts[static_cast<std::uint8_t>(face[0])] = std::string(name);
        }
    }
    return fonts;
}

bool RichTextHasOleObject(std::string_view value) {
    CdRecordReader reader(value);
    for (CdRecord record; reader.Next(&record);)
        if (record.signature == SIG_CD_OLEBEGIN) return true;
    return false;
}

}  // namespace qb::notes

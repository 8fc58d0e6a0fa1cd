#include "notes/api/Lmbcs.h"

#include "notes/api/RichTextRecords.h"
#include "notes/api/mime/Charset.h"

namespace qb::notes {

namespace {

const char* SingleByteGroup(unsigned char group) {
    switch (group) {
    case 0x01: return "cp850";
    case 0x02: return "cp852";
    case 0x03: return "cp1255";
    case 0x04: return "cp1256";
    case 0x05: return "cp1251";
    case 0x06: return "cp1253";
    case 0x08: return "cp1254";
    case 0x0B: return "cp874";
    default: return nullptr;
    }
}

const char* DoubleByteGroup(unsigned char group) {
    switch (group) {
    case 0x10: return "cp932";
    case 0x11: return "cp949";
    case 0x12: return "cp950";
    case 0x13: return "cp936";
    default: return nullptr;
    }
}

bool IsGroupByte(unsigned char byte) {
    return SingleByteGroup(byte) || DoubleByteGroup(byte) || byte == 0x0F || byte == 0x14;
}

// A lead byte of the double-byte code pages (their second bytes start at 0x40).
bool IsLeadByte(unsigned char group, unsigned char byte) {
    if (group == 0x10) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    return byte >= 0x81 && byte <= 0xFE;
}

void AppendConverted(std::string& out, std::string_view bytes, const char* charset) {
    mime::ConvertToUtf8(bytes, charset, out);
}

}  // namespace

bool LooksLikeLmbcs(std::string_view bytes) {
    for (char c : bytes)
        if (IsGroupByte(static_cast<unsigned char>(c))) return true;
    return !mime::IsValidUtf8(bytes);
}

std::string LmbcsToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x80) {  // the optimisation group: CP850
            AppendConverted(out, bytes.substr(i, 1), "cp850");
            ++i;
        } else if (const char* single = SingleByteGroup(byte); single && i + 1 < bytes.size()) {
            AppendConverted(out, bytes.substr(i + 1, 1), single);
            i += 2;
        } else if (const char* dbcs = DoubleByteGroup(byte); dbcs && i + 1 < bytes.size()) {
            std::size_t length = IsLeadByte(byte, static_cast<unsigned char>(bytes[i + 1])) && i + 2 < bytes.size() ? 2 : 1;
            AppendConverted(out, bytes.substr(i + 1, length), dbcs);
            i += 1 + length;
        } else if (byte == 0x14 && i + 2 < bytes.size()) {
            char32_t unit = static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                                  static_cast<unsigned char>(bytes[i + 2]));
            mime::AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? U'\uFFFD' : unit);
            i += 3;
        } else if (byte == 0x0F && i + 1 < bytes.size()) {
            unsigned char control = static_cast<unsigned char>(bytes[i + 1]);
            if (control < 0x20) out.push_back(static_cast<char>(control));
            else mime::AppendUtf8(out, control >= 0x80 && control < 0xA0 ? control : U'\uFFFD');
            i += 2;
        } else if (IsGroupByte(byte)) {  // a group cut short by the end
            break;
        } else {
            out.push_back(static_cast<char>(byte));
            ++i;
        }
    }
    return out;
}

std::string NotesTextToUtf8(std::string_view bytes) {
    return LooksLikeLmbcs(bytes) ? LmbcsToUtf8(bytes) : std::string(bytes);
}

std::string RichTextToUtf8(std::string_view value) {
    bool needed = false;
    {
        CdRecordReader reader(value);
        for (CdRecord record; reader.Next(&record) && !needed;)
            needed = record.signature == SIG_CD_TEXT && record.body.size() > 4 && LooksLikeLmbcs(record.body.substr(4));
    }
    if (!needed) return std::string(value);
    CdRecordWriter writer;
    CdRecordReader reader(value);
    for (CdRecord record; reader.Next(&record);) {
        if (record.signature != SIG_CD_TEXT || record.body.size() <= 4 || !LooksLikeLmbcs(record.body.substr(4))) {
            writer.Raw(record.record);
            continue;
        }
        FontId font{static_cast<std::uint8_t>(record.body[0]), static_cast<std::uint8_t>(record.body[1]),
                    static_cast<std::uint8_t>(record.body[2]), static_cast<std::uint8_t>(record.body[3])};
        writer.Text(font, LmbcsToUtf8(record.body.substr(4)));
    }
    std::string out = writer.Take();
    if (reader.Offset() < value.size()) out.append(value.substr(reader.Offset()));  // a damaged tail as it was
    return out;
}

}  // namespace qb::notes

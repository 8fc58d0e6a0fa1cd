// LMBCS decoding in one pass; see Lmbcs.h.

#include "notes/api/Lmbcs.h"

#include "notes/api/RichTextRecords.h"
#include "notes/api/mime/Charset.h"
#include "text/Utf16.h"
#include "text/Utf8.h"

#include <array>
#include <memory>

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

// One pass over LMBCS text. Characters of the same code page that follow one
// another are gathered and converted together, through a converter opened
// at most once per code page for the whole text.
class LmbcsDecoder {
public:
    std::string Decode(std::string_view bytes) {
        out_.reserve(bytes.size());
        std::size_t i = 0;
        while (i < bytes.size()) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if (byte >= 0x80) {  // the optimisation group: CP850
                Gather(0x01, bytes.substr(i, 1));
                ++i;
            } else if (SingleByteGroup(byte) && i + 1 < bytes.size()) {
                Gather(byte, bytes.substr(i + 1, 1));
                i += 2;
            } else if (DoubleByteGroup(byte) && i + 1 < bytes.size()) {
                const std::size_t length =
                    IsLeadByte(byte, static_cast<unsigned char>(bytes[i + 1])) && i + 2 < bytes.size() ? 2 : 1;
                Gather(byte, bytes.substr(i + 1, length));
                i += 1 + length;
            } else if (byte == 0x14 && i + 2 < bytes.size()) {
                i = Ucs2(bytes, i);
            } else if (byte == 0x0F && i + 1 < bytes.size()) {
                Flush();
                const auto control = static_cast<unsigned char>(bytes[i + 1]);
                if (control < 0x20) out_.push_back(static_cast<char>(control));
                else text::AppendUtf8(out_, control >= 0x80 && control < 0xA0 ? control : text::kReplacementCharacter);
                i += 2;
            } else if (IsGroupByte(byte)) {  // a group cut short by the end
                break;
            } else {
                Flush();
                out_.push_back(static_cast<char>(byte));
                ++i;
            }
        }
        Flush();
        return std::move(out_);
    }

private:
    static char32_t Unit(std::string_view bytes, std::size_t at) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1]));
    }

    // The UCS-2 group at bytes[i]; a high surrogate followed by a low one in
    // the next group is one character. Returns the position after it.
    std::size_t Ucs2(std::string_view bytes, std::size_t i) {
        Flush();
        char32_t cp = Unit(bytes, i + 1);
        i += 3;
        if (text::IsHighSurrogate(cp) && i + 2 < bytes.size() && bytes[i] == 0x14 &&
            text::IsLowSurrogate(Unit(bytes, i + 1))) {
            cp = text::CombineSurrogates(cp, Unit(bytes, i + 1));
            i += 3;
        }
        text::AppendUtf8(out_, cp);  // a lone surrogate becomes U+FFFD
        return i;
    }

    void Gather(unsigned char group, std::string_view bytes) {
        if (group != pendingGroup_) Flush();
        pendingGroup_ = group;
        pending_.append(bytes);
    }

    void Flush() {
        if (pending_.empty()) return;
        auto& decoder = decoders_[pendingGroup_];
        if (!decoder) {
            const char* charset = SingleByteGroup(pendingGroup_);
            decoder = std::make_unique<mime::CharsetDecoder>(charset ? charset : DoubleByteGroup(pendingGroup_));
        }
        decoder->Append(pending_, out_);
        pending_.clear();
    }

    std::string out_;
    std::string pending_;
    unsigned char pendingGroup_ = 0;
    std::array<std::unique_ptr<mime::CharsetDecoder>, 0x14> decoders_;
};

}  // namespace

bool LooksLikeLmbcs(std::string_view bytes) {
    for (char c : bytes)
        if (IsGroupByte(static_cast<unsigned char>(c))) return true;
    return !text::IsValidUtf8(bytes);
}

std::string LmbcsToUtf8(std::string_view bytes) { return LmbcsDecoder().Decode(bytes); }

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

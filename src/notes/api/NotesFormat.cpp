#include "notes/api/NotesFormat.h"

#include "notes/api/Lmbcs.h"

#include "notes/api/mime/NotesMimeItems.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qb::notes {

void PutWord(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PutDword(Bytes& out, std::uint32_t value) {
    PutWord(out, static_cast<std::uint16_t>(value & 0xFFFF));
    PutWord(out, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t GetWord(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                      (static_cast<unsigned char>(bytes[offset + 1]) << 8));
}

std::uint32_t GetDword(std::string_view bytes, std::size_t offset) {
    return GetWord(bytes, offset) | (static_cast<std::uint32_t>(GetWord(bytes, offset + 2)) << 16);
}

namespace {

void PutDouble(Bytes& out, double value) {
    char raw[8];
    std::memcpy(raw, &value, 8);
    out.append(raw, 8);
}

double GetDouble(std::string_view bytes, std::size_t offset) {
    double value;
    std::memcpy(&value, bytes.data() + offset, 8);
    return value;
}

void PutTimedate(Bytes& out, const LNDatetime& time) {
    TIMEDATE td = time.GetTimedate();
    PutDword(out, td.Innards[0]);
    PutDword(out, td.Innards[1]);
}

LNDatetime GetTimedate(std::string_view bytes, std::size_t offset) {
    TIMEDATE td;
    td.Innards[0] = GetDword(bytes, offset);
    td.Innards[1] = GetDword(bytes, offset + 4);
    return LNDatetime::FromTimedate(td);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Bytes EncodeTextList(const std::vector<std::string>& texts) {
    Bytes out;
    PutWord(out, static_cast<std::uint16_t>(texts.size()));
    for (const std::string& text : texts) PutWord(out, static_cast<std::uint16_t>(std::min<std::size_t>(text.size(), 0xFFFF)));
    for (const std::string& text : texts) out.append(text, 0, std::min<std::size_t>(text.size(), 0xFFFF));
    return out;
}

Bytes EncodeNumber(double number) {
    Bytes out;
    PutDouble(out, number);
    return out;
}

Bytes EncodeNumbers(const std::vector<double>& numbers) {
    Bytes out;
    PutWord(out, static_cast<std::uint16_t>(numbers.size()));
    PutWord(out, 0);
    for (double number : numbers) PutDouble(out, number);
    return out;
}

Bytes EncodeTime(const LNDatetime& time) {
    Bytes out;
    PutTimedate(out, time);
    return out;
}

Bytes EncodeTimes(const std::vector<LNDatetime>& times, const std::vector<std::pair<LNDatetime, LNDatetime>>& pairs) {
    Bytes out;
    PutWord(out, static_cast<std::uint16_t>(times.size()));
    PutWord(out, static_cast<std::uint16_t>(pairs.size()));
    for (const LNDatetime& time : times) PutTimedate(out, time);
    for (const auto& [lower, upper] : pairs) {
        PutTimedate(out, lower);
        PutTimedate(out, upper);
    }
    return out;
}

bool EncodeNoteRefs(const std::vector<std::string>& unids, Bytes* out) {
    Bytes result;
    PutWord(result, static_cast<std::uint16_t>(unids.size()));
    for (const std::string& unid : unids) {
        Bytes raw;
        if (!UnidFromText(unid, &raw)) return false;
        result += raw;
    }
    *out = std::move(result);
    return true;
}

LNSTATUS DecodeTextList(std::string_view value, std::vector<std::string>* texts) {
    texts->clear();
    if (value.size() < 2) return value.empty() ? LNNOERROR : LNERR_BAD_ITEM_VALUE;
    std::size_t count = GetWord(value, 0);
    if (2 + count * 2 > value.size()) return LNERR_BAD_ITEM_VALUE;
    std::size_t offset = 2 + count * 2;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t length = GetWord(value, 2 + i * 2);
        if (offset + length > value.size()) return LNERR_BAD_ITEM_VALUE;
        texts->emplace_back(value.substr(offset, length));
        offset += length;
    }
    return LNNOERROR;
}

LNSTATUS DecodeNumbers(std::string_view value, bool range, std::vector<double>* numbers,
                       std::vector<std::pair<double, double>>* pairs) {
    numbers->clear();
    if (pairs) pairs->clear();
    if (!range) {
        if (value.size() != 8) return LNERR_BAD_ITEM_VALUE;
        numbers->push_back(GetDouble(value, 0));
        return LNNOERROR;
    }
    if (value.size() < 4) return LNERR_BAD_ITEM_VALUE;
    std::size_t listCount = GetWord(value, 0), pairCount = GetWord(value, 2);
    if (4 + listCount * 8 + pairCount * 16 > value.size()) return LNERR_BAD_ITEM_VALUE;
    for (std::size_t i = 0; i < listCount; ++i) numbers->push_back(GetDouble(value, 4 + i * 8));
    std::size_t base = 4 + listCount * 8;
    for (std::size_t i = 0; pairs && i < pairCount; ++i)
        pairs->emplace_back(GetDouble(value, base + i * 16), GetDouble(value, base + i * 16 + 8));
    return LNNOERROR;
}

LNSTATUS DecodeTimes(std::string_view value, bool range, std::vector<LNDatetime>* times,
                     std::vector<std::pair<LNDatetime, LNDatetime>>* pairs) {
    times->clear();
    if (pairs) pairs->clear();
    if (!range) {
        if (value.size() != 8) return LNERR_BAD_ITEM_VALUE;
        times->push_back(GetTimedate(value, 0));
        return LNNOERROR;
    }
    if (value.size() < 4) return LNERR_BAD_ITEM_VALUE;
    std::size_t listCount = GetWord(value, 0), pairCount = GetWord(value, 2);
    if (4 + listCount * 8 + pairCount * 16 > value.size()) return LNERR_BAD_ITEM_VALUE;
    for (std::size_t i = 0; i < listCount; ++i) times->push_back(GetTimedate(value, 4 + i * 8));
    std::size_t base = 4 + listCount * 8;
    for (std::size_t i = 0; pairs && i < pairCount; ++i)
        pairs->emplace_back(GetTimedate(value, base + i * 16), GetTimedate(value, base + i * 16 + 8));
    return LNNOERROR;
}

LNSTATUS DecodeNoteRefs(std::string_view value, std::vector<std::string>* unids) {
    unids->clear();
    if (value.size() < 2) return value.empty() ? LNNOERROR : LNERR_BAD_ITEM_VALUE;
    std::size_t count = GetWord(value, 0);
    if (2 + count * 16 > value.size()) return LNERR_BAD_ITEM_VALUE;
    for (std::size_t i = 0; i < count; ++i) unids->push_back(UnidToText(value.substr(2 + i * 16, 16)));
    return LNNOERROR;
}

LNSTATUS DecodeRfc822(std::string_view value, int* format, std::string* native) {
    if (value.size() < 14) return LNERR_BAD_ITEM_VALUE;
    std::size_t headerSize = GetWord(value, 0);
    std::size_t nativeLength = GetWord(value, 6);
    if (headerSize < 14 || headerSize + nativeLength > value.size()) return LNERR_BAD_ITEM_VALUE;
    // The low two bits of the flags say how the native value was made (0
    // address, 1 date, 2 text); 0x08 (strict storage) is usually set too.
    *format = kRfc822FormatAddress + (static_cast<unsigned char>(value[2]) & 3);
    native->assign(value.substr(headerSize, nativeLength));
    return LNNOERROR;
}

LNSTATUS DecodeRfc822Text(std::string_view value, std::string* text) {
    int format = 0;
    std::string native;
    if (LNSTATUS status = DecodeRfc822(value, &format, &native)) return status;
    if (format == kRfc822FormatDate && native.size() == 8) {
        TIMEDATE td;
        td.Innards[0] = GetDword(native, 0);
        td.Innards[1] = GetDword(native, 4);
        *text = LNDatetime::FromTimedate(td).GetText();
    } else {
        // The native text is in the Notes character set (LMBCS), which is not
        // UTF-8 beyond ASCII; the header as received, unfolded and with its
        // encoded words decoded, is the same text in UTF-8.
        mime::Rfc822Item item;
        std::string decoded;
        if (mime::DecodeRfc822Item(value, item) == mime::NotesMimeStatus::Ok) decoded = item.Text();
        *text = decoded.empty() ? NotesTextToUtf8(native) : std::move(decoded);
    }
    return LNNOERROR;
}

std::string UnidToText(std::string_view raw) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08X%08X%08X%08X", GetDword(raw, 4), GetDword(raw, 0), GetDword(raw, 12),
                  GetDword(raw, 8));
    return buffer;
}

bool UnidFromText(std::string_view text, StoredUnid* stored) {
    if (text.size() != 32) return false;
    std::uint32_t words[4];
    for (int w = 0; w < 4; ++w) {
        std::uint32_t value = 0;
        for (int i = 0; i < 8; ++i) {
            int digit = HexValue(text[w * 8 + i]);
            if (digit < 0) return false;
            value = value << 4 | static_cast<std::uint32_t>(digit);
        }
        words[w] = value;
    }
    // The stored order: the File TIMEDATE's words swapped, then the Note's, each little-endian.
    const std::uint32_t order[4] = {words[1], words[0], words[3], words[2]};
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b) (*stored)[w * 4 + b] = static_cast<char>((order[w] >> (8 * b)) & 0xFF);
    return true;
}

bool UnidFromText(std::string_view text, Bytes* raw) {
    StoredUnid stored;
    if (!UnidFromText(text, &stored)) return false;
    raw->assign(stored.data(), stored.size());
    return true;
}

}  // namespace qb::notes

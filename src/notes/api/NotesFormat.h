#pragma once
// Canonical binary layouts of item values (little-endian, as the Notes C API
// stores them) and base64. Every item value is held in this form, whether it
// came from a DXL <rawitemdata> or from formatted DXL, so one decoder serves
// both.
//
//   text 0x0500            the bytes of the text
//   text list 0x0501       WORD count, count x WORD length, the texts
//   number 0x0300          IEEE double
//   number range 0x0301    WORD list count, WORD pair count, doubles, pairs
//   time 0x0400            TIMEDATE (two DWORDs)
//   time range 0x0401      WORD list count, WORD pair count, TIMEDATEs, pairs
//   note ref list 0x0004   WORD count, count x UNID (16 bytes)
//   RFC 822 text 0x0502    RFC822ITEMDESC (14 bytes) then native, name, delimiter, body
//   rich text 0x0001       CD records (see RichTextRecords.h)

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "notes/api/ItemTypes.h"
#include "notes/api/LNDatetime.h"
#include "notes/api/LNGlobal.h"
#include "text/Base64.h"

namespace qb::notes {

using Bytes = std::string;

void PutWord(Bytes& out, std::uint16_t value);
void PutDword(Bytes& out, std::uint32_t value);
std::uint16_t GetWord(std::string_view bytes, std::size_t offset);
std::uint32_t GetDword(std::string_view bytes, std::size_t offset);

Bytes EncodeTextList(const std::vector<std::string>& texts);
Bytes EncodeNumbers(const std::vector<double>& numbers);  // range layout
Bytes EncodeNumber(double number);
Bytes EncodeTimes(const std::vector<LNDatetime>& times,
                  const std::vector<std::pair<LNDatetime, LNDatetime>>& pairs);  // range layout
Bytes EncodeTime(const LNDatetime& time);
// UNIDs as 32 hexadecimal digits; false when one is malformed.
bool EncodeNoteRefs(const std::vector<std::string>& unids, Bytes* out);

LNSTATUS DecodeTextList(std::string_view value, std::vector<std::string>* texts);
LNSTATUS DecodeNumbers(std::string_view value, bool range, std::vector<double>* numbers,
                       std::vector<std::pair<double, double>>* pairs);
LNSTATUS DecodeTimes(std::string_view value, bool range, std::vector<LNDatetime>* times,
                     std::vector<std::pair<LNDatetime, LNDatetime>>* pairs);
LNSTATUS DecodeNoteRefs(std::string_view value, std::vector<std::string>* unids);
// The native value of an RFC 822 text item and its format (the byte after
// the header size: 8 addresses, 9 a date whose native value is a TIMEDATE,
// 10 text).
inline constexpr int kRfc822FormatAddress = 8;
inline constexpr int kRfc822FormatDate = 9;
inline constexpr int kRfc822FormatText = 10;
LNSTATUS DecodeRfc822(std::string_view value, int* format, std::string* native);
// The native text; a date is given as LNDatetime::GetText.
LNSTATUS DecodeRfc822Text(std::string_view value, std::string* text);

// 32 upper-case hex digits of a UNID stored as File and Note TIMEDATEs, and back.
std::string UnidToText(std::string_view sixteenBytes);
bool UnidFromText(std::string_view text, Bytes* sixteenBytes);

// A UNID as a note ref list stores it. Two UNIDs' texts are equal, case
// ignored, exactly when their stored forms are equal.
using StoredUnid = std::array<char, 16>;
bool UnidFromText(std::string_view text, StoredUnid* stored);

// Calls visit(const StoredUnid&) for each note reference of an item value,
// as LNItem::GetNoteRefs reads them (a note ref list, or texts of 32 hex
// digits), until visit returns false; a damaged value names none. Reads the
// value in place: no allocation but for RFC 822 text, which is rare here.
template <typename Visit>
void ForEachNoteRef(LNITEMTYPE type, std::string_view value, Visit visit);

// Base64 of DXL (attachments, raw item data): the text layer's strict
// decoder, which skips the line breaks and character references DXL holds.
using text::Base64Decoder;
using text::EncodeBase64;
inline bool DecodeBase64(std::string_view text, Bytes* out) { return text::DecodeBase64Strict(text, *out); }

template <typename Visit>
void ForEachNoteRef(LNITEMTYPE type, std::string_view value, Visit visit) {
    StoredUnid unid;
    if (type == TYPE_NOTEREF_LIST) {
        if (value.size() < 2) return;
        const std::size_t count = GetWord(value, 0);
        if (2 + count * 16 > value.size()) return;
        for (std::size_t i = 0; i < count; ++i) {
            value.copy(unid.data(), 16, 2 + i * 16);
            if (!visit(unid)) return;
        }
    } else if (type == TYPE_TEXT) {
        if (UnidFromText(value, &unid)) visit(unid);
    } else if (type == TYPE_TEXT_LIST) {
        // A list that does not decode whole gives no texts at all.
        if (value.size() < 2) return;
        const std::size_t count = GetWord(value, 0);
        if (2 + count * 2 > value.size()) return;
        std::size_t end = 2 + count * 2;
        for (std::size_t i = 0; i < count; ++i) end += GetWord(value, 2 + i * 2);
        if (end > value.size()) return;
        std::size_t offset = 2 + count * 2;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t length = GetWord(value, 2 + i * 2);
            if (UnidFromText(value.substr(offset, length), &unid) && !visit(unid)) return;
            offset += length;
        }
    } else if (type == TYPE_RFC822_TEXT) {
        std::string text;
        if (DecodeRfc822Text(value, &text) == LNNOERROR && UnidFromText(text, &unid)) visit(unid);
    }
}

}  // namespace qb::notes

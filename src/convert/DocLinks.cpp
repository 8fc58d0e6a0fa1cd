#include "convert/DocLinks.h"

#include "notes/api/RichTextRender.h"

#include <cstring>
#include <string_view>

namespace qb {
namespace {

// The zero-terminated text starting at `at`, cut at the end of the record
// when its terminator is missing.
std::string_view CString(std::span<const std::uint8_t> bytes, std::size_t& at) {
    if (at >= bytes.size()) return {};
    const char* start = reinterpret_cast<const char*>(bytes.data() + at);
    const std::size_t length = ::strnlen(start, bytes.size() - at);
    at += length + 1;
    return {start, length};
}

}  // namespace

void DocLinkUrl(bool exportDocLinks, std::uint16_t signature, std::span<const std::uint8_t> record,
                std::span<const std::uint8_t> linksTable, std::string& text) {
    if (!exportDocLinks) return;
    std::span<const std::uint8_t> entry;
    std::size_t textAt = 0;
    if (signature == kSigLinkByIndex) {
        if (record.size() < 2 || linksTable.size() < 2) return;
        const std::size_t index = record[0] | record[1] << 8;
        const std::size_t count = linksTable[0] | linksTable[1] << 8;
        const std::size_t offset = 2 + index * kLinkEntrySize;
        if (index >= count || offset + kLinkEntrySize > linksTable.size()) return;
        entry = linksTable.subspan(offset, kLinkEntrySize);
        textAt = 2;
    } else if (signature == kSigLinkWithData) {
        if (record.size() < kLinkEntrySize) return;
        entry = record.first(kLinkEntrySize);
        textAt = kLinkEntrySize;
    } else {
        return;
    }
    CString(record, textAt);  // the link comment
    const std::string_view server = CString(record, textAt);
    const std::string_view noteLink(reinterpret_cast<const char*>(entry.data()), entry.size());
    text.append(" ").append(notes::DocLinkAddress(noteLink, server)).append(" ");
}

}  // namespace qb

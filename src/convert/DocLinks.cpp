#include "convert/DocLinks.h"

#include <fmt/format.h>

#include <cstring>
#include <string_view>

namespace qb {
namespace {

std::uint32_t Word32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The zero-terminated text starting at `at`, cut at the end of the record
// when its terminator is missing.
std::string_view CString(std::span<const std::uint8_t> bytes, std::size_t& at) {
    if (at >= bytes.size()) return {};
    const char* start = reinterpret_cast<const char*>(bytes.data() + at);
    const std::size_t length = ::strnlen(start, bytes.size() - at);
    at += length + 1;
    return {start, length};
}

std::string ServerName(std::string_view hint) {
    if (!hint.starts_with("CN=")) return std::string(hint);
    hint.remove_prefix(3);
    return std::string(hint.substr(0, hint.find('/')));
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
    const std::string server = ServerName(CString(record, textAt));
    auto w = [&](std::size_t index) { return Word32(entry, index * 4); };
    text += fmt::format(" NOTES://{}/{:08X}{:08X}/{:08X}{:08X}{:08X}{:08X}/{:08X}{:08X}{:08X}{:08X} ", server, w(1),
                        w(0), w(3), w(2), w(5), w(4), w(7), w(6), w(9), w(8));
}

}  // namespace qb

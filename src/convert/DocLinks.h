#pragma once
// Document links of Notes rich text written into plain text as NOTES:// URLs
// that a Notes client can open.

#include <cstdint>
#include <span>
#include <string>

namespace qb {

inline constexpr std::uint16_t kSigLinkByIndex = 0xFF91;   // index into $Links
inline constexpr std::uint16_t kSigLinkWithData = 0xFF92;  // carries its own link entry
inline constexpr std::size_t kLinkEntrySize = 40;

// Appends " NOTES://server/replica/view/document " for one link record to
// `text`. `record` is the record after its 4-byte header; `linksTable` is the
// document's $Links value from its 16-bit count on (empty when it has none).
// Nothing is appended when links are not exported or the record is not a
// complete link.
void DocLinkUrl(bool exportDocLinks, std::uint16_t signature, std::span<const std::uint8_t> record,
                std::span<const std::uint8_t> linksTable, std::string& text);

}  // namespace qb

#pragma once
// Content-Transfer-Encoding decoders (RFC 2045 section 6).

#include <string>
#include <string_view>

namespace qb::mime {

enum class DecodeStatus {
    Ok,
    // Characters outside the alphabet were skipped (base64) or a malformed
    // escape was kept as written (quoted-printable).
    BadCharacters,
    // The input ended inside a base64 group; the complete bytes were kept.
    Truncated,
    // The encoding name is not one of the known ones; the body was kept as is.
    UnknownEncoding,
};

// Base64 tolerant of line breaks and white space anywhere. Other characters
// outside the alphabet are skipped and reported; data after the padding is
// ignored.
DecodeStatus DecodeBase64(std::string_view input, std::string& out);

// Quoted-printable: "=XX" escapes, soft line breaks "=" at a line end,
// trailing white space of lines removed. Malformed escapes are kept as
// written, as the RFC recommends.
DecodeStatus DecodeQuotedPrintable(std::string_view input, std::string& out);

// Decodes by the Content-Transfer-Encoding value: base64, quoted-printable,
// 7bit, 8bit, binary (or empty). "x-uuencode" is decoded too.
DecodeStatus DecodeTransferEncoding(std::string_view encoding, std::string_view input, std::string& out);

const char* DecodeStatusText(DecodeStatus status);

}  // namespace qb::mime

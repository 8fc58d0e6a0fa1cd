#pragma once
// Base64 (RFC 4648 alphabet): encoding with line breaks, a strict decoder
// for data we or Notes wrote (attachments and raw items in DXL), and a
// tolerant one for mail, which arrives damaged in every possible way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb::text {

// Lines of lineLength characters (0: one line) separated by "\n", no line
// end after the last one.
std::string EncodeBase64(std::string_view bytes, std::size_t lineLength = 76);

// Strict and incremental: white space and XML character references between
// the characters (DXL writers break lines as "&#13;&#10;") are skipped;
// anything else outside the alphabet, padding in the wrong place or data
// after the padding is an error.
class Base64Decoder {
public:
    // Appends the decoded bytes to out; false on bad input.
    bool Feed(std::string_view text, std::string& out);
    // True when the input ended on a whole group.
    bool Finish(std::string& out);

private:
    std::uint32_t bits_ = 0;
    int count_ = 0;
    int padding_ = 0;
    bool inReference_ = false;
};

// Strict, whole: the decoded bytes replace out; false on bad input.
bool DecodeBase64Strict(std::string_view text, std::string& out);

enum class Base64Damage {
    None,
    BadCharacters,  // characters outside the alphabet were skipped
    Truncated,      // the input ended inside a group; the whole bytes were kept
};

// Tolerant, appending to out: white space is skipped, the URL-safe alphabet
// ('-', '_') is accepted, other stray characters are skipped and reported,
// and padding ends a group after which a new one may start (parts encoded
// one by one and joined).
Base64Damage DecodeBase64Tolerant(std::string_view text, std::string& out);

}  // namespace qb::text

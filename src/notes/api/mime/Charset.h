#pragma once
// Conversion of mail text in a declared character set into UTF-8.
//
// The conversion uses iconv from the C library: glibc ships converters for
// every character set mail uses (the ISO-8859 family, the Windows code pages,
// KOI8, the CJK sets), so no extra library is linked and the tables are the
// system's own, maintained ones. A few mail-specific rules sit on top of it,
// see ConvertToUtf8.

#include <memory>
#include <string>
#include <string_view>

#include "text/Utf8.h"

namespace qb::mime {

enum class CharsetStatus {
    Ok,
    // The charset is unknown to the converter; the text was read as Windows-1252.
    UnknownCharset,
    // Some bytes were not valid in the charset; each was replaced by U+FFFD.
    InvalidBytes,
};

// The canonical name of a charset label as mail writes it ("latin1",
// "UTF8", "cp1252", "x-unknown" ...), lower case, or "" for an empty label.
std::string NormaliseCharsetName(std::string_view label);

// Converts bytes in the given charset to UTF-8 and appends them to out.
// - An empty or "us-ascii" label with 8-bit bytes is read as UTF-8 when the
//   bytes are valid UTF-8, else as Windows-1252: undeclared 8-bit text is one
//   of the two in practice.
// - "iso-8859-1" is read as Windows-1252, as mail readers do: the C1 control
//   range it would otherwise give is never meant and Windows writers label
//   their text Latin-1. The table is the text layer's, lossless: the five
//   bytes Windows-1252 leaves unassigned stay their C1 controls.
// - Invalid UTF-8 in a text declared as UTF-8 is replaced byte by byte.
CharsetStatus ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string& out);

// The same conversion for many pieces of text in one charset: the iconv
// converter is opened once, on first use, and kept until destruction. Not
// for use by two threads at once.
class CharsetDecoder {
public:
    explicit CharsetDecoder(std::string_view charset);
    ~CharsetDecoder();
    CharsetDecoder(const CharsetDecoder&) = delete;
    CharsetDecoder& operator=(const CharsetDecoder&) = delete;

    CharsetStatus Append(std::string_view bytes, std::string& out);

private:
    struct Iconv;
    CharsetStatus AppendThroughIconv(std::string_view bytes, std::string& out);

    std::string name_;
    std::unique_ptr<Iconv> iconv_;
};

// Convenience: the converted text (status dropped).
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// UTF-8 itself is the text layer's.
using text::AppendUtf8;

}  // namespace qb::mime

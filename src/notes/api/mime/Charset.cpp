#include "notes/api/mime/Charset.h"

#include <iconv.h>

#include "text/Utf8.h"

#include <array>
#include <cerrno>
#include <cctype>

namespace qb::mime {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// iconv descriptor owned for the length of one conversion.
class IconvHandle {
public:
    explicit IconvHandle(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Windows-1252 0x80..0x9F; 0 marks the five unassigned positions.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendCp1252(std::string_view bytes, std::string& out) {
    for (unsigned char c : bytes) {
        if (c >= 0x80 && c < 0xA0) {
            char16_t mapped = kCp1252High[c - 0x80];
            AppendUtf8(out, mapped ? mapped : kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
}

void AppendUtf8Repaired(std::string_view bytes, std::string& out, bool& hadInvalid) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t start = pos;
        char32_t cp = NextCodePoint(bytes, pos);
        if (cp == kReplacement && !(pos - start == 3 && bytes.substr(start, 3) == "\xEF\xBF\xBD"))
            hadInvalid = true;
        AppendUtf8(out, cp);
    }
}

bool IsAscii(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return false;
    return true;
}

CharsetStatus ConvertWithIconv(std::string_view bytes, const std::string& charset, std::string& out) {
    IconvHandle cd(charset);
    if (!cd.valid()) {
        AppendCp1252(bytes, out);
        return CharsetStatus::UnknownCharset;
    }
    CharsetStatus status = CharsetStatus::Ok;
    std::string buffer(4096, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        size_t rc = iconv(cd.get(), &in, &inLeft, &dst, &dstLeft);
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
        AppendUtf8(out, kReplacement);
        status = CharsetStatus::InvalidBytes;
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state of stateful encodings (ISO-2022-JP).
    char* dst = buffer.data();
    size_t dstLeft = buffer.size();
    iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer.data(), buffer.size() - dstLeft);
    return status;
}

}  // namespace

unsigned char UnicodeToCp1252(char32_t cp) {
    if (cp >= 0xA0 && cp <= 0xFF) return static_cast<unsigned char>(cp);
    for (size_t i = 0; i < kCp1252High.size(); ++i)
        if (kCp1252High[i] && kCp1252High[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return 0;
}


void AppendUtf8(std::string& out, char32_t cp) { text::AppendUtf8(out, cp); }

char32_t NextCodePoint(std::string_view text, size_t& pos) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    if (pos + length > text.size()) {
        ++pos;
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        unsigned char c = byte(pos + i);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += length;
    return cp;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t start = pos;
        if (NextCodePoint(bytes, pos) == kReplacement && bytes.substr(start, 3) != "\xEF\xBF\xBD")
            return false;
    }
    return true;
}

std::string NormaliseCharsetName(std::string_view label) {
    std::string name;
    for (char c : label) {
        if (c == '"' || c == '\'' || std::isspace(static_cast<unsigned char>(c))) continue;
        name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    if (name.empty()) return name;
    if (name == "utf8" || name == "utf-8" || name == "x-utf8" || name == "unicode-1-1-utf-8") return "utf-8";
    if (name == "ascii" || name == "us-ascii" || name == "ansi_x3.4-1968" || name == "iso646-us" ||
        name == "x-unknown" || name == "unknown-8bit" || name == "default")
        return "us-ascii";
    if (name == "latin1" || name == "l1" || name == "iso8859-1" || name == "iso_8859-1" ||
        name == "iso-8859-1" || name == "cp819")
        return "iso-8859-1";
    if (name.starts_with("cp125") && name.size() == 6) return "windows-" + name.substr(2);
    if (name.starts_with("x-cp125") && name.size() == 8) return "windows-" + name.substr(4);
    if (name.starts_with("iso8859-")) return "iso-8859-" + name.substr(8);
    if (name.starts_with("iso_8859-")) return "iso-8859-" + name.substr(9);
    if (name == "ks_c_5601-1987" || name == "ks_c_5601" || name == "x-windows-949") return "cp949";
    if (name == "x-mac-roman" || name == "mac" || name == "x-mac") return "macintosh";
    if (name == "x-sjis" || name == "shift-jis" || name == "sjis" || name == "ms_kanji") return "shift_jis";
    if (name == "x-euc-jp") return "euc-jp";
    if (name == "iso-8859-8-i" || name == "iso-8859-6-i") return name.substr(0, 10);
    if (name == "windows-874" || name == "x-windows-874") return "cp874";
    if (name == "gb2312" || name == "x-gbk") return "gbk";
    return name;
}

CharsetStatus ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    std::string name = NormaliseCharsetName(charset);
    if (IsAscii(bytes) && name != "utf-16" && name != "utf-16le" && name != "utf-16be" &&
        name != "utf-7" && !name.starts_with("iso-2022")) {
        out.append(bytes);
        return CharsetStatus::Ok;
    }
    bool hadInvalid = false;
    if (name.empty() || name == "us-ascii") {
        if (IsValidUtf8(bytes)) {
            out.append(bytes);
        } else {
            AppendCp1252(bytes, out);
        }
        return CharsetStatus::Ok;
    }
    if (name == "utf-8") {
        AppendUtf8Repaired(bytes, out, hadInvalid);
        return hadInvalid ? CharsetStatus::InvalidBytes : CharsetStatus::Ok;
    }
    if (name == "iso-8859-1" || name == "windows-1252") {
        AppendCp1252(bytes, out);
        return CharsetStatus::Ok;
    }
    return ConvertWithIconv(bytes, name, out);
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string out;
    ConvertToUtf8(bytes, charset, out);
    return out;
}

}  // namespace qb::mime

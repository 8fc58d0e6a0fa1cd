// Mail charsets to UTF-8: our own rules on top of iconv; see Charset.h.

#include "notes/api/mime/Charset.h"

#include <iconv.h>

#include "text/Cp1252.h"
#include "text/Utf8.h"

#include <cerrno>
#include <cctype>
#include <memory>

namespace qb::mime {

namespace {

bool IsAscii(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

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

// An iconv descriptor, open for the decoder's life.
struct CharsetDecoder::Iconv {
    explicit Iconv(const std::string& from) : cd(iconv_open("UTF-8", from.c_str())) {}
    ~Iconv() {
        if (valid()) iconv_close(cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd;
};

CharsetDecoder::CharsetDecoder(std::string_view charset) : name_(NormaliseCharsetName(charset)) {}
CharsetDecoder::~CharsetDecoder() = default;

CharsetStatus CharsetDecoder::Append(std::string_view bytes, std::string& out) {
    if (IsAscii(bytes) && name_ != "utf-16" && name_ != "utf-16le" && name_ != "utf-16be" && name_ != "utf-7" &&
        !name_.starts_with("iso-2022")) {
        out.append(bytes);
        return CharsetStatus::Ok;
    }
    if (name_.empty() || name_ == "us-ascii") {
        if (text::IsValidUtf8(bytes)) out.append(bytes);
        else text::AppendCp1252AsUtf8(out, bytes);
        return CharsetStatus::Ok;
    }
    if (name_ == "utf-8")
        return text::AppendRepairedUtf8(out, bytes) ? CharsetStatus::Ok : CharsetStatus::InvalidBytes;
    if (name_ == "iso-8859-1" || name_ == "windows-1252") {
        text::AppendCp1252AsUtf8(out, bytes);
        return CharsetStatus::Ok;
    }
    return AppendThroughIconv(bytes, out);
}

CharsetStatus CharsetDecoder::AppendThroughIconv(std::string_view bytes, std::string& out) {
    if (!iconv_) iconv_ = std::make_unique<Iconv>(name_);
    if (!iconv_->valid()) {
        text::AppendCp1252AsUtf8(out, bytes);
        return CharsetStatus::UnknownCharset;
    }
    iconv_t cd = iconv_->cd;
    CharsetStatus status = CharsetStatus::Ok;
    char buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
        AppendUtf8(out, text::kReplacementCharacter);
        status = CharsetStatus::InvalidBytes;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state of stateful encodings (ISO-2022-JP) and start
    // the next piece in the initial state.
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
    return status;
}

CharsetStatus ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    return CharsetDecoder(charset).Append(bytes, out);
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string out;
    ConvertToUtf8(bytes, charset, out);
    return out;
}

}  // namespace qb::mime

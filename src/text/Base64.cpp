// Base64 encoding and the two decoders; see Base64.h.

#include "text/Base64.h"

namespace qb::text {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int StandardValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int TolerantValue(unsigned char c) {
    if (c == '-') return 62;
    if (c == '_') return 63;
    return StandardValue(c);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string EncodeBase64(std::string_view bytes, std::size_t lineLength) {
    std::string out;
    out.reserve(bytes.size() / 3 * 4 + 4 + (lineLength ? bytes.size() / lineLength : 0));
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        if (lineLength && column + 4 > lineLength) {
            out.push_back('\n');
            column = 0;
        }
        out.push_back(kAlphabet[group >> 18]);
        out.push_back(kAlphabet[group >> 12 & 63]);
        out.push_back(i + 1 < bytes.size() ? kAlphabet[group >> 6 & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? kAlphabet[group & 63] : '=');
        column += 4;
    }
    return out;
}

bool Base64Decoder::Feed(std::string_view text, std::string& out) {
    for (char c : text) {
        if (inReference_) {
            inReference_ = c != ';';
            continue;
        }
        if (c == '&') {
            inReference_ = true;
            continue;
        }
        if (IsSpace(c)) continue;
        if (c == '=') {
            if (count_ < 2 || ++padding_ + count_ > 4) return false;
            continue;
        }
        const int value = StandardValue(static_cast<unsigned char>(c));
        if (value < 0 || padding_ > 0) return false;
        bits_ = bits_ << 6 | static_cast<std::uint32_t>(value);
        if (++count_ == 4) {
            out.push_back(static_cast<char>(bits_ >> 16));
            out.push_back(static_cast<char>(bits_ >> 8 & 0xFF));
            out.push_back(static_cast<char>(bits_ & 0xFF));
            bits_ = 0;
            count_ = 0;
        }
    }
    return true;
}

bool Base64Decoder::Finish(std::string& out) {
    if (count_ == 0) return padding_ == 0;
    if (count_ == 1) return false;
    if (padding_ != 0 && count_ + padding_ != 4) return false;
    if (count_ == 2) {
        out.push_back(static_cast<char>(bits_ >> 4));
    } else {
        out.push_back(static_cast<char>(bits_ >> 10));
        out.push_back(static_cast<char>(bits_ >> 2 & 0xFF));
    }
    count_ = 0;
    padding_ = 0;
    bits_ = 0;
    return true;
}

bool DecodeBase64Strict(std::string_view text, std::string& out) {
    Base64Decoder decoder;
    out.clear();
    return decoder.Feed(text, out) && decoder.Finish(out);
}

Base64Damage DecodeBase64Tolerant(std::string_view text, std::string& out) {
    Base64Damage damage = Base64Damage::None;
    std::uint32_t buffer = 0;
    int bits = 0;
    int quantum = 0;
    for (char c : text) {
        if (IsSpace(c)) continue;
        if (c == '=') {
            buffer = 0;
            bits = 0;
            quantum = 0;
            continue;
        }
        const int value = TolerantValue(static_cast<unsigned char>(c));
        if (value < 0) {
            damage = Base64Damage::BadCharacters;
            continue;
        }
        buffer = (buffer << 6 | static_cast<std::uint32_t>(value)) & 0xFFFFFF;
        bits += 6;
        quantum = (quantum + 1) % 4;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    if (quantum == 1 && damage == Base64Damage::None) damage = Base64Damage::Truncated;
    return damage;
}

}  // namespace qb::text

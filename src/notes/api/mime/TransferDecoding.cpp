#include "notes/api/mime/TransferDecoding.h"

#include "notes/api/mime/HeaderList.h"
#include "text/Base64.h"

namespace qb::mime {

namespace {

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}


// One line of uuencoded data; returns false for a line that is not.
bool DecodeUuLine(std::string_view line, std::string& out) {
    if (line.empty()) return true;
    int count = (static_cast<unsigned char>(line[0]) - 32) & 0x3F;
    size_t pos = 1;
    auto value = [&](size_t i) -> unsigned {
        return i < line.size() ? ((static_cast<unsigned char>(line[i]) - 32) & 0x3F) : 0;
    };
    while (count > 0) {
        unsigned v = (value(pos) << 18) | (value(pos + 1) << 12) | (value(pos + 2) << 6) | value(pos + 3);
        for (int k = 0; k < 3 && count > 0; ++k, --count) out.push_back(static_cast<char>((v >> (16 - 8 * k)) & 0xFF));
        pos += 4;
    }
    return true;
}

DecodeStatus DecodeUuencode(std::string_view input, std::string& out) {
    size_t pos = 0;
    bool inData = false;
    while (pos < input.size()) {
        size_t end = input.find('\n', pos);
        if (end == std::string_view::npos) end = input.size();
        std::string_view line = input.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (!inData) {
            if (line.starts_with("begin ")) inData = true;
            continue;
        }
        if (line == "end" || line == "`") break;
        DecodeUuLine(line, out);
    }
    return inData ? DecodeStatus::Ok : DecodeStatus::BadCharacters;
}

}  // namespace

DecodeStatus DecodeBase64(std::string_view input, std::string& out) {
    switch (text::DecodeBase64Tolerant(input, out)) {
    case text::Base64Damage::None: return DecodeStatus::Ok;
    case text::Base64Damage::BadCharacters: return DecodeStatus::BadCharacters;
    case text::Base64Damage::Truncated: return DecodeStatus::Truncated;
    }
    return DecodeStatus::BadCharacters;
}

DecodeStatus DecodeQuotedPrintable(std::string_view input, std::string& out) {
    DecodeStatus status = DecodeStatus::Ok;
    size_t pos = 0;
    while (pos < input.size()) {
        size_t end = input.find('\n', pos);
        bool hasBreak = end != std::string_view::npos;
        if (!hasBreak) end = input.size();
        std::string_view line = input.substr(pos, end - pos);
        pos = hasBreak ? end + 1 : end;
        bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) line.remove_suffix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        bool soft = !line.empty() && line.back() == '=';
        if (soft) line.remove_suffix(1);
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '=') {
                int hi = i + 1 < line.size() ? HexValue(static_cast<unsigned char>(line[i + 1])) : -1;
                int lo = i + 2 < line.size() ? HexValue(static_cast<unsigned char>(line[i + 2])) : -1;
                if (hi >= 0 && lo >= 0) {
                    out.push_back(static_cast<char>(hi * 16 + lo));
                    i += 2;
                    continue;
                }
                status = DecodeStatus::BadCharacters;
            }
            out.push_back(c);
        }
        if (hasBreak && !soft) out.append(crlf ? "\r\n" : "\n");
    }
    return status;
}

DecodeStatus DecodeTransferEncoding(std::string_view encoding, std::string_view input, std::string& out) {
    std::string name = ToLower(Trim(encoding));
    if (name == "base64") return DecodeBase64(input, out);
    if (name == "quoted-printable") return DecodeQuotedPrintable(input, out);
    if (name == "x-uuencode" || name == "x-uue" || name == "uuencode") return DecodeUuencode(input, out);
    out.append(input);
    if (name.empty() || name == "7bit" || name == "8bit" || name == "binary") return DecodeStatus::Ok;
    return DecodeStatus::UnknownEncoding;
}

const char* DecodeStatusText(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::Ok: return "ok";
        case DecodeStatus::BadCharacters: return "invalid characters skipped";
        case DecodeStatus::Truncated: return "data truncated";
        case DecodeStatus::UnknownEncoding: return "unknown transfer encoding";
    }
    return "unknown";
}

}  // namespace qb::mime

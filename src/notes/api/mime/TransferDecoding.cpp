#include "notes/api/mime/TransferDecoding.h"

#include "notes/api/mime/HeaderList.h"

namespace qb::mime {

namespace {

int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;  // '-' and '_': the URL-safe alphabet
    if (c == '/' || c == '_') return 63;
    return -1;
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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
    DecodeStatus status = DecodeStatus::Ok;
    unsigned buffer = 0;
    int bits = 0;
    int quantum = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(input[i]);
        if (IsSpace(static_cast<char>(c))) continue;
        if (c == '=') {
            // Padding ends the data; a new group may follow when parts were
            // encoded one by one and joined, so go on after the padding.
            buffer = 0;
            bits = 0;
            quantum = 0;
            continue;
        }
        int v = Base64Value(c);
        if (v < 0) {
            status = DecodeStatus::BadCharacters;
            continue;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        quantum = (quantum + 1) % 4;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    if (quantum == 1 && status == DecodeStatus::Ok) status = DecodeStatus::Truncated;
    return status;
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

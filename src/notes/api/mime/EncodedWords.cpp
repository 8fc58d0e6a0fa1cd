#include "notes/api/mime/EncodedWords.h"

#include "notes/api/mime/Charset.h"
#include "notes/api/mime/HeaderList.h"
#include "notes/api/mime/TransferDecoding.h"

#include <algorithm>
#include <optional>

namespace qb::mime {

namespace {

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string DecodeQWord(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() && HexValue(static_cast<unsigned char>(text[i + 1])) >= 0 &&
                   HexValue(static_cast<unsigned char>(text[i + 2])) >= 0) {
            out.push_back(static_cast<char>(HexValue(static_cast<unsigned char>(text[i + 1])) * 16 +
                                            HexValue(static_cast<unsigned char>(text[i + 2]))));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

struct EncodedWord {
    size_t length = 0;  // bytes of the raw text taken
    std::string charset;
    std::string bytes;  // decoded, still in charset
};

// An encoded word starting at pos ("=?"), or nothing when malformed.
// Words are at most 75 characters by the RFC; writers exceed that, but a
// bound keeps the scan linear on text full of "=?".
constexpr size_t kMaxCharsetLength = 64;
constexpr size_t kMaxWordTextLength = 4096;

// The next "?=" at or after a position; positions asked for only grow, so
// the answer is reused and the whole scan stays linear.
class WordEndFinder {
public:
    explicit WordEndFinder(std::string_view raw) : raw_(raw) {}
    size_t From(size_t pos) {
        if (!known_ || (found_ != std::string_view::npos && found_ < pos)) {
            found_ = raw_.find("?=", pos);
            known_ = true;
        }
        return found_;
    }

private:
    std::string_view raw_;
    bool known_ = false;
    size_t found_ = std::string_view::npos;
};

std::optional<EncodedWord> ReadEncodedWord(std::string_view raw, size_t pos, WordEndFinder& ends) {
    size_t q1 = raw.substr(0, std::min(raw.size(), pos + 2 + kMaxCharsetLength + 1)).find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= raw.size() || raw[q1 + 2] != '?') return std::nullopt;
    char encoding = raw[q1 + 1];
    size_t textStart = q1 + 3;
    size_t end = ends.From(textStart);
    if (end == std::string_view::npos || end - textStart > kMaxWordTextLength) return std::nullopt;
    std::string_view charset = raw.substr(pos + 2, q1 - pos - 2);
    if (charset.empty() || charset.find_first_of(" \t\r\n") != std::string_view::npos) return std::nullopt;
    std::string_view text = raw.substr(textStart, end - textStart);
    EncodedWord word;
    if (size_t star = charset.find('*'); star != std::string_view::npos) charset = charset.substr(0, star);
    word.charset = std::string(charset);
    word.length = end + 2 - pos;
    if (encoding == 'B' || encoding == 'b') {
        DecodeBase64(text, word.bytes);
    } else if (encoding == 'Q' || encoding == 'q') {
        word.bytes = DecodeQWord(text);
    } else {
        return std::nullopt;
    }
    return word;
}

bool OnlySpace(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw) {
    std::string out;
    std::string pendingBytes;    // adjacent words of one charset are joined
    std::string pendingCharset;  // before conversion: a multibyte character
                                 // may be split across two words
    auto flushPending = [&] {
        if (!pendingBytes.empty()) ConvertToUtf8(pendingBytes, pendingCharset, out);
        pendingBytes.clear();
        pendingCharset.clear();
    };
    size_t pos = 0;
    size_t literalStart = 0;
    bool lastWasEncoded = false;
    WordEndFinder ends(raw);
    while (pos < raw.size()) {
        size_t start = raw.find("=?", pos);
        if (start == std::string_view::npos) break;
        std::optional<EncodedWord> word = ReadEncodedWord(raw, start, ends);
        if (!word) {
            pos = start + 2;
            continue;
        }
        std::string_view between = raw.substr(literalStart, start - literalStart);
        if (!(lastWasEncoded && OnlySpace(between))) {
            flushPending();
            ConvertToUtf8(between, "", out);
        }
        if (!pendingBytes.empty() && !EqualsIgnoreCase(pendingCharset, word->charset)) flushPending();
        pendingCharset = word->charset;
        pendingBytes += word->bytes;
        lastWasEncoded = true;
        pos = start + word->length;
        literalStart = pos;
    }
    flushPending();
    ConvertToUtf8(raw.substr(literalStart), "", out);
    return out;
}

}  // namespace qb::mime

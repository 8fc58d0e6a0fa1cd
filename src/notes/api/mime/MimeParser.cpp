#include "notes/api/mime/MimeParser.h"

#include "notes/api/mime/Charset.h"
#include "notes/api/mime/EncodedWords.h"
#include "notes/api/mime/TransferDecoding.h"

#include <algorithm>

namespace qb::mime {

namespace {

struct BodySplit {
    std::string_view preamble;
    std::vector<std::string_view> parts;
    std::string_view epilogue;
    bool foundDelimiter = false;
    bool foundClose = false;
};

// End of the line that starts at pos (index of '\n' or size).
size_t LineEnd(std::string_view text, size_t pos) {
    size_t end = text.find('\n', pos);
    return end == std::string_view::npos ? text.size() : end;
}

bool OnlySpaceUntil(std::string_view text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r') return false;
    return true;
}

// Finds the next delimiter line "--boundary" at a line start. Sets close
// for "--boundary--"; lineStart is where the delimiter's own line starts and
// next the start of the line after it.
bool FindDelimiter(std::string_view body, std::string_view dashBoundary, size_t from, size_t& lineStart,
                   size_t& next, bool& close) {
    size_t pos = from;
    while ((pos = body.find(dashBoundary, pos)) != std::string_view::npos) {
        if (pos == 0 || body[pos - 1] == '\n') {
            size_t after = pos + dashBoundary.size();
            size_t end = LineEnd(body, after);
            close = body.substr(after).starts_with("--");
            size_t restFrom = close ? after + 2 : after;
            if (OnlySpaceUntil(body, restFrom, end)) {
                lineStart = pos;
                next = end < body.size() ? end + 1 : end;
                return true;
            }
        }
        pos += 1;
    }
    return false;
}

// The line break before a delimiter belongs to the delimiter.
std::string_view ContentBefore(std::string_view body, size_t start, size_t delimiterLine) {
    size_t end = delimiterLine;
    if (end > start && body[end - 1] == '\n') --end;
    if (end > start && body[end - 1] == '\r') --end;
    return body.substr(start, end - start);
}

BodySplit SplitMultipart(std::string_view body, const std::string& boundary, size_t maxParts, bool& tooMany) {
    BodySplit split;
    std::string dash = "--" + boundary;
    size_t lineStart = 0, next = 0;
    bool close = false;
    if (!FindDelimiter(body, dash, 0, lineStart, next, close)) {
        split.preamble = body;
        return split;
    }
    split.foundDelimiter = true;
    split.preamble = ContentBefore(body, 0, lineStart);
    while (!close) {
        size_t partStart = next;
        if (!FindDelimiter(body, dash, partStart, lineStart, next, close)) {
            split.parts.push_back(body.substr(partStart));
            return split;
        }
        if (split.parts.size() >= maxParts) {
            tooMany = true;
        } else {
            split.parts.push_back(ContentBefore(body, partStart, lineStart));
        }
    }
    split.foundClose = true;
    split.epilogue = body.substr(next);
    return split;
}

std::string StripFolders(std::string name) {
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    return name;
}

std::string StripAngles(std::string_view id) {
    id = Trim(id);
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    return std::string(Trim(id));
}

class Parser {
public:
    Parser(const MimeParseOptions& options, std::vector<std::string>& warnings)
        : options_(options), warnings_(warnings) {}

    void ParseEntity(std::string_view raw, int depth, const char* defaultType, MimeEntity& entity) {
        HeaderBlock block = ParseHeaderBlock(raw);
        if (block.malformedLines > 0) Warn("malformed header line(s) in a part");
        entity.headers = std::move(block.headers);
        std::string_view body = raw.substr(block.bodyOffset);
        ReadContentFields(entity, defaultType);
        if (entity.IsMultipart()) {
            ParseMultipart(body, depth, entity);
        } else if (entity.IsMessage() && depth < options_.maxDepth) {
            DecodeBody(body, entity);
            entity.children.emplace_back();
            ParseEntity(entity.body, depth + 1, "text/plain", entity.children.back());
        } else {
            DecodeLeaf(body, entity);
        }
    }

private:
    void Warn(std::string text) {
        if (warnings_.size() < 100) warnings_.push_back(std::move(text));
    }

    void ReadContentFields(MimeEntity& entity, const char* defaultType) {
        auto type = entity.headers.Value("Content-Type");
        entity.contentType = ParseContentType(type ? *type : defaultType);
        entity.transferEncoding = ToLower(Trim(entity.headers.Value("Content-Transfer-Encoding").value_or("")));
        ContentDisposition disposition = ParseContentDisposition(entity.headers.Value("Content-Disposition").value_or(""));
        if (disposition.kind == "attachment") entity.disposition = Disposition::Attachment;
        else if (disposition.kind == "inline") entity.disposition = Disposition::Inline;
        std::string name = disposition.parameters.count("filename") ? disposition.parameters["filename"]
                                                                     : entity.contentType.Parameter("name");
        entity.fileName = StripFolders(name);
        entity.contentId = StripAngles(entity.headers.Value("Content-ID").value_or(""));
    }

    void ParseMultipart(std::string_view body, int depth, MimeEntity& entity) {
        std::string boundary = entity.contentType.Parameter("boundary");
        if (boundary.empty()) {
            Warn("multipart part without boundary; kept as text");
            entity.contentType = ContentType{};
            DecodeLeaf(body, entity);
            return;
        }
        if (depth >= options_.maxDepth) {
            Warn("multipart nesting too deep; inner parts not read");
            DecodeLeaf(body, entity);
            return;
        }
        bool tooMany = false;
        BodySplit split = SplitMultipart(body, boundary, options_.maxParts - std::min(partCount_, options_.maxParts), tooMany);
        if (!split.foundDelimiter) {
            Warn("boundary \"" + boundary + "\" not found; body kept as text");
            entity.contentType = ContentType{};
            DecodeLeaf(body, entity);
            return;
        }
        if (!split.foundClose) Warn("closing boundary \"" + boundary + "\" missing");
        if (tooMany) Warn("too many parts; the rest was dropped");
        entity.preamble = std::string(split.preamble);
        entity.epilogue = std::string(split.epilogue);
        const char* childDefault = entity.contentType.subtype == "digest" ? "message/rfc822" : "text/plain";
        for (std::string_view part : split.parts) {
            if (partCount_ >= options_.maxParts) break;
            ++partCount_;
            entity.children.emplace_back();
            ParseEntity(part, depth + 1, childDefault, entity.children.back());
        }
    }

    void DecodeBody(std::string_view body, MimeEntity& entity) {
        DecodeStatus status = DecodeTransferEncoding(entity.transferEncoding, body, entity.body);
        if (status != DecodeStatus::Ok)
            Warn(std::string("content transfer encoding \"") + entity.transferEncoding + "\": " + DecodeStatusText(status));
    }

    void DecodeLeaf(std::string_view body, MimeEntity& entity) {
        DecodeBody(body, entity);
        if (!entity.contentType.IsText()) return;
        std::string charset = entity.contentType.Parameter("charset");
        CharsetStatus status = ConvertToUtf8(entity.body, charset, entity.text);
        if (status == CharsetStatus::UnknownCharset)
            Warn("unknown charset \"" + charset + "\"; text read as Windows-1252");
        else if (status == CharsetStatus::InvalidBytes)
            Warn("text not valid in charset \"" + charset + "\"; bad bytes replaced");
    }

    const MimeParseOptions& options_;
    std::vector<std::string>& warnings_;
    size_t partCount_ = 0;
};

}  // namespace

bool MimeEntity::IsAttachment() const {
    if (disposition == Disposition::Attachment) return true;
    if (IsMultipart()) return false;
    if (IsMessage()) return true;
    if (contentType.IsText() && fileName.empty()) return false;
    if (contentType.IsText() && disposition == Disposition::Inline) return false;
    // Inline pictures referenced from HTML are still files for the reader,
    // so anything else with content counts.
    return true;
}

std::string MimeMessage::HeaderText(std::string_view name) const {
    auto value = root.headers.Value(name);
    return value ? DecodeHeaderText(*value) : std::string();
}

std::optional<MailDate> MimeMessage::Date() const {
    auto value = root.headers.Value("Date");
    if (!value) return std::nullopt;
    return ParseMailDate(*value);
}

MimeMessage ParseMimeMessage(std::string_view raw, const MimeParseOptions& options) {
    MimeMessage message;
    Parser parser(options, message.warnings);
    parser.ParseEntity(raw, 0, "text/plain", message.root);
    return message;
}

}  // namespace qb::mime

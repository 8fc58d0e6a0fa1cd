// The MIME parser and everything that reads its results, on arbitrary
// bytes, down to the RTF of the body (whose groups must balance). An input whose first byte is 'N' is read as a list of Notes items
// instead: records of one type byte ('H' RFC 822 header item, 'M' MIME part
// item), a 16-bit length and the value.
#include "notes/api/mime/EncodedWords.h"
#include "notes/api/mime/HtmlToText.h"
#include "notes/api/mime/MailDate.h"
#include "notes/api/mime/MessageContent.h"
#include "notes/api/mime/MimeParser.h"
#include "notes/api/mime/NotesMimeItems.h"
#include "notes/api/render/HtmlRichText.h"
#include "notes/api/render/MimeRichText.h"
#include "notes/api/render/RtfWriter.h"

#include <cstddef>
#include <cstdint>

namespace {

void ReadEverything(const qb::mime::MimeMessage& message) {
    using namespace qb::mime;
    message.Subject();
    message.From();
    message.Date();
    for (const auto& field : message.root.headers.fields()) {
        DecodeHeaderText(field.value);
        ParseMailDate(field.value);
    }
    MessageContent content = ExtractContent(message.root);
    if (!content.html.empty()) HtmlToText(content.html);
    std::string rtf = qb::render::RenderRtf(qb::render::RichTextFromMime(content));
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (static_cast<unsigned char>(rtf[i]) >= 0x80) __builtin_trap();
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}' && --depth < 0) {
            __builtin_trap();
        }
    }
    if (depth != 0) __builtin_trap();
}

std::vector<qb::mime::NotesRawItem> ReadItems(std::string_view data) {
    std::vector<qb::mime::NotesRawItem> items;
    size_t pos = 1;
    while (pos + 3 <= data.size()) {
        char kind = data[pos];
        size_t length = static_cast<uint8_t>(data[pos + 1]) | (static_cast<uint8_t>(data[pos + 2]) << 8);
        pos += 3;
        length = std::min(length, data.size() - pos);
        qb::mime::NotesRawItem item;
        item.name = kind == 'M' ? "Body" : "Header";
        item.type = kind == 'M' ? qb::mime::kItemTypeMimePart : qb::mime::kItemTypeRfc822Text;
        item.value = std::string(data.substr(pos, length));
        items.push_back(std::move(item));
        pos += length;
    }
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == 'N') {
        auto message = qb::mime::ParseNotesMime(ReadItems(bytes), "Body", [](std::string_view name) -> std::optional<std::string> {
            if (name.size() < 8) return std::string(name);
            return std::nullopt;
        });
        ReadEverything(message);
    } else {
        ReadEverything(qb::mime::ParseMimeMessage(bytes));
        qb::mime::HtmlToText(bytes);
        qb::render::RenderRtf(qb::render::RichTextFromHtml(bytes, [](std::string_view id) -> std::optional<std::string> {
            return std::string(id);
        }));
    }
    return 0;
}

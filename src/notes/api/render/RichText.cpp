#include "notes/api/render/RichText.h"

namespace qb::render {

void AppendTextParagraphs(RichTextDocument& document, std::string_view text, const TextStyle& style) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        Paragraph paragraph;
        if (end > pos) paragraph.inlines.push_back(TextRun{style, std::string(text.substr(pos, end - pos))});
        document.paragraphs.push_back(std::move(paragraph));
        if (end == text.size()) break;
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

std::string PlainText(const RichTextDocument& document) {
    std::string out;
    for (const Paragraph& paragraph : document.paragraphs) {
        for (const Inline& item : paragraph.inlines) {
            if (const auto* run = std::get_if<TextRun>(&item)) out += run->text;
            else if (std::holds_alternative<LineBreak>(item)) out += '\n';
            else if (const auto* link = std::get_if<LinkRun>(&item)) out += link->text.empty() ? link->url : link->text;
        }
        out += '\n';
    }
    return out;
}

}  // namespace qb::render

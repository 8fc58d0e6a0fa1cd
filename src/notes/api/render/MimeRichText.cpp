#include "notes/api/render/MimeRichText.h"

#include "notes/api/render/HtmlRichText.h"
#include "notes/api/render/Image.h"

#include <set>

namespace qb::render {

RichTextDocument RichTextFromMime(const mime::MessageContent& content, const TextStyle& style) {
    RichTextDocument document;
    std::set<const mime::MimeEntity*> shown;
    if (!content.html.empty()) {
        auto resolve = [&](std::string_view contentId) -> std::optional<std::string> {
            for (const mime::MimeEntity* image : content.inlineImages)
                if (image->contentId == contentId) {
                    shown.insert(image);
                    return image->body;
                }
            return std::nullopt;
        };
        document = RichTextFromHtml(content.html, resolve, style);
    } else {
        AppendTextParagraphs(document, content.plainText, style);
    }
    for (const mime::MimeEntity* image : content.inlineImages) {
        // A picture in a format no reader shows stays out of the body (the
        // reader keeps it as a file).
        if (shown.count(image) || DetectImageFormat(image->body) == ImageFormat::Unknown) continue;
        Paragraph paragraph;
        paragraph.inlines.push_back(PictureRun{image->body});
        document.paragraphs.push_back(std::move(paragraph));
    }
    return document;
}

}  // namespace qb::render

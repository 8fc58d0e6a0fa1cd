#include "notes/api/render/MimeRichText.h"

#include "notes/api/render/Image.h"

namespace qb::render {

RichTextDocument RichTextFromMime(const mime::MessageContent& content, const TextStyle& style) {
    RichTextDocument document;
    AppendTextParagraphs(document, content.plainText, style);
    for (const mime::MimeEntity* image : content.inlineImages) {
        // Pictures in a format we cannot show stay attachments of the reader's
        // choice; here they are left out rather than shown broken.
        if (DetectImageFormat(image->body) == ImageFormat::Unknown) continue;
        Paragraph paragraph;
        paragraph.inlines.push_back(PictureRun{image->body});
        document.paragraphs.push_back(std::move(paragraph));
    }
    return document;
}

}  // namespace qb::render

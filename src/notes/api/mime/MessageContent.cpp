#include "notes/api/mime/MessageContent.h"

#include "notes/api/mime/HtmlToText.h"

namespace qb::mime {

namespace {

std::string WithCrlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.append("\r\n");
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\n') {
            out.append("\r\n");
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

class ContentWalker {
public:
    explicit ContentWalker(MessageContent& content) : content_(content) {}

    void Walk(const MimeEntity& entity) {
        if (entity.IsMultipart()) {
            if (entity.contentType.subtype == "alternative") WalkAlternative(entity);
            else if (entity.contentType.subtype == "related") WalkRelated(entity);
            else
                for (const auto& child : entity.children) Walk(child);
            return;
        }
        if (entity.IsAttachment() && !IsInlineImage(entity)) {
            content_.attachments.push_back(&entity);
            return;
        }
        if (entity.contentType.type == "image") {
            content_.inlineImages.push_back(&entity);
            return;
        }
        if (entity.contentType.subtype == "html") AddHtml(entity.text);
        else AddText(entity.text);
    }

private:
    static bool IsInlineImage(const MimeEntity& entity) {
        return entity.contentType.type == "image" && entity.disposition == Disposition::Inline;
    }

    void AddText(const std::string& text) {
        if (!content_.plainText.empty()) content_.plainText.append("\r\n\r\n");
        content_.plainText += WithCrlf(text);
    }
    void AddHtml(const std::string& html) {
        if (!content_.html.empty()) content_.html.append("\n<hr>\n");
        content_.html += html;
    }

    // One body in several forms: the plain one for the text, the richest
    // HTML one for the HTML; attachments of every form are kept.
    void WalkAlternative(const MimeEntity& entity) {
        const MimeEntity* plain = nullptr;
        const MimeEntity* rich = nullptr;
        for (const auto& child : entity.children) {
            if (child.contentType.MimeType() == "text/plain" && !child.IsAttachment()) plain = &child;
            else if (child.contentType.MimeType() == "text/html" || child.IsMultipart()) rich = &child;
        }
        if (!plain && !rich && !entity.children.empty()) plain = &entity.children.back();
        if (plain) Walk(*plain);
        if (rich) {
            MessageContent richContent;
            ContentWalker inner(richContent);
            inner.Walk(*rich);
            if (!richContent.html.empty()) AddHtmlOnly(richContent.html);
            if (!plain) AddText(richContent.plainText);
            for (auto* image : richContent.inlineImages) content_.inlineImages.push_back(image);
            for (auto* file : richContent.attachments) content_.attachments.push_back(file);
        }
    }

    void AddHtmlOnly(const std::string& html) {
        if (!content_.html.empty()) content_.html.append("\n<hr>\n");
        content_.html += html;
    }

    // The first part (or the one named by "start") is the body, the others
    // are the resources it refers to.
    void WalkRelated(const MimeEntity& entity) {
        if (entity.children.empty()) return;
        for (size_t i = 0; i < entity.children.size(); ++i) {
            const MimeEntity& child = entity.children[i];
            if (i == 0) {
                Walk(child);
            } else if (child.contentType.type == "image" && child.disposition != Disposition::Attachment) {
                content_.inlineImages.push_back(&child);
            } else {
                content_.attachments.push_back(&child);
            }
        }
    }

    MessageContent& content_;

public:
    void FinishText() {
        if (!content_.plainText.empty() || content_.html.empty()) return;
        content_.plainText = HtmlToText(content_.html);
        content_.textFromHtml = true;
    }
};

}  // namespace

MessageContent ExtractContent(const MimeEntity& root) {
    MessageContent content;
    ContentWalker walker(content);
    walker.Walk(root);
    walker.FinishText();
    return content;
}

}  // namespace qb::mime

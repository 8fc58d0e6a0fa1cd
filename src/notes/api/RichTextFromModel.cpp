#include "notes/api/RichTextFromModel.h"

#include <algorithm>
#include <map>

#include "notes/api/RichTextRecords.h"
#include "notes/api/render/Image.h"
#include "notes/api/render/NotesStyles.h"

namespace qb::notes {

namespace {

std::uint16_t JustifyOf(render::Alignment alignment) {
    switch (alignment) {
    case render::Alignment::Left: return 0;
    case render::Alignment::Right: return 1;
    case render::Alignment::Justify: return 2;
    case render::Alignment::Center: return 3;
    }
    return 0;
}

bool Contains(const std::string& text, const char* part) {
    std::string lower;
    for (char c : text) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    return lower.find(part) != std::string::npos;
}

std::uint8_t FaceOf(const std::string& name, std::vector<std::string>* fontNames) {
    if (Contains(name, "courier") || Contains(name, "mono")) return FONT_FACE_TYPEWRITER;
    if (Contains(name, "times") || name == "serif") return FONT_FACE_ROMAN;
    if (!fontNames || name.empty() || Contains(name, "arial") || Contains(name, "helvetica") || Contains(name, "sans"))
        return FONT_FACE_SWISS;
    std::string stored = name.substr(0, kFontFaceNameSize - 1);
    auto found = std::find(fontNames->begin(), fontNames->end(), stored);
    if (found != fontNames->end()) return static_cast<std::uint8_t>(FONT_FACE_FIRST_TABLE + (found - fontNames->begin()));
    if (fontNames->size() >= 0xFF - FONT_FACE_FIRST_TABLE) return FONT_FACE_SWISS;
    fontNames->push_back(stored);
    return static_cast<std::uint8_t>(FONT_FACE_FIRST_TABLE + fontNames->size() - 1);
}

FontId FontIdOf(const render::TextStyle& style, std::vector<std::string>* fontNames) {
    FontId font;
    font.face = FaceOf(style.fontFace, fontNames);
    if (style.bold) font.attributes |= FONT_BOLD;
    if (style.italic) font.attributes |= FONT_ITALIC;
    if (style.underline) font.attributes |= FONT_UNDERLINE;
    if (style.strike) font.attributes |= FONT_STRIKEOUT;
    if (style.superscript) font.attributes |= FONT_SUPERSCRIPT;
    else if (style.subscript) font.attributes |= FONT_SUBSCRIPT;
    font.color = render::NearestNotesColour(style.colour);
    font.pointSize = static_cast<std::uint8_t>(std::clamp(style.pointSize, 1u, 255u));
    return font;
}

// Line breaks of the model ('\n') are zero bytes in a text record.
std::string RecordText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r') continue;
        out.push_back(c == '\n' ? '\0' : c);
    }
    return out;
}

std::uint16_t ImageTypeOf(render::ImageFormat format) {
    switch (format) {
    case render::ImageFormat::Gif: return CDIMAGETYPE_GIF;
    case render::ImageFormat::Jpeg: return CDIMAGETYPE_JPEG;
    case render::ImageFormat::Bmp: return CDIMAGETYPE_BMP;
    case render::ImageFormat::Png: return CDIMAGETYPE_PNG;
    default: return 0;
    }
}

class RecordBuilder {
public:
    RecordBuilder(std::vector<std::string>* warnings, std::vector<std::string>* fontNames)
        : warnings_(warnings), fontNames_(fontNames) {}

    std::string Build(const render::RichTextDocument& document) {
        for (const render::Paragraph& paragraph : document.paragraphs) Paragraph(paragraph);
        return writer_.Take();
    }

private:
    void Paragraph(const render::Paragraph& paragraph) {
        std::uint16_t justify = JustifyOf(paragraph.alignment);
        auto found = styles_.find(justify);
        if (found == styles_.end()) {
            found = styles_.emplace(justify, static_cast<std::uint16_t>(styles_.size() + 1)).first;
            writer_.ParagraphStyle(found->second, justify);
        }
        writer_.Paragraph();
        writer_.ParagraphStyleReference(found->second);
        for (const render::Inline& item : paragraph.inlines) Inline(item);
    }

    void Inline(const render::Inline& item) {
        if (const auto* run = std::get_if<render::TextRun>(&item)) {
            if (!run->text.empty()) writer_.Text(FontIdOf(run->style, fontNames_), RecordText(run->text));
        } else if (std::holds_alternative<render::LineBreak>(item)) {
            writer_.Text(font_, std::string(1, '\0'));
        } else if (const auto* link = std::get_if<render::LinkRun>(&item)) {
            std::string url = link->url.substr(0, link->url.find('\0'));
            url.push_back('\0');
            writer_.HotspotBegin(HOTSPOTREC_TYPE_URL, 0, url);
            writer_.Text(FontIdOf(link->style, fontNames_), RecordText(link->text.empty() ? link->url : link->text));
            writer_.HotspotEnd();
        } else if (const auto* picture = std::get_if<render::PictureRun>(&item)) {
            Picture(*picture);
        }
    }

    void Picture(const render::PictureRun& picture) {
        std::uint16_t type = ImageTypeOf(render::DetectImageFormat(picture.data));
        if (type == 0) {
            if (warnings_) warnings_->push_back("a picture in a format rich text cannot hold was left out");
            return;
        }
        std::uint32_t width = picture.displayWidth, height = picture.displayHeight;
        if (width == 0 || height == 0) render::ReadImageSize(picture.data, width, height);
        writer_.Graphic(type, static_cast<std::uint16_t>(std::min<std::uint32_t>(width, 0xFFFF)),
                        static_cast<std::uint16_t>(std::min<std::uint32_t>(height, 0xFFFF)), picture.data);
    }

    std::vector<std::string>* warnings_;
    std::vector<std::string>* fontNames_;
    CdRecordWriter writer_;
    FontId font_;
    std::map<std::uint16_t, std::uint16_t> styles_;  // justification -> PABID
};

}  // namespace

std::string RecordsFromRichText(const render::RichTextDocument& document, std::vector<std::string>* warnings,
                                std::vector<std::string>* fontNames) {
    return RecordBuilder(warnings, fontNames).Build(document);
}

}  // namespace qb::notes

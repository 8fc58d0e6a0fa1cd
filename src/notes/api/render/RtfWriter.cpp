#include "notes/api/render/RtfWriter.h"

#include "text/Cp1252.h"
#include "text/Utf8.h"
#include "notes/api/render/Image.h"
#include "text/TextCase.h"

#include <algorithm>
#include <cctype>

#include <cstdio>
#include <fstream>

namespace qb::render {

namespace {

void AppendUnicode(std::string& out, char32_t cp) {
    auto unit = [&](unsigned value, unsigned char fallback) {
        int signedValue = value > 0x7FFF ? static_cast<int>(value) - 0x10000 : static_cast<int>(value);
        char buffer[32];
        if (fallback) std::snprintf(buffer, sizeof buffer, "\\u%d\\'%02x", signedValue, fallback);
        else std::snprintf(buffer, sizeof buffer, "\\u%d?", signedValue);
        out += buffer;
    };
    if (cp > 0xFFFF) {
        cp -= 0x10000;
        unit(0xD800 + (cp >> 10), 0);
        unit(0xDC00 + (cp & 0x3FF), 0);
    } else {
        const int ansi = text::CodePointToCp1252(cp);
        unit(cp, ansi < 0 ? 0 : static_cast<unsigned char>(ansi));
    }
}

class RtfBuilder {
public:
    explicit RtfBuilder(RtfReport& report) : report_(report) {}

    std::string Build(const RichTextDocument& document) {
        // The tables come first in the file but are known only at the end.
        std::string body;
        for (const Paragraph& paragraph : document.paragraphs) WriteParagraph(paragraph, body);
        if (fonts_.empty()) FontIndex("Arial");  // \deff0 must name a font
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\\deflang1033\n";
        out += "{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i)
            out += "{\\f" + std::to_string(i) + FontFamily(fonts_[i]) + "\\fcharset0 " + EscapeRtfText(fonts_[i]) + ";}";
        out += "}\n{\\colortbl;";
        for (const Colour& c : colours_)
            out += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
                   std::to_string(c.blue) + ";";
        out += "}\n\\viewkind4\n";
        out += body;
        out += "}\n";
        return out;
    }

private:
    static std::string FontFamily(const std::string& face) {
        const std::string lower = text::ToLower(face);
        if (lower.find("courier") != std::string::npos || lower.find("mono") != std::string::npos ||
            lower.find("consolas") != std::string::npos)
            return "\\fmodern";
        if (lower.find("times") != std::string::npos || lower.find("serif") != std::string::npos ||
            lower.find("roman") != std::string::npos || lower.find("georgia") != std::string::npos)
            return lower.find("sans") != std::string::npos ? "\\fswiss" : "\\froman";
        return "\\fswiss";
    }

    size_t FontIndex(const std::string& face) {
        std::string name = face.empty() ? "Arial" : face;
        for (size_t i = 0; i < fonts_.size(); ++i)
            if (fonts_[i] == name) return i;
        fonts_.push_back(name);
        return fonts_.size() - 1;
    }

    size_t ColourIndex(const Colour& colour) {
        for (size_t i = 0; i < colours_.size(); ++i)
            if (colours_[i] == colour) return i + 1;  // 0 is the automatic colour
        colours_.push_back(colour);
        return colours_.size();
    }

    std::string StyleWords(const TextStyle& style) {
        std::string words = "\\f" + std::to_string(FontIndex(style.fontFace));
        unsigned size = style.pointSize == 0 ? 10 : std::min(style.pointSize, 1638u);
        words += "\\fs" + std::to_string(size * 2);
        if (style.bold) words += "\\b";
        if (style.italic) words += "\\i";
        if (style.underline) words += "\\ul";
        if (style.strike) words += "\\strike";
        if (style.superscript) words += "\\super";
        else if (style.subscript) words += "\\sub";
        words += "\\cf" + std::to_string(ColourIndex(style.colour));
        return words + " ";
    }

    void WriteParagraph(const Paragraph& paragraph, std::string& out) {
        out += "\\pard\\plain";
        switch (paragraph.alignment) {
            case Alignment::Left: out += "\\ql"; break;
            case Alignment::Right: out += "\\qr"; break;
            case Alignment::Center: out += "\\qc"; break;
            case Alignment::Justify: out += "\\qj"; break;
        }
        if (paragraph.leftIndentTwips) out += "\\li" + std::to_string(paragraph.leftIndentTwips);
        if (paragraph.firstLineIndentTwips) out += "\\fi" + std::to_string(paragraph.firstLineIndentTwips);
        if (paragraph.spaceBeforeTwips) out += "\\sb" + std::to_string(paragraph.spaceBeforeTwips);
        if (paragraph.spaceAfterTwips) out += "\\sa" + std::to_string(paragraph.spaceAfterTwips);
        out += " ";
        for (const Inline& item : paragraph.inlines) {
            if (const auto* run = std::get_if<TextRun>(&item)) {
                out += "{" + StyleWords(run->style) + EscapeRtfText(run->text) + "}";
            } else if (std::holds_alternative<LineBreak>(item)) {
                out += "\\line\n";
            } else if (const auto* link = std::get_if<LinkRun>(&item)) {
                WriteLink(*link, out);
            } else if (const auto* picture = std::get_if<PictureRun>(&item)) {
                WritePicture(*picture, out);
            }
        }
        out += "\\par\n";
    }

    void WriteLink(const LinkRun& link, std::string& out) {
        std::string shown = EscapeRtfText(link.text.empty() ? link.url : link.text);
        if (link.url.empty()) {
            out += "{" + StyleWords(link.style) + shown + "}";
            return;
        }
        std::string url;
        for (char c : link.url)
            if (c != '"') url.push_back(c);
        out += "{\\field{\\*\\fldinst{HYPERLINK \"" + EscapeRtfText(url) + "\"}}{\\fldrslt{" +
               StyleWords(link.style) + shown + "}}}";
    }

    void WritePicture(const PictureRun& picture, std::string& out) {
        ImageFormat format = DetectImageFormat(picture.data);
        std::string converted;
        std::string_view bytes = picture.data;
        uint32_t width = 0, height = 0;
        std::string detail;
        if (format == ImageFormat::Png || format == ImageFormat::Jpeg) {
            if (!ReadImageSize(bytes, width, height)) {
                Skip(out, "picture header unreadable");
                return;
            }
        } else {
            // RTF readers take PNG and JPEG; everything else is re-encoded.
            Bitmap bitmap;
            ImageStatus status = DecodeImage(bytes, bitmap, &detail);
            if (status != ImageStatus::Ok) {
                Skip(out, std::string(ImageStatusText(status)) + (detail.empty() ? "" : ": " + detail));
                return;
            }
            status = EncodePng(bitmap, converted, &detail);
            if (status != ImageStatus::Ok) {
                Skip(out, "PNG encoding failed: " + detail);
                return;
            }
            bytes = converted;
            format = ImageFormat::Png;
            width = bitmap.width;
            height = bitmap.height;
        }
        uint32_t shownWidth = picture.displayWidth ? picture.displayWidth : width;
        uint32_t shownHeight = picture.displayHeight ? picture.displayHeight : height;
        // Twips at 96 pixels per inch.
        out += "{\\pict" + std::string(format == ImageFormat::Png ? "\\pngblip" : "\\jpegblip") + "\\picw" +
               std::to_string(width) + "\\pich" + std::to_string(height) + "\\picwgoal" +
               std::to_string(uint64_t{shownWidth} * 15) + "\\pichgoal" + std::to_string(uint64_t{shownHeight} * 15) +
               "\n";
        static constexpr char kHex[] = "0123456789abcdef";
        for (size_t i = 0; i < bytes.size(); ++i) {
            unsigned char b = static_cast<unsigned char>(bytes[i]);
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
            if (i % 64 == 63) out.push_back('\n');
        }
        out += "}";
        ++report_.pictures;
    }

    void Skip(std::string& out, const std::string& why) {
        report_.warnings.push_back("picture not embedded: " + why);
        out += "[picture]";
    }

    RtfReport& report_;
    std::vector<std::string> fonts_;
    std::vector<Colour> colours_;
};

}  // namespace

std::string EscapeRtfText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp = text::NextCodePoint(utf8, pos);
        switch (cp) {
            case '\\': out += "\\\\"; continue;
            case '{': out += "\\{"; continue;
            case '}': out += "\\}"; continue;
            case '\n': out += "\\line "; continue;
            case '\t': out += "\\tab "; continue;
            default: break;
        }
        if (cp < 0x20 || cp == 0x7F) continue;  // other control characters have no meaning in text
        if (cp < 0x80) out.push_back(static_cast<char>(cp));
        else AppendUnicode(out, cp);
    }
    return out;
}

std::string RenderRtf(const RichTextDocument& document, RtfReport* report) {
    RtfReport local;
    RtfBuilder builder(report ? *report : local);
    return builder.Build(document);
}

bool WriteRtfFile(const RichTextDocument& document, const std::string& path, std::string* error, RtfReport* report) {
    std::string rtf = RenderRtf(document, report);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    file.write(rtf.data(), static_cast<std::streamsize>(rtf.size()));
    file.close();
    if (!file) {
        if (error) *error = "cannot write " + path;
        std::remove(path.c_str());  // a cut document must not pass for a whole one
        return false;
    }
    return true;
}

}  // namespace qb::render

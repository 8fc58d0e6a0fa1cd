// Formatted rich text of DXL (<richtext>) to CD records: paragraphs and
// their styles, runs and fonts, links, hotspots, pictures and OLE objects.
// Text that is not body text (computed text, code, captions) is skipped.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "notes/api/DxlReaderInternal.h"
#include "notes/api/render/NotesStyles.h"

namespace qb::notes::dxl_detail {

FontId RichTextBuilder::ParseFont(const XML_Char** attributes, FontId font) {
    if (const char* style = Attribute(attributes, "style")) {
        std::string_view styles(style);
        font.attributes = 0;
        if (styles.find("bold") != std::string_view::npos) font.attributes |= FONT_BOLD;
        if (styles.find("italic") != std::string_view::npos) font.attributes |= FONT_ITALIC;
        if (styles.find("underline") != std::string_view::npos) font.attributes |= FONT_UNDERLINE;
        if (styles.find("strikethrough") != std::string_view::npos) font.attributes |= FONT_STRIKEOUT;
        if (styles.find("superscript") != std::string_view::npos) font.attributes |= FONT_SUPERSCRIPT;
        if (styles.find("subscript") != std::string_view::npos) font.attributes |= FONT_SUBSCRIPT;
    }
    if (const char* color = Attribute(attributes, "color")) font.color = render::NearestNotesColour(render::ColourFromText(color));
    if (const char* size = Attribute(attributes, "size")) {
        int points = std::atoi(size);
        if (points > 0 && points < 256) font.pointSize = static_cast<std::uint8_t>(points);
    }
    if (const char* name = Attribute(attributes, "name")) {
        // The standard faces by their usual names; any other font by name.
        std::string_view face(name);
        if (face.find("Courier") != std::string_view::npos || face.find("mono") != std::string_view::npos ||
            face == "Default Monospace")
            font.face = FONT_FACE_TYPEWRITER;
        else if (face.find("Times") != std::string_view::npos || face.find("serif") == 0 || face == "Default Serif" ||
                 face == "Tms Rmn")
            font.face = FONT_FACE_ROMAN;
        else if (face.empty() || face == "Default Sans Serif" || face == "Arial" || face == "Helvetica" ||
                 face == "Helv" || face == "sans-serif")
            font.face = FONT_FACE_SWISS;
        else
            font.face = noteFonts_.FaceOf(std::string(face));
    }
    return font;
}

void RichTextBuilder::FlushText() {
    if (pending_.empty()) return;
    writer_.Text(fonts_.back(), pending_);
    pending_.clear();
}

void RichTextBuilder::Start(std::string_view element, const XML_Char** attributes) {
    if (skipDepth_ > 0) {
        ++skipDepth_;
        return;
    }
    if (inPicture_) {
        if (element == "gif" || element == "jpeg" || element == "png" || element == "bmp" || element == "notesbitmap") {
            imageElement_ = element;
            imageBase64_.clear();
        } else {
            ++skipDepth_;
        }
        return;
    }
    if (element == "par") {
        FlushText();
        writer_.Paragraph();
        if (const char* def = Attribute(attributes, "def"))
            writer_.ParagraphStyleReference(static_cast<std::uint16_t>(std::atoi(def)));
        paragraphOpen_ = true;
    } else if (element == "pardef") {
        FlushText();
        std::uint16_t id = static_cast<std::uint16_t>(std::atoi(Attribute(attributes, "id") ? Attribute(attributes, "id") : "0"));
        const char* align = Attribute(attributes, "align");
        std::uint16_t justify = 0;
        if (align) {
            std::string_view a(align);
            justify = a == "right" ? 1 : a == "full" ? 2 : a == "center" ? 3 : 0;
        }
        writer_.ParagraphStyle(id, justify);
    } else if (element == "run") {
        FlushText();
        fonts_.push_back(fonts_.back());
    } else if (element == "font") {
        FlushText();
        fonts_.back() = ParseFont(attributes, fonts_.back());
    } else if (element == "break") {
        pending_.push_back('\0');
    } else if (element == "tab") {
        pending_.push_back('\t');
    } else if (element == "tablecell" || element == "tablerow") {
        FlushText();
    } else if (element == "doclink" || element == "viewlink" || element == "databaselink") {
        FlushText();
        Bytes link;
        Bytes part;
        const char* replica = Attribute(attributes, "database");
        std::string replicaText = replica ? replica : "";
        if (replicaText.size() == 16) {
            // A replica id is a TIMEDATE written as two 8-digit words, high first.
            Bytes unid;
            if (UnidFromText(replicaText + std::string(16, '0'), &unid)) link += unid.substr(0, 8);
        }
        link.resize(8, '\0');
        for (const char* name : {"view", "document"}) {
            const char* unid = Attribute(attributes, name);
            if (unid && UnidFromText(unid, &part))
                link += part;
            else
                link += std::string(16, '\0');
        }
        const char* description = Attribute(attributes, "description");
        const char* server = Attribute(attributes, "server");
        writer_.Link(link, description ? description : "", server ? server : "");
        ++skipDepth_;
    } else if (element == "picture") {
        FlushText();
        inPicture_ = true;
        imageElement_.clear();
        imageBase64_.clear();
        const char* width = Attribute(attributes, "width");
        const char* height = Attribute(attributes, "height");
        pictureWidth_ = width ? std::atoi(width) : 0;
        pictureHeight_ = height ? std::atoi(height) : 0;
    } else if (element == "attachmentref") {
        FlushText();
        const char* name = Attribute(attributes, "name");
        const char* shown = Attribute(attributes, "displayname");
        std::string data = name ? name : "";
        data.push_back('\0');
        data += shown ? shown : data.substr(0, data.size() - 1);
        data.push_back('\0');
        writer_.HotspotBegin(4, 0, data);
        writer_.HotspotEnd();
        ++skipDepth_;
    } else if (element == "urllink") {
        FlushText();
        const char* href = Attribute(attributes, "href");
        std::string data = href ? href : "";
        data.push_back('\0');
        writer_.HotspotBegin(7, 0, data);
        fonts_.push_back(fonts_.back());
    } else if (element == "objectref") {
        FlushText();
        const char* name = Attribute(attributes, "name");
        const char* cls = Attribute(attributes, "class");
        writer_.OleObject(name ? name : "", cls ? cls : "");
        ++skipDepth_;
    } else if (element == "computedtext" || element == "code" || element == "sectiontitle" || element == "imagemap" || element == "region" || element == "caption") {
        ++skipDepth_;
    }
}

void RichTextBuilder::End(std::string_view element) {
    if (skipDepth_ > 0) {
        --skipDepth_;
        return;
    }
    if (inPicture_) {
        if (element == "picture") {
            inPicture_ = false;
            static const std::pair<const char*, std::uint16_t> kTypes[] = {
                {"gif", CDIMAGETYPE_GIF}, {"jpeg", CDIMAGETYPE_JPEG}, {"bmp", CDIMAGETYPE_BMP}, {"png", CDIMAGETYPE_PNG},
                {"notesbitmap", IMAGETYPE_NOTES_BITMAP}};
            Bytes image;
            std::uint16_t type = 0;
            for (const auto& [name, code] : kTypes)
                if (imageElement_ == name) type = code;
            if (type != 0 && DecodeBase64(imageBase64_, &image))
                writer_.Graphic(type, static_cast<std::uint16_t>(pictureWidth_),
                                static_cast<std::uint16_t>(pictureHeight_), image);
            imageBase64_.clear();
            imageBase64_.shrink_to_fit();
        }
        return;
    }
    if (element == "run" || element == "urllink") {
        FlushText();
        if (fonts_.size() > 1) fonts_.pop_back();
        if (element == "urllink") writer_.HotspotEnd();
    } else if (element == "par" || element == "tablecell") {
        FlushText();
        paragraphOpen_ = false;
    }
}

void RichTextBuilder::Characters(std::string_view text) {
    if (skipDepth_ > 0) return;
    if (inPicture_) {
        if (!imageElement_.empty()) imageBase64_.append(text);
        return;
    }
    if (!paragraphOpen_) {
        // Text outside any paragraph: only whitespace between elements is
        // expected there; real text gets a paragraph of its own.
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return;
        writer_.Paragraph();
        paragraphOpen_ = true;
    }
    pending_.append(text);
}

}  // namespace qb::notes::dxl_detail

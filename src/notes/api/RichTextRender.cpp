#include "notes/api/RichTextRender.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "notes/api/NotesBitmap.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/render/NotesStyles.h"
#include "text/TextCase.h"

namespace qb::notes {

namespace {

// A Notes bitmap re-encoded as PNG, which RTF readers take; false when it
// cannot be decoded.
bool NotesBitmapAsPng(std::string& data) {
    render::Bitmap bitmap;
    render::ImageStatus status = DecodeNotesBitmap(data, bitmap);
    if (status != render::ImageStatus::Ok && status != render::ImageStatus::Truncated) return false;
    std::string png;
    if (render::EncodePng(bitmap, png) != render::ImageStatus::Ok) return false;
    data = std::move(png);
    return true;
}

// The zero-terminated text at offset, cut at the end of the body when its
// terminator is missing; offset moves past the terminator.
std::string_view TakeCString(std::string_view body, std::size_t* offset) {
    if (*offset >= body.size()) return {};
    std::string_view rest = body.substr(*offset);
    std::string_view text = rest.substr(0, rest.find('\0'));
    *offset += text.size() + 1;
    return text;
}

class RecordRenderer {
public:
    RecordRenderer(std::string_view value, std::string_view linksTable, std::string_view fontTable)
        : value_(value), links_(linksTable), fonts_(ReadFontTable(fontTable)) {}

    RichTextRenderResult Run(std::size_t begin, std::size_t end) {
        begin = std::min(begin, value_.size());
        end = std::min(std::max(end, begin), value_.size());
        std::size_t offset = begin;
        while (offset < end) {
            CdRecordReader reader(value_.substr(offset));
            CdRecord record;
            if (!reader.Next(&record)) {
                Warn(offset, "damaged record; the rest of the rich text is left out");
                break;
            }
            std::size_t next = offset + reader.Offset();
            if (record.signature == SIG_CD_GRAPHIC) next = Picture(offset);
            else Record(record);
            offset = next;
        }
        if (started_ || !current_.inlines.empty()) result_.document.paragraphs.push_back(std::move(current_));
        return std::move(result_);
    }

private:
    void Warn(std::size_t offset, const char* what) {
        char text[160];
        std::snprintf(text, sizeof text, "rich text offset %zu: %s", offset, what);
        result_.warnings.emplace_back(text);
    }

    void Record(const CdRecord& record) {
        switch (record.signature) {
        case SIG_CD_PARAGRAPH: NewParagraph(); break;
        case SIG_CD_PABDEFINITION:
            // A definition takes effect for the paragraphs after it (and for
            // the open one while it is still empty and unreferenced).
            if (record.body.size() >= 4) {
                render::Alignment alignment = render::AlignmentFromJustify(GetWord(record.body, 2));
                styles_[GetWord(record.body, 0)] = alignment;
                alignment_ = alignment;
                if (current_.inlines.empty() && !referenced_) current_.alignment = alignment;
            }
            break;
        case SIG_CD_PABREFERENCE:
            if (record.body.size() >= 2) {
                auto found = styles_.find(GetWord(record.body, 0));
                if (found != styles_.end()) current_.alignment = alignment_ = found->second;
                referenced_ = true;
            }
            break;
        case SIG_CD_TEXT: Text(record.body); break;
        case SIG_CD_LINK: LinkByIndex(record); break;
        case SIG_CD_LINKEXPORT2: LinkWithData(record); break;
        case SIG_CD_HOTSPOTBEGIN: HotspotBegin(record.body); break;
        case SIG_CD_HOTSPOTEND: url_.clear(); break;
        default: break;  // records without a visible form
        }
    }

    void NewParagraph() {
        if (started_) {
            result_.document.paragraphs.push_back(std::move(current_));
            current_ = render::Paragraph{};
            current_.alignment = alignment_;
            referenced_ = false;
        }
        started_ = true;
    }

    void Text(std::string_view body) {
        started_ = true;
        if (body.size() < 4) return;
        style_ = render::StyleFromFontId(body.substr(0, 4), fonts_);
        std::string_view text = body.substr(4);
        while (!text.empty()) {
            std::size_t zero = text.find('\0');
            std::string_view piece = text.substr(0, zero);
            if (!piece.empty()) {
                if (url_.empty()) current_.inlines.emplace_back(render::TextRun{style_, std::string(piece)});
                else current_.inlines.emplace_back(render::LinkRun{style_, std::string(piece), url_});
            }
            if (zero == std::string_view::npos) break;
            current_.inlines.emplace_back(render::LineBreak{});
            text.remove_prefix(zero + 1);
        }
    }

    void AddLink(std::string_view noteLink, std::string_view comment, std::string_view hint) {
        std::string address = DocLinkAddress(noteLink, hint);
        current_.inlines.emplace_back(render::LinkRun{style_, std::string(comment.empty() ? address : comment), address});
    }

    void LinkByIndex(const CdRecord& record) {
        started_ = true;
        if (record.body.size() < 2) return;
        std::size_t index = GetWord(record.body, 0);
        std::size_t at = 2;
        std::string_view comment = TakeCString(record.body, &at);
        std::string_view hint = TakeCString(record.body, &at);
        std::size_t count = links_.size() >= 2 ? GetWord(links_, 0) : 0;
        std::size_t entry = 2 + index * kNoteLinkSize;
        if (index >= count || entry + kNoteLinkSize > links_.size()) {
            Warn(static_cast<std::size_t>(record.record.data() - value_.data()), "document link without a $Links entry");
            if (!comment.empty()) current_.inlines.emplace_back(render::TextRun{style_, std::string(comment)});
            return;
        }
        AddLink(links_.substr(entry, kNoteLinkSize), comment, hint);
    }

    void LinkWithData(const CdRecord& record) {
        started_ = true;
        if (record.body.size() < kNoteLinkSize) return;
        std::size_t at = kNoteLinkSize;
        std::string_view comment = TakeCString(record.body, &at);
        std::string_view hint = TakeCString(record.body, &at);
        AddLink(record.body.substr(0, kNoteLinkSize), comment, hint);
    }

    void HotspotBegin(std::string_view body) {
        if (body.size() < 8) return;
        std::uint16_t type = GetWord(body, 0);
        std::size_t length = std::min<std::size_t>(GetWord(body, 6), body.size() - 8);
        std::string_view data = body.substr(8, length);
        std::size_t at = 0;
        if (type == HOTSPOTREC_TYPE_FILE) {
            started_ = true;
            std::string_view object = TakeCString(data, &at);
            std::string_view shown = TakeCString(data, &at);
            current_.inlines.emplace_back(render::TextRun{style_, std::string(shown.empty() ? object : shown)});
        } else if (type == HOTSPOTREC_TYPE_URL) {
            url_ = std::string(TakeCString(data, &at));
        }
    }

    std::size_t Picture(std::size_t offset) {
        started_ = true;
        GraphicImage graphic;
        ReadGraphicAt(value_, offset, &graphic);
        if (graphic.imageType == IMAGETYPE_NOTES_BITMAP && !NotesBitmapAsPng(graphic.data)) {
            Warn(offset, "a Notes bitmap that cannot be decoded was left out");
        } else if (graphic.data.empty()) {
            Warn(offset, "picture without image data");
        } else {
            render::PictureRun picture;
            picture.data = std::move(graphic.data);
            picture.displayWidth = static_cast<std::uint32_t>(graphic.width);
            picture.displayHeight = static_cast<std::uint32_t>(graphic.height);
            current_.inlines.emplace_back(std::move(picture));
            ++result_.pictures;
        }
        return std::max(graphic.end, offset + 1);
    }

    std::string_view value_;
    std::string_view links_;
    render::NotesFontTable fonts_;
    RichTextRenderResult result_;
    render::Paragraph current_;
    bool started_ = false;
    render::TextStyle style_;
    std::string url_;  // inside a URL hotspot
    std::map<std::uint16_t, render::Alignment> styles_;
    render::Alignment alignment_ = render::Alignment::Left;  // in force for new paragraphs
    bool referenced_ = false;  // the open paragraph named its style
};

}  // namespace

bool ReadGraphicAt(std::string_view value, std::size_t offset, GraphicImage* graphic) {
    *graphic = GraphicImage{};
    if (offset >= value.size()) return false;
    CdRecordReader reader(value.substr(offset));
    CdRecord record;
    if (!reader.Next(&record) || record.signature != SIG_CD_GRAPHIC) return false;
    if (record.body.size() >= 4) {
        graphic->width = GetWord(record.body, 0);
        graphic->height = GetWord(record.body, 2);
    }
    std::size_t end = reader.Offset();
    while (reader.Next(&record)) {
        if (IsNotesBitmapRecord(record.signature) && (graphic->imageType == IMAGETYPE_NOTES_BITMAP ||
                                                      record.signature == SIG_CD_BITMAPHEADER)) {
            // Notes' own bitmap: its records are the picture's data.
            if (record.signature == SIG_CD_BITMAPHEADER && record.body.size() >= 20 && graphic->data.empty()) {
                graphic->imageType = IMAGETYPE_NOTES_BITMAP;
                graphic->width = GetWord(record.body, 16);
                graphic->height = GetWord(record.body, 18);
            }
            graphic->data.append(record.record);
            if (record.record.size() & 1) graphic->data.push_back('\0');
        } else if (record.signature == SIG_CD_IMAGEHEADER && record.body.size() >= 6) {
            graphic->imageType = GetWord(record.body, 0);
            if (GetWord(record.body, 2) && GetWord(record.body, 4)) {
                graphic->width = GetWord(record.body, 2);
                graphic->height = GetWord(record.body, 4);
            }
        } else if (record.signature == SIG_CD_IMAGESEGMENT && record.body.size() >= 4) {
            std::size_t size = GetWord(record.body, 0);
            graphic->data.append(record.body.substr(4, size));
        } else {
            break;
        }
        end = reader.Offset();
    }
    graphic->end = offset + end;
    return true;
}

std::size_t NextPosition(std::string_view value, std::size_t offset) {
    if (offset >= value.size()) return value.size();
    GraphicImage graphic;
    if (ReadGraphicAt(value, offset, &graphic)) return graphic.end;
    CdRecordReader reader(value.substr(offset));
    CdRecord record;
    if (!reader.Next(&record)) return offset;
    return std::min(offset + reader.Offset(), value.size());
}

std::string NotesUrl(std::string_view server, std::string_view replicaId, std::string_view viewUnid,
                     std::string_view noteUnid) {
    // The common name alone: a canonical "CN=Hub/O=Org" or abbreviated
    // "Hub/Org" name would put its slashes into the path of the address.
    if (text::StartsWithIgnoreCase(server, "CN=")) server.remove_prefix(3);
    server = server.substr(0, server.find('/'));
    std::string url = "NOTES://";
    url.append(server).append("/").append(replicaId).append("/").append(viewUnid).append("/").append(noteUnid);
    return url;
}

std::string DocLinkAddress(std::string_view noteLink, std::string_view serverHint) {
    auto word = [&](std::size_t index) { return noteLink.size() >= (index + 1) * 4 ? GetDword(noteLink, index * 4) : 0u; };
    char replica[17], view[33], note[33];
    std::snprintf(replica, sizeof replica, "%08X%08X", word(1), word(0));
    std::snprintf(view, sizeof view, "%08X%08X%08X%08X", word(3), word(2), word(5), word(4));
    std::snprintf(note, sizeof note, "%08X%08X%08X%08X", word(7), word(6), word(9), word(8));
    return NotesUrl(serverHint, replica, view, note);
}

RichTextRenderResult RenderRichText(std::string_view value, std::size_t begin, std::size_t end,
                                    std::string_view linksTable, std::string_view fontTable) {
    return RecordRenderer(value, linksTable, fontTable).Run(begin, end);
}

}  // namespace qb::notes

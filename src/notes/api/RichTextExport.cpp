#include "notes/api/RichTextExport.h"

#include "notes/api/NoteData.h"
#include "notes/api/NotesBitmap.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/RichTextRender.h"
#include "notes/api/render/Image.h"
#include "notes/api/render/RtfWriter.h"
#include "shell/platform/OutputFile.h"
#include "text/LzfuAhead.h"
#include "text/TextCase.h"

namespace qb::notes {

namespace {

enum class ExportKind { Unknown, Rtf, Tiff };

ExportKind KindOfPath(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return ExportKind::Unknown;
    const char* extension = path.c_str() + dot + 1;
    if (text::EqualsIgnoreCase(extension, "rtf")) return ExportKind::Rtf;
    if (text::EqualsIgnoreCase(extension, "tif") || text::EqualsIgnoreCase(extension, "tiff")) return ExportKind::Tiff;
    return ExportKind::Unknown;
}


LNSTATUS ExportRtf(std::string_view value, std::size_t begin, std::size_t end, std::string_view linksTable,
                   std::string_view fontTable, const std::string& path, std::string* detail,
                   const PreparedRtf* prepared) {
    if (prepared && prepared->Matches(value, begin, end, linksTable, fontTable)) {
        if (!qb::platform::WriteWholeFile(path, prepared->rtf, detail)) return LNERR_EXPORT_WRITE;
        // The file is about to be read into a message, which stores it compressed.
        if (!prepared->compressedRtf.empty())
            text::lzfu::CompressedAhead::Shared().Offer(prepared->rtf, prepared->compressedRtf);
        return LNNOERROR;
    }
    std::string rtf = RenderRichTextRangeRtf(value, begin, end, linksTable, fontTable);
    return qb::platform::WriteWholeFile(path, rtf, detail) ? LNNOERROR : LNERR_EXPORT_WRITE;
}

// The first CDGRAPHIC starting in [begin, end).
bool FindGraphic(std::string_view value, std::size_t begin, std::size_t end, GraphicImage* graphic) {
    end = std::min(end, value.size());
    std::size_t offset = begin;
    while (offset < end) {
        if (ReadGraphicAt(value, offset, graphic)) return true;
        std::size_t next = NextPosition(value, offset);
        if (next <= offset) return false;
        offset = next;
    }
    return false;
}

LNSTATUS ExportTiff(std::string_view value, std::size_t begin, std::size_t end, const std::string& path,
                    std::string* detail) {
    GraphicImage graphic;
    if (!FindGraphic(value, begin, end, &graphic)) {
        *detail = path;
        return LNERR_NO_GRAPHIC;
    }
    if (graphic.data.empty()) {
        *detail = "the picture has no image data";
        return LNERR_BAD_IMAGE;
    }
    std::string why;
    render::Bitmap bitmap;
    render::ImageStatus status = graphic.imageType == IMAGETYPE_NOTES_BITMAP
                                     ? DecodeNotesBitmap(graphic.data, bitmap, &why)
                                     : render::DecodeImage(graphic.data, bitmap, &why);
    // A truncated picture is still written, its missing rows black.
    bool usable = status == render::ImageStatus::Ok ||
                  (status == render::ImageStatus::Truncated && !bitmap.pixels.empty());
    if (!usable) {
        *detail = std::string(render::ImageStatusText(status)) + (why.empty() ? "" : ": " + why);
        return LNERR_BAD_IMAGE;
    }
    if (render::WriteTiff(bitmap, path, &why) != render::ImageStatus::Ok) {
        *detail = path + (why.empty() ? "" : ": " + why);
        return LNERR_EXPORT_WRITE;
    }
    return LNNOERROR;
}

}  // namespace

std::string RenderRichTextRangeRtf(std::string_view value, std::size_t begin, std::size_t end,
                                   std::string_view linksTable, std::string_view fontTable) {
    RichTextRenderResult rendered = RenderRichText(value, begin, end, linksTable, fontTable);
    return render::RenderRtf(rendered.document);
}

LNSTATUS ExportRichTextRange(std::string_view value, std::size_t begin, std::size_t end, std::string_view linksTable,
                             std::string_view fontTable, const std::string& path, std::string* detail,
                             const PreparedRtf* prepared) {
    switch (KindOfPath(path)) {
    case ExportKind::Rtf: return ExportRtf(value, begin, end, linksTable, fontTable, path, detail, prepared);
    case ExportKind::Tiff: return ExportTiff(value, begin, end, path, detail);
    case ExportKind::Unknown: break;
    }
    *detail = path;
    return LNERR_EXPORT_FORMAT;
}

}  // namespace qb::notes

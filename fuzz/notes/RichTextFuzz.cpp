// Fuzzes the rich text readers on raw CD records: the record walk, the plain
// text, cursors over every object kind, the rendering to the rich text model
// and to RTF, the pictures found (Notes bitmaps included), the LMBCS
// decoding, and the model written back as records.

#include <cstddef>
#include <cstdint>
#include <string>

#include "notes/api/LNItem.h"
#include "notes/api/LNRichText.h"
#include "notes/api/NoteData.h"
#include "notes/api/NotesBitmap.h"
#include "notes/api/Lmbcs.h"
#include "notes/api/RichTextFromModel.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/RichTextRender.h"
#include "notes/api/render/Image.h"
#include "notes/api/render/RtfWriter.h"

namespace {

void WalkCursors(const LNRichText& rich) {
    for (LNRTTYPE type : {LNRTTYPE_ANY, LNRTTYPE_PARAGRAPH, LNRTTYPE_TEXT, LNRTTYPE_DOCLINK, LNRTTYPE_GRAPHIC,
                          LNRTTYPE_ATTACHMENT, LNRTTYPE_HOTSPOT}) {
        LNRTCursor cursor, end;
        rich.GetCursor(&cursor);
        rich.GetEndCursor(&end);
        LNGraphic graphic;
        std::size_t last = 0;
        for (LNSTATUS found = cursor.GotoFirst(type, &graphic); found == LNNOERROR;
             found = cursor.GotoNext(type, &graphic)) {
            if (cursor.GetOffset() < last || cursor.GetOffset() > rich.GetSize()) __builtin_trap();
            last = cursor.GetOffset();
            LNRTCursor next = cursor;
            next += 1;
            if (!(cursor < next) && next.GetOffset() != rich.GetSize()) __builtin_trap();
            LNString text;
            LNRTCursor from = cursor;
            rich.GetText(&from, next, &text);
            if (type == LNRTTYPE_GRAPHIC && !graphic.GetImageData().empty()) {
                qb::render::Bitmap bitmap;
                if (graphic.GetImageType() == qb::notes::IMAGETYPE_NOTES_BITMAP)
                    qb::notes::DecodeNotesBitmap(graphic.GetImageData(), bitmap);
                else
                    qb::render::DecodeImage(graphic.GetImageData(), bitmap);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first two bytes pick the range rendered; the rest is the value.
    if (size < 2) return 0;
    const std::size_t pick = data[0] | data[1] << 8;
    std::string value(reinterpret_cast<const char*>(data) + 2, size - 2);
    qb::notes::FirstDamagedRecord(value);
    qb::notes::RichTextHasOleObject(value);
    qb::notes::RichTextPlainText(value);
    qb::notes::RichTextToUtf8(value);

    LNRichText rich(LNMakeRawItem("Body", TYPE_COMPOSITE, value));
    LNString text;
    rich.GetText(&text);
    WalkCursors(rich);

    std::string links = value.substr(0, std::min<std::size_t>(value.size(), 84));
    const std::size_t begin = value.empty() ? 0 : pick % (value.size() + 1);
    qb::notes::RichTextRenderResult rendered = qb::notes::RenderRichText(value, begin, value.size(), links);
    qb::render::RenderRtf(rendered.document);
    std::vector<std::string> warnings;
    std::string again = qb::notes::RecordsFromRichText(rendered.document, &warnings);
    if (qb::notes::FirstDamagedRecord(again) != std::string_view::npos) __builtin_trap();
    qb::notes::RenderRichText(again, 0, again.size(), {});
    return 0;
}

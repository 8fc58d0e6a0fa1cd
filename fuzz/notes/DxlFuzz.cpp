// Fuzzes the DXL reader: the indexing pass and the parse of every note, then
// every item value through its typed views and the rich text walk.

#include <cstddef>
#include <cstdint>
#include <string>

#include "notes/api/DxlReader.h"
#include "notes/api/LNItem.h"
#include "notes/api/LNRichText.h"
#include "notes/api/MimeNote.h"
#include "notes/api/RichTextRender.h"
#include "notes/api/NoteData.h"
#include "notes/api/RichTextRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    qb::notes::DxlDatabaseInfo info;
    std::vector<qb::notes::NoteData> notes;
    std::string detail;
    if (qb::notes::ParseDxlText(text, &info, &notes, &detail) != LNNOERROR) return 0;
    for (qb::notes::NoteData& note : notes) {
        qb::notes::PresentMimeAsRichText(note);
        for (const qb::notes::ItemData& data : note.items) {
            LNItem item(std::make_shared<qb::notes::ItemData>(data));
            item.GetValueText(';');
            item.GetValueCount();
            LNText texts(item);
            LNDatetimes times(item);
            for (LNINT i = 0; i < times.GetCount(); ++i) times[i].GetParts();
            LNRichText rich(item);
            LNString plain;
            if (!rich.IsNull()) {
                rich.GetText(&plain);
                qb::notes::RenderRichText(rich.GetRecords(), 0, rich.GetSize(), {});
                LNRTCursor cursor;
                rich.GetCursor(&cursor);
                LNGraphic graphic;
                while (cursor.GotoNext(LNRTTYPE_ANY, &graphic) == LNNOERROR) {
                }
            }
        }
    }
    return 0;
}

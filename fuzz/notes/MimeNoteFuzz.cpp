// Fuzzes the presentation of MIME documents: a note of RFC 822 header items,
// MIME part items and file objects is turned into rich text and file
// objects, which are then read as any document is. Input: records of one
// kind byte ('H' header item, 'M' MIME part item of Body, 'N' MIME part item
// of another name, 'F' a $FILE object, named by its first 8 bytes), a
// 16-bit length and the value.

#include <cstddef>
#include <cstdint>
#include <string>

#include "notes/api/MimeNote.h"
#include "notes/api/NoteData.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/RichTextRender.h"
#include "notes/api/render/RtfWriter.h"

namespace {

qb::notes::ItemData MakeItem(char kind, std::string value) {
    qb::notes::ItemData item;
    item.value = std::move(value);
    switch (kind) {
    case 'H': item.name = "Subject", item.type = TYPE_RFC822_TEXT; break;
    case 'M': item.name = "Body", item.type = TYPE_MIME_PART; break;
    case 'N': item.name = "Other", item.type = TYPE_MIME_PART; break;
    default: {
        auto content = std::make_shared<qb::notes::FileContent>();
        content->inMemory = true;
        content->bytes = item.value;
        auto file = std::make_shared<qb::notes::FileObject>();
        file->name = item.value.substr(0, 8);
        file->content = std::move(content);
        item.name = "$FILE";
        item.type = TYPE_OBJECT;
        item.file = std::move(file);
    }
    }
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qb::notes::NoteData note;
    std::size_t pos = 0;
    while (pos + 3 <= bytes.size()) {
        char kind = bytes[pos];
        std::size_t length = static_cast<std::uint8_t>(bytes[pos + 1]) | static_cast<std::uint8_t>(bytes[pos + 2]) << 8;
        pos += 3;
        length = std::min(length, bytes.size() - pos);
        note.items.push_back(MakeItem(kind, std::string(bytes.substr(pos, length))));
        pos += length;
    }
    qb::notes::PresentMimeAsRichText(note);
    for (const qb::notes::ItemData& item : note.items) {
        if (item.type == TYPE_MIME_PART) __builtin_trap();  // every part was presented
        if (item.type != TYPE_COMPOSITE) continue;
        if (qb::notes::FirstDamagedRecord(item.value) != std::string_view::npos) __builtin_trap();
        qb::notes::RichTextPlainText(item.value);
        qb::render::RenderRtf(qb::notes::RenderRichText(item.value, 0, item.value.size(), {}).document);
    }
    return 0;
}

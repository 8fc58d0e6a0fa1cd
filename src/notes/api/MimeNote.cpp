#include "notes/api/MimeNote.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "notes/api/RichTextFromModel.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/mime/MessageContent.h"
#include "notes/api/mime/NotesMimeItems.h"
#include "notes/api/render/MimeRichText.h"

namespace qb::notes {

namespace {

std::vector<std::string> MimeItemNames(const NoteData& note) {
    std::vector<std::string> names;
    for (const ItemData& item : note.items) {
        if (item.type != TYPE_MIME_PART) continue;
        bool seen = std::any_of(names.begin(), names.end(), [&](const std::string& name) { return NameEquals(name, item.name); });
        if (!seen) names.push_back(item.name);
    }
    return names;
}

std::vector<mime::NotesRawItem> RawItems(const NoteData& note) {
    std::vector<mime::NotesRawItem> raw;
    for (const ItemData& item : note.items)
        if (item.type == TYPE_RFC822_TEXT || item.type == TYPE_MIME_PART)
            raw.push_back(mime::NotesRawItem{item.name, item.type, item.value});
    return raw;
}

// An attached part as a $FILE item whose content is held in memory.
ItemData FileItem(const std::string& fileName, std::string bytes, LNITEMFLAGS flags) {
    auto content = std::make_shared<FileContent>();
    content->inMemory = true;
    content->bytes = std::move(bytes);
    auto file = std::make_shared<FileObject>();
    file->name = fileName;
    file->size = content->bytes.size();
    file->content = std::move(content);
    ItemData item;
    item.name = "$FILE";
    item.type = TYPE_OBJECT;
    item.flags = flags;
    item.value = fileName;
    item.file = std::move(file);
    return item;
}

// A name for an attached part that has none, as Notes gives them.
std::string UnnamedFileName(std::size_t number, const mime::MimeEntity& part) {
    char text[32];
    std::snprintf(text, sizeof text, "ATT%05zu", number);
    std::string name = text;
    if (part.IsMessage()) name += ".eml";
    else if (part.contentType.IsText()) name += part.contentType.subtype == "html" ? ".htm" : ".txt";
    return name;
}

class MimePresenter {
public:
    // Named fonts get faces of a new $Fonts table unless the note has one.
    explicit MimePresenter(NoteData& note) : note_(note), hadFonts_(note.FindItem("$Fonts") != nullptr) {}

    void Present() {
        std::vector<std::string> names = MimeItemNames(note_);
        if (names.empty()) return;
        std::vector<mime::NotesRawItem> raw = RawItems(note_);
        for (const std::string& name : names) PresentItem(raw, name);
        // Objects that held MIME part content are shown through the parts.
        std::erase_if(note_.items, [&](const ItemData& item) {
            return item.type == TYPE_OBJECT && item.file && consumed_.count(item.file->name) != 0;
        });
        for (ItemData& file : files_) note_.items.push_back(std::move(file));
        if (!fontNames_.empty() && !note_.FindItem("$Fonts")) {
            CdRecordWriter table;
            table.FontTable(fontNames_);
            ItemData fonts;
            fonts.name = "$Fonts";
            fonts.type = TYPE_COMPOSITE;
            fonts.value = table.Take();
            note_.items.push_back(std::move(fonts));
        }
    }

private:
    std::optional<std::string> ReadObject(std::string_view objectName) {
        for (const ItemData& item : note_.items) {
            if (item.type != TYPE_OBJECT || !item.file || !item.file->content || item.file->name != objectName)
                continue;
            Bytes bytes;
            std::string detail;
            if (ReadFileContent(*item.file->content, &bytes, &detail) != LNNOERROR) {
                note_.readWarnings.push_back("MIME part object " + std::string(objectName) + ": " + detail);
                return std::nullopt;
            }
            consumed_.insert(std::string(objectName));
            return bytes;
        }
        return std::nullopt;
    }

    void PresentItem(const std::vector<mime::NotesRawItem>& raw, const std::string& name) {
        mime::MimeMessage message = mime::ParseNotesMime(
            raw, name, [this](std::string_view objectName) { return ReadObject(objectName); });
        for (const std::string& warning : message.warnings) note_.readWarnings.push_back(name + ": " + warning);
        mime::MessageContent content = mime::ExtractContent(message.root);
        render::RichTextDocument document = render::RichTextFromMime(content);

        auto first = std::find_if(note_.items.begin(), note_.items.end(), [&](const ItemData& item) {
            return item.type == TYPE_MIME_PART && NameEquals(item.name, name);
        });
        ItemData body;
        body.name = first->name;
        body.type = TYPE_COMPOSITE;
        body.flags = static_cast<LNITEMFLAGS>(first->flags & ~LNITEMFLAGS_SUMMARY);
        body.value = RecordsFromRichText(document, &note_.readWarnings, hadFonts_ ? nullptr : &fontNames_);
        body.value += AttachedFiles(content, body.flags);
        ReplaceParts(name, std::move(body));
    }

    // Each attached part becomes a $FILE object; returns the file hotspots
    // that show them at the end of the body.
    std::string AttachedFiles(const mime::MessageContent& content, LNITEMFLAGS bodyFlags) {
        CdRecordWriter hotspots;
        for (const mime::MimeEntity* part : content.attachments) {
            std::string fileName = part->fileName.empty() ? UnnamedFileName(++unnamed_, *part) : part->fileName;
            std::string data = fileName + '\0' + fileName + '\0';
            hotspots.Paragraph();
            hotspots.HotspotBegin(HOTSPOTREC_TYPE_FILE, 0, data);
            hotspots.HotspotEnd();
            files_.push_back(FileItem(fileName, part->body, LNITEMFLAGS_SUMMARY | (bodyFlags & LNITEMFLAGS_SEAL)));
        }
        return hotspots.Take();
    }

    // The MIME part items of a name give way to the rich text item, which
    // takes the place of the first of them.
    void ReplaceParts(const std::string& name, ItemData body) {
        auto isPart = [&](const ItemData& item) { return item.type == TYPE_MIME_PART && NameEquals(item.name, name); };
        auto at = std::find_if(note_.items.begin(), note_.items.end(), isPart);
        std::size_t index = static_cast<std::size_t>(at - note_.items.begin());
        std::erase_if(note_.items, isPart);
        index = std::min(index, note_.items.size());
        note_.items.insert(note_.items.begin() + static_cast<std::ptrdiff_t>(index), std::move(body));
    }

    NoteData& note_;
    bool hadFonts_;
    std::set<std::string> consumed_;
    std::vector<ItemData> files_;
    std::vector<std::string> fontNames_;
    std::size_t unnamed_ = 0;
};

}  // namespace

bool HasMimeParts(const NoteData& note) {
    return std::any_of(note.items.begin(), note.items.end(),
                       [](const ItemData& item) { return item.type == TYPE_MIME_PART; });
}

void PresentMimeAsRichText(NoteData& note) { MimePresenter(note).Present(); }

void PresentNote(NoteData& note) {
    if (HasMimeParts(note)) PresentMimeAsRichText(note);
    // Damaged rich text is read up to the damage; say where it was cut.
    for (const ItemData& item : note.items) {
        if (item.type != TYPE_COMPOSITE) continue;
        std::size_t damaged = FirstDamagedRecord(item.value);
        if (damaged == std::string_view::npos) continue;
        char text[200];
        std::snprintf(text, sizeof text, "item %.100s: damaged rich text record at offset %zu; the rest is left out",
                      item.name.c_str(), damaged);
        note.readWarnings.emplace_back(text);
    }
}

}  // namespace qb::notes

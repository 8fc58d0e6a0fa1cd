#include "notes/api/LNNote.h"

#include "notes/api/DatabaseImpl.h"
#include "notes/api/LNDatabase.h"
#include "notes/api/MimeNote.h"
#include "notes/api/RichTextRecords.h"

using namespace qb::notes;

namespace {

LNSTATUS RequireOpen(const std::shared_ptr<DocumentImpl>& impl) {
    if (!impl) return Fail(LNERR_NOTE_NOT_FOUND, "null document");
    if (!impl->note) return Fail(LNERR_NOTE_NOT_OPEN);
    return LNNOERROR;
}

std::shared_ptr<const ItemData> Share(const ItemData& item) { return std::make_shared<ItemData>(item); }

}  // namespace

LNNote::LNNote() = default;
LNNote::LNNote(std::shared_ptr<DocumentImpl> impl) : impl_(std::move(impl)) {}

bool LNNote::IsNull() const { return impl_ == nullptr; }

LNSTATUS LNNote::Open(DWORD) {
    if (!impl_) return Fail(LNERR_NOTE_NOT_FOUND, "null document");
    if (impl_->note) return LNNOERROR;
    if (!impl_->database || !impl_->database->open) return Fail(LNERR_DATABASE_NOT_OPEN);
    std::string detail;
    bool presented = false;
    LNSTATUS status = impl_->database->LoadNote(impl_->noteId, &impl_->note, &detail, &presented);
    if (status != LNNOERROR) return Fail(status, detail);
    // The database keeps MIME as stored; the document shows it as rich text
    // (done already when the thread reading ahead presented it).
    if (!presented) PresentNote(*impl_->note);
    return LNNOERROR;
}

LNSTATUS LNNote::Close() {
    if (impl_ && !impl_->isNew) impl_->note.reset();
    return LNNOERROR;
}

std::vector<LNString> LNNote::GetReadWarnings() const {
    if (!impl_ || !impl_->note) return {};
    return impl_->note->readWarnings;
}

bool LNNote::IsOpen() const { return impl_ && impl_->note; }

NOTEID LNNote::GetNoteID() const { return impl_ ? impl_->noteId : 0; }

LNString LNNote::GetUniversalID() const {
    if (!impl_) return {};
    if (impl_->note) return impl_->note->unid;
    IndexEntryPtr entry = impl_->database ? impl_->database->Find(impl_->noteId) : nullptr;
    return entry ? entry->Unid() : LNString();
}

LNNOTECLASS LNNote::GetNoteClass() const {
    if (!impl_) return 0;
    if (impl_->note) return impl_->note->noteClass;
    IndexEntryPtr entry = impl_->database ? impl_->database->Find(impl_->noteId) : nullptr;
    return entry ? entry->noteClass : 0;
}

LNDatetime LNNote::GetCreated() const {
    if (!impl_) return {};
    if (impl_->note) return impl_->note->created;
    IndexEntryPtr entry = impl_->database ? impl_->database->Find(impl_->noteId) : nullptr;
    return entry ? entry->created : LNDatetime();
}

LNDatetime LNNote::GetLastModified() const {
    if (!impl_) return {};
    if (impl_->note) return impl_->note->modified;
    IndexEntryPtr entry = impl_->database ? impl_->database->Find(impl_->noteId) : nullptr;
    return entry ? entry->modified : LNDatetime();
}

NOTEHANDLE LNNote::GetNoteHandle() const { return impl_ ? impl_->note.get() : nullptr; }

bool LNNote::HasItem(const LNString& name) const { return impl_ && impl_->note && impl_->note->FindItem(name); }

LNSTATUS LNNote::GetItemType(const LNString& name, LNITEMTYPE* type) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    const ItemData* item = impl_->note->FindItem(name);
    if (!item) return Fail(LNERR_ITEM_NOT_FOUND, name);
    *type = item->type;
    return LNNOERROR;
}

LNSTATUS LNNote::GetItem(const LNString& name, LNItem* item) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    const ItemData* found = impl_->note->FindItem(name);
    if (!found) return Fail(LNERR_ITEM_NOT_FOUND, name);
    *item = LNItem(Share(*found));
    return LNNOERROR;
}

namespace {

template <typename Typed>
LNSTATUS GetTyped(const LNNote& note, const LNString& name, Typed* result) {
    LNItem item;
    if (LNSTATUS status = note.GetItem(name, &item)) return status;
    Typed typed(item);
    if (typed.IsNull()) return Fail(LNERR_WRONG_ITEM_TYPE, name);
    *result = std::move(typed);
    return LNNOERROR;
}

}  // namespace

LNSTATUS LNNote::GetItem(const LNString& name, LNText* item) const { return GetTyped(*this, name, item); }
LNSTATUS LNNote::GetItem(const LNString& name, LNNumbers* item) const { return GetTyped(*this, name, item); }
LNSTATUS LNNote::GetItem(const LNString& name, LNDatetimes* item) const { return GetTyped(*this, name, item); }

LNSTATUS LNNote::GetItem(const LNString& name, LNRichText* item) const {
    std::vector<LNItem> items;
    if (LNSTATUS status = GetItems(name, &items)) return status;
    if (items.empty()) return Fail(LNERR_ITEM_NOT_FOUND, name);
    LNRichText text = LNRichText::FromItems(items);
    if (text.IsNull()) return Fail(LNERR_WRONG_ITEM_TYPE, name);
    if (const ItemData* links = impl_->note->FindItem("$Links"))
        text.links_ = std::make_shared<const std::string>(links->value);
    // The font table item: "$Fonts", in some documentation "$FONT".
    const ItemData* fonts = impl_->note->FindItem("$Fonts");
    if (!fonts) fonts = impl_->note->FindItem("$FONT");
    if (fonts) text.fonts_ = std::make_shared<const std::string>(fonts->value);
    text.preparedRtf_ = impl_->note->preparedRtf;
    *item = std::move(text);
    return LNNOERROR;
}

LNSTATUS LNNote::GetItems(std::vector<LNItem>* items) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    items->clear();
    for (const ItemData& item : impl_->note->items) items->emplace_back(Share(item));
    return LNNOERROR;
}

LNSTATUS LNNote::GetItems(const LNString& name, std::vector<LNItem>* items) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    items->clear();
    for (const ItemData& item : impl_->note->items)
        if (NameEquals(item.name, name)) items->emplace_back(Share(item));
    return LNNOERROR;
}

bool LNNote::IsEncrypted() const {
    if (!impl_ || !impl_->note) return false;
    for (const ItemData& item : impl_->note->items)
        if ((item.flags & LNITEMFLAGS_SEAL) || NameEquals(item.name, "$Seal") || NameEquals(item.name, "$SealData"))
            return true;
    return false;
}

LNSTATUS LNNote::Decrypt() {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    if (impl_->note->FindItem("$Seal") || impl_->note->FindItem("$SealData")) return Fail(LNERR_CANNOT_DECRYPT);
    return LNNOERROR;
}

LNSTATUS LNNote::GetAttachments(LNAttachmentArray* attachments) const {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    attachments->Clear();
    for (const ItemData& item : impl_->note->items)
        if (item.type == TYPE_OBJECT && item.file) attachments->Append(LNAttachment(item.file, item.name));
    return LNNOERROR;
}

bool LNNote::HasOLEObjects() const {
    if (!impl_ || !impl_->note) return false;
    const NoteData& note = *impl_->note;
    if (note.FindItem("$OLEOBJINFO") || note.FindItem("$OLEOBJRICHTEXTFIELD")) return true;
    for (const ItemData& item : note.items)
        if (item.type == TYPE_COMPOSITE && RichTextHasOleObject(item.value)) return true;
    return false;
}

LNSTATUS LNNote::SetItem(const LNItem& item) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    if (item.IsNull()) return Fail(LNERR_INVALID_PARAMETER, "null item");
    auto& items = impl_->note->items;
    std::erase_if(items, [&](const ItemData& existing) { return NameEquals(existing.name, item.GetName()); });
    items.push_back(*item.Data());
    return LNNOERROR;
}

LNSTATUS LNNote::AppendItem(const LNItem& item) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    if (item.IsNull()) return Fail(LNERR_INVALID_PARAMETER, "null item");
    impl_->note->items.push_back(*item.Data());
    return LNNOERROR;
}

LNSTATUS LNNote::DeleteItem(const LNString& name) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    std::size_t removed =
        std::erase_if(impl_->note->items, [&](const ItemData& existing) { return NameEquals(existing.name, name); });
    return removed ? LNNOERROR : Fail(LNERR_ITEM_NOT_FOUND, name);
}

LNSTATUS LNNote::CreateNoteBody(const LNString& name, LNRichText* body) {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    LNRichText empty = LNRichText::Empty(name);
    impl_->note->items.push_back(*empty.Data());
    *body = empty;
    return LNNOERROR;
}

LNSTATUS LNNote::Save() {
    if (LNSTATUS status = RequireOpen(impl_)) return status;
    if (!impl_->database || !impl_->database->open) return Fail(LNERR_DATABASE_NOT_OPEN);
    std::string detail;
    LNSTATUS status = impl_->database->SaveNote(*impl_->note, &detail);
    if (status != LNNOERROR) return Fail(status, detail);
    impl_->noteId = impl_->note->noteId;
    impl_->isNew = false;
    return LNNOERROR;
}

LNDatabase LNNote::GetDatabase() const { return LNDatabase(impl_ ? impl_->database : nullptr); }

LNString LNDocument::GetForm() const {
    LNText form;
    if (!IsOpen()) return {};
    const ItemData* item = impl_->note->FindItem("Form");
    if (!item) return {};
    return LNText(LNItem(Share(*item)))[0];
}

bool LNDocument::IsResponse() const { return HasItem("$REF"); }

LNDocument LNNoteArray::operator[](LNINT index) const {
    auto impl = std::make_shared<DocumentImpl>();
    impl->database = database_;
    impl->noteId = ids_.at(static_cast<std::size_t>(index));
    return LNDocument(std::move(impl));
}

void LNNoteArray::Set(std::shared_ptr<DatabaseImpl> database, std::vector<NOTEID> ids) {
    database_ = std::move(database);
    ids_ = std::move(ids);
}

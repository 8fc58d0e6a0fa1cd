#include "outlook/mapi/PstStoreObjects.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "outlook/mapi/MapiError.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/PropertyStream.h"
#include "outlook/mapi/PstPropConvert.h"
#include "outlook/mapi/Streams.h"
#include "outlook/pst/PstTags.h"

namespace qb::mapi {

using pst::Nid;
using StorePtr = std::shared_ptr<PstStoreShared>;

namespace {

constexpr ULONG kRightsAll = 0x000005FB;  // rightsAll: read, create, edit, delete, subfolders, owner, visible
constexpr ULONG kValidStandardFolders = 0x02 | 0x04 | 0x10;  // inbox, outbox, sent mail

bool IsFolderNid(Nid nid) {
    const Nid type = nid & 0x1F;
    return type == pst::kNidTypeNormalFolder || type == pst::kNidTypeSearchFolder;
}
bool IsMessageNid(Nid nid) {
    const Nid type = nid & 0x1F;
    return type == pst::kNidTypeNormalMessage || type == pst::kNidTypeAssocMessage;
}

// Properties the store computes; callers cannot set them.
bool IsComputed(ULONG tag) {
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
        case PROP_ID(PR_PARENT_ENTRYID):
        case PROP_ID(PR_STORE_ENTRYID):
        case PROP_ID(PR_STORE_RECORD_KEY):
        case PROP_ID(PR_STORE_SUPPORT_MASK):
        case PROP_ID(PR_OBJECT_TYPE):
        case PROP_ID(PR_RIGHTS):
        case PROP_ID(PR_INSTANCE_KEY):
        case PROP_ID(PR_RECORD_KEY):
            return true;
        default: return false;
    }
}

void SetEntryId(PropertyBag& bag, ULONG tag, const std::vector<BYTE>& id) {
    bag.SetBinary(tag, id.data(), static_cast<ULONG>(id.size()));
}

// Runs an engine operation; an engine failure becomes a MAPI failure whose
// text GetLastError gives.
HRESULT Guarded(LastError& lastError, const std::function<HRESULT()>& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return lastError.Fail(MAPI_E_NOT_ENOUGH_MEMORY, "Not enough memory.");
    } catch (const std::exception& e) {
        return lastError.Fail(MAPI_E_CALL_FAILED, std::string("The personal folders file failed: ") + e.what());
    }
}

HRESULT ResolveNames(PstStoreShared& store, ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) {
    if (!out || (count && !names)) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (count == 0) return MAPI_E_NO_SUPPORT;
    auto guard = store.Lock();
    const bool create = (flags & MAPI_CREATE) && store.engine->writable();
    std::vector<ULONG> tags;
    bool missing = false;
    for (ULONG i = 0; i < count; ++i) {
        const MAPINAMEID* n = names[i];
        std::uint16_t id = 0;
        if (n && n->lpguid && (n->ulKind == MNID_ID || (n->ulKind == MNID_STRING && n->Kind.lpwstrName))) {
            pst::NamedProperty name;
            std::memcpy(name.guid.data(), n->lpguid, 16);
            name.isString = n->ulKind == MNID_STRING;
            if (name.isString) name.name = WideToUtf8(n->Kind.lpwstrName);
            else name.lid = static_cast<std::uint32_t>(n->Kind.lID);
            id = store.engine->GetIdFromName(name, create);
        }
        if (!id) missing = true;
        tags.push_back(id ? PROP_TAG(PT_UNSPECIFIED, id) : PROP_TAG(PT_ERROR, PROP_ID_NULL));
    }
    if (create) store.engine->Commit();
    const HRESULT hr = MakeTagArray(tags, out);
    if (FAILED(hr)) return hr;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT OpenObject(const StorePtr& store, ULONG cb, LPENTRYID id, ULONG flags, ULONG* type, LPUNKNOWN* out,
                   LastError& lastError);

// PR_DISPLAY_TO, _CC and _BCC: the names of each recipient class joined by
// "; ", as a store computes them when a message is saved.
void SetRecipientDisplays(PropertyBag& props, const std::vector<PropertyBag>& recipients) {
    const ULONG tags[3] = {PR_DISPLAY_TO, PR_DISPLAY_CC, PR_DISPLAY_BCC};
    for (LONG type = MAPI_TO; type <= static_cast<LONG>(MAPI_BCC); ++type) {
        std::string names;
        for (const PropertyBag& r : recipients) {
            if (r.GetLong(PR_RECIPIENT_TYPE).value_or(MAPI_TO) != type) continue;
            std::string name = r.GetString(PR_DISPLAY_NAME).value_or("");
            if (name.empty()) name = r.GetString(PR_EMAIL_ADDRESS).value_or("");
            names += (names.empty() ? "" : "; ") + name;
        }
        props.SetString(tags[type - 1], names);
    }
}

// ---- messages and attachments -----------------------------------------------

// What one open message holds; its attachments share it. A new message has a
// builder until it is saved; an opened one is read from the file.
struct MessageState {
    struct Attachment {
        ULONG number = 0;
        pst::AttachmentBuilder* builder = nullptr;  // owned by the message builder
        PropertyBag props;
        bool saved = false;
    };
    StorePtr store;
    Nid folder = 0;
    Nid nid = 0;
    std::unique_ptr<pst::MessageBuilder> builder;
    PropertyBag props;
    std::vector<PropertyBag> recipients;
    std::vector<Attachment> attachments;
    ULONG nextAttach = 0;
    bool changed = false;

    bool Writable() const { return builder != nullptr; }
    // The attachment builder still belongs to the message being built.
    bool Building(const pst::AttachmentBuilder* attachment) const {
        if (!builder || !attachment) return false;
        for (const auto& a : attachments)
            if (a.builder == attachment) return true;
        return false;
    }
    Attachment* Find(ULONG number) {
        for (auto& a : attachments)
            if (a.number == number) return &a;
        return nullptr;
    }
};
using MessagePtr = std::shared_ptr<MessageState>;

class PstAttach;

// PR_ATTACH_DATA_BIN of a new attachment: written in order straight into the
// file's blocks, so that a large attachment never sits in memory whole.
class AttachDataStream final : public ComObject<IStream> {
public:
    AttachDataStream(IUnknown* owner, MessagePtr message, pst::AttachmentBuilder* builder)
        : owner_(MapiPtr<IUnknown>::Retain(owner)), message_(std::move(message)), builder_(builder) {}
    HRESULT Read(void*, ULONG, ULONG* read) override {
        if (read) *read = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT Write(const void* pv, ULONG cb, ULONG* written) override {
        if (written) *written = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        auto guard = message_->store->Lock();
        if (!Live()) return STG_E_ACCESSDENIED;
        try {
            builder_->Write(static_cast<const std::uint8_t*>(pv), cb);
        } catch (const std::exception&) {
            return STG_E_MEDIUMFULL;
        }
        if (written) *written = cb;
        return S_OK;
    }
    // Only the position at the end can be reached: the data is appended.
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        auto guard = message_->store->Lock();
        if (!Live()) return STG_E_ACCESSDENIED;
        const std::uint64_t size = builder_->dataSize();
        const bool atEnd = move.QuadPart == 0 && (origin == STREAM_SEEK_CUR || origin == STREAM_SEEK_END);
        const bool toEnd = origin == STREAM_SEEK_SET && static_cast<std::uint64_t>(move.QuadPart) == size;
        if (!atEnd && !toEnd) return STG_E_INVALIDFUNCTION;
        if (position) position->QuadPart = size;
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER size) override {
        auto guard = message_->store->Lock();
        if (!Live()) return STG_E_ACCESSDENIED;
        return size.QuadPart >= builder_->dataSize() ? S_OK : STG_E_INVALIDFUNCTION;
    }
    HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return STG_E_ACCESSDENIED; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        auto guard = message_->store->Lock();
        if (!Live()) return STG_E_ACCESSDENIED;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = builder_->dataSize();
        return S_OK;
    }

private:
    bool Live() const { return message_->Building(builder_); }
    MapiPtr<IUnknown> owner_;
    MessagePtr message_;
    pst::AttachmentBuilder* builder_;
};

class PstAttach final : public ComObject<IAttach> {
public:
    PstAttach(MessagePtr message, ULONG number, PropertyBag props, pst::AttachmentBuilder* builder)
        : message_(std::move(message)), number_(number), props_(std::move(props)), builder_(builder) {}
    ~PstAttach() override {
        // An attachment released unsaved is no part of its message.
        auto guard = message_->store->Lock();
        MessageState::Attachment* entry = message_->Find(number_);
        if (!builder_ || !message_->builder || !entry || entry->saved) return;
        try {
            message_->builder->RemoveAttachment(*builder_);
        } catch (const std::exception&) {
            // The store is failing; nothing of the attachment gets committed.
        }
        std::erase_if(message_->attachments, [this](const auto& a) { return a.number == number_; });
    }

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Attachment", out); }
    HRESULT SaveChanges(ULONG) override {
        auto guard = message_->store->Lock();
        MessageState::Attachment* entry = message_->Find(number_);
        if (!builder_ || !message_->builder || !entry)
            return lastError_.Fail(MAPI_E_NO_ACCESS, "The attachment belongs to a saved message and cannot be changed.");
        return Guarded(lastError_, [&] {
            // Readers and the mail client show the long file name; a writer
            // that gives only PR_ATTACH_FILENAME gets it there too.
            if (const auto name = props_.GetString(PR_ATTACH_FILENAME)) {
                if (!props_.Find(PR_ATTACH_LONG_FILENAME)) props_.SetString(PR_ATTACH_LONG_FILENAME, *name);
                if (!props_.Find(PR_DISPLAY_NAME)) props_.SetString(PR_DISPLAY_NAME, *name);
            }
            for (const auto& [id, value] : ToEngineProperties(props_)) builder_->SetProperty(pst::MakeTag(id, value.type), value);
            entry->props = props_;
            entry->saved = true;
            message_->changed = true;
            return S_OK;
        });
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        auto guard = message_->store->Lock();
        PropertyBag view = props_;
        view.SetLong(PR_ATTACH_NUM, static_cast<LONG>(number_));
        view.SetLong(PR_OBJECT_TYPE, MAPI_ATTACH);
        if (message_->Building(builder_) && !view.Find(PR_ATTACH_SIZE))
            view.SetLong(PR_ATTACH_SIZE, static_cast<LONG>(builder_->dataSize()));
        return view.GetProps(tags, count, values);
    }
    HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        auto guard = message_->store->Lock();
        if (builder_ && !message_->Building(builder_))
            return lastError_.Fail(MAPI_E_NO_ACCESS, "The attachment's message is saved or released.");
        if (builder_ && PROP_ID(tag) == PROP_ID(PR_ATTACH_DATA_BIN)) {
            if (!iid || !(*iid == IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
            if (!(flags & MAPI_MODIFY)) return lastError_.Fail(MAPI_E_NO_ACCESS, "New attachment data can only be written.");
            if (builder_->dataSize() > 0)
                return lastError_.Fail(MAPI_E_NO_SUPPORT, "The attachment data is written once, from its start.");
            *out = new AttachDataStream(this, message_, builder_);
            return S_OK;
        }
        return OpenPropertyStream(this, props_, tag, iid, flags, builder_ != nullptr, out);
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override {
        if (!builder_) return lastError_.Fail(MAPI_E_NO_ACCESS, "The attachment is read-only.");
        return props_.SetProps(n, v, p);
    }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return Guarded(lastError_, [&] { return ResolveNames(*message_->store, n, names, flags, out); });
    }

private:
    MessagePtr message_;
    ULONG number_;
    PropertyBag props_;
    pst::AttachmentBuilder* builder_;
    LastError lastError_;
};

class PstMessage final : public ComObject<IMessage> {
public:
    explicit PstMessage(MessagePtr state) : state_(std::move(state)) {}
    ~PstMessage() override {
        // Unsaved, the builder's destructor releases what the message wrote.
        auto guard = state_->store->Lock();
        state_->builder.reset();
    }

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Message", out); }

    HRESULT SaveChanges(ULONG) override {
        auto guard = state_->store->Lock();
        if (!state_->builder) {
            if (!state_->changed) return S_OK;
            return lastError_.Fail(MAPI_E_NO_SUPPORT, "A saved message in a personal folders file cannot be changed.");
        }
        return Guarded(lastError_, [&] {
            pst::MessageBuilder& builder = *state_->builder;
            for (auto& a : state_->attachments)
                if (!a.saved && a.builder) builder.RemoveAttachment(*a.builder);
            std::erase_if(state_->attachments, [](const auto& a) { return !a.saved; });
            PropertyBag props = state_->props;
            props.SetBool(PR_HASATTACH, !state_->attachments.empty());
            SetRecipientDisplays(props, state_->recipients);
            for (const auto& [id, value] : ToEngineProperties(props)) builder.SetProperty(pst::MakeTag(id, value.type), value);
            for (std::size_t i = 0; i < state_->recipients.size(); ++i) {
                PropertyBag recipient = state_->recipients[i];
                if (!recipient.Find(PR_OBJECT_TYPE)) recipient.SetLong(PR_OBJECT_TYPE, MAPI_MAILUSER);
                if (!recipient.Find(PR_DISPLAY_TYPE)) recipient.SetLong(PR_DISPLAY_TYPE, 0);  // DT_MAILUSER
                pst::Properties row = ToEngineProperties(recipient);
                row[pst::TagId(pst::tags::kRowId)] = pst::PropValue::Long(static_cast<std::int32_t>(i));
                builder.AddRecipient(row);
            }
            // The store's commit policy commits every saved message.
            state_->nid = builder.Save();
            state_->props = std::move(props);  // what the store computed stays visible
            for (auto& a : state_->attachments) a.builder = nullptr;
            state_->builder.reset();
            state_->changed = false;
            return S_OK;
        });
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        auto guard = state_->store->Lock();
        PropertyBag view = state_->props;
        view.SetLong(PR_OBJECT_TYPE, MAPI_MESSAGE);
        view.SetLong(PR_STORE_SUPPORT_MASK, static_cast<LONG>(state_->store->SupportMask()));
        SetEntryId(view, PR_PARENT_ENTRYID, state_->store->EntryId(state_->folder));
        SetEntryId(view, PR_STORE_ENTRYID, state_->store->location.entryId);
        view.SetBinary(PR_STORE_RECORD_KEY, state_->store->recordKey.data(), 16);
        if (state_->nid) SetEntryId(view, PR_ENTRYID, state_->store->EntryId(state_->nid));
        return view.GetProps(tags, count, values);
    }
    HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* out) override {
        auto guard = state_->store->Lock();
        if (flags & (MAPI_CREATE | MAPI_MODIFY)) state_->changed = true;
        return OpenPropertyStream(this, state_->props, tag, iid, flags, state_->Writable(), out);
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override {
        auto guard = state_->store->Lock();
        if (!state_->Writable()) return lastError_.Fail(MAPI_E_NO_ACCESS, "The message is saved and read-only.");
        for (ULONG i = 0; v && i < n; ++i)
            if (IsComputed(v[i].ulPropTag)) return lastError_.Fail(MAPI_E_COMPUTED, "The property is computed by the store.");
        state_->changed = true;
        return state_->props.SetProps(n, v, p);
    }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return Guarded(lastError_, [&] { return ResolveNames(*state_->store, n, names, flags, out); });
    }
    HRESULT GetAttachmentTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        auto guard = state_->store->Lock();
        std::vector<PropertyBag> rows;
        for (const auto& a : state_->attachments) {
            if (!a.saved) continue;
            PropertyBag row = a.props;
            row.Remove(PR_ATTACH_DATA_BIN);
            row.SetLong(PR_ATTACH_NUM, static_cast<LONG>(a.number));
            rows.push_back(std::move(row));
        }
        *table = MemoryTable::Create(std::move(rows), {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_FILENAME, PR_ATTACH_SIZE})
                     .Detach();
        return S_OK;
    }
    HRESULT OpenAttach(ULONG number, LPCIID, ULONG, LPATTACH* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        auto guard = state_->store->Lock();
        const MessageState::Attachment* a = state_->Find(number);
        if (!a || !a->saved) return lastError_.Fail(MAPI_E_NOT_FOUND, "The message has no such attachment.");
        *out = new PstAttach(state_, number, a->props, nullptr);
        return S_OK;
    }
    HRESULT CreateAttach(LPCIID, ULONG, ULONG* number, LPATTACH* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        auto guard = state_->store->Lock();
        if (!state_->Writable()) return lastError_.Fail(MAPI_E_NO_ACCESS, "The message is saved and read-only.");
        return Guarded(lastError_, [&] {
            pst::AttachmentBuilder& builder = state_->builder->AddAttachment();
            const ULONG n = state_->nextAttach++;
            state_->attachments.push_back({n, &builder, PropertyBag(), false});
            if (number) *number = n;
            *out = new PstAttach(state_, n, PropertyBag(), &builder);
            return S_OK;
        });
    }
    HRESULT GetRecipientTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        auto guard = state_->store->Lock();
        *table = MemoryTable::Create(state_->recipients, {PR_ROWID, PR_DISPLAY_NAME, PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS,
                                                          PR_ADDRTYPE, PR_ENTRYID})
                     .Detach();
        return S_OK;
    }
    HRESULT ModifyRecipients(ULONG flags, LPADRLIST list) override {
        if (!list) return MAPI_E_INVALID_PARAMETER;
        if (!(flags & MODRECIP_ADD)) return lastError_.Fail(MAPI_E_NO_SUPPORT, "Recipients can only be added.");
        auto guard = state_->store->Lock();
        if (!state_->Writable()) return lastError_.Fail(MAPI_E_NO_ACCESS, "The message is saved and read-only.");
        for (ULONG i = 0; i < list->cEntries; ++i) {
            PropertyBag row;
            const HRESULT hr = row.SetProps(list->aEntries[i].cValues, list->aEntries[i].rgPropVals, nullptr);
            if (FAILED(hr)) return hr;
            row.SetLong(PR_ROWID, static_cast<LONG>(state_->recipients.size()));
            state_->recipients.push_back(std::move(row));
        }
        state_->changed = true;
        return S_OK;
    }
    HRESULT SetReadFlag(ULONG flags) override {
        auto guard = state_->store->Lock();
        if (!state_->Writable()) return lastError_.Fail(MAPI_E_NO_ACCESS, "The message is saved and read-only.");
        const LONG current = state_->props.GetLong(PR_MESSAGE_FLAGS).value_or(0);
        const LONG next = (flags & CLEAR_READ_FLAG) ? (current & ~static_cast<LONG>(MSGFLAG_READ))
                                                    : (current | static_cast<LONG>(MSGFLAG_READ));
        state_->changed = true;
        return state_->props.SetLong(PR_MESSAGE_FLAGS, next);
    }

private:
    MessagePtr state_;
    LastError lastError_;
};

// ---- folders ------------------------------------------------------------------

PropertyBag FolderView(PstStoreShared& store, Nid nid) {
    pst::PstStore& engine = *store.engine;
    const pst::FolderInfo info = engine.Folder(nid);
    PropertyBag view = ToPropertyBag(engine.FolderProperties(nid));
    SetEntryId(view, PR_ENTRYID, store.EntryId(nid));
    if (info.parent && info.parent != nid) SetEntryId(view, PR_PARENT_ENTRYID, store.EntryId(info.parent));
    view.SetLong(PR_OBJECT_TYPE, MAPI_FOLDER);
    view.SetLong(PR_FOLDER_TYPE, nid == engine.RootFolder() ? FOLDER_ROOT : FOLDER_GENERIC);
    view.SetLong(PR_CONTENT_COUNT, static_cast<LONG>(info.contentCount));
    view.SetLong(PR_CONTENT_UNREAD, static_cast<LONG>(info.unreadCount));
    view.SetBool(PR_SUBFOLDERS, info.hasSubfolders);
    view.SetLong(PR_RIGHTS, static_cast<LONG>(kRightsAll));
    view.SetBinary(PR_STORE_RECORD_KEY, store.recordKey.data(), 16);
    SetEntryId(view, PR_STORE_ENTRYID, store.location.entryId);
    return view;
}

class PstFolder final : public ComObject<IMAPIFolder> {
public:
    PstFolder(StorePtr store, Nid nid) : store_(std::move(store)), nid_(nid) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Folder", out); }
    HRESULT SaveChanges(ULONG) override {
        auto guard = store_->Lock();
        if (!store_->engine->writable()) return S_OK;
        return Guarded(lastError_, [&] {
            store_->engine->Commit();
            return S_OK;
        });
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] { return FolderView(*store_, nid_).GetProps(tags, count, values); });
    }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* problems) override {
        if (problems) *problems = nullptr;
        if (n && !v) return MAPI_E_INVALID_PARAMETER;
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] {
            for (ULONG i = 0; i < n; ++i) {
                if (IsComputed(v[i].ulPropTag)) return lastError_.Fail(MAPI_E_COMPUTED, "The property is computed by the store.");
                if (auto value = ToEngineValue(v[i])) store_->engine->SetFolderProperty(nid_, value->first, value->second);
            }
            return S_OK;
        });
    }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return Guarded(lastError_, [&] { return ResolveNames(*store_, n, names, flags, out); });
    }
    HRESULT GetContentsTable(ULONG flags, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        *table = nullptr;
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] {
            const bool associated = (flags & MAPI_ASSOCIATED) != 0;
            const pst::TableData data =
                associated ? store_->engine->AssociatedContentsTable(nid_) : store_->engine->ContentsTable(nid_);
            std::vector<PropertyBag> rows;
            for (const pst::TableRow& row : data.rows) {
                PropertyBag bag = ToPropertyBag(row.values);
                SetEntryId(bag, PR_ENTRYID, store_->EntryId(row.rowId));
                bag.SetLong(PR_OBJECT_TYPE, MAPI_MESSAGE);
                rows.push_back(std::move(bag));
            }
            *table = MemoryTable::Create(std::move(rows), {PR_ENTRYID, PR_SUBJECT, PR_MESSAGE_CLASS}).Detach();
            return S_OK;
        });
    }
    HRESULT GetHierarchyTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        *table = nullptr;
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] {
            std::vector<PropertyBag> rows;
            for (Nid child : store_->engine->Subfolders(nid_)) rows.push_back(FolderView(*store_, child));
            *table = MemoryTable::Create(std::move(rows), {PR_ENTRYID, PR_DISPLAY_NAME, PR_CONTENT_COUNT, PR_SUBFOLDERS})
                         .Detach();
            return S_OK;
        });
    }
    HRESULT OpenEntry(ULONG cb, LPENTRYID id, LPCIID, ULONG flags, ULONG* type, LPUNKNOWN* out) override {
        if (!id) {
            std::vector<BYTE> self = store_->EntryId(nid_);
            return OpenObject(store_, static_cast<ULONG>(self.size()), reinterpret_cast<LPENTRYID>(self.data()), flags,
                              type, out, lastError_);
        }
        return OpenObject(store_, cb, id, flags, type, out, lastError_);
    }
    HRESULT CreateMessage(LPCIID, ULONG flags, LPMESSAGE* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        auto guard = store_->Lock();
        if (!store_->engine->writable()) return lastError_.Fail(MAPI_E_NO_ACCESS, "The store is open for reading only.");
        return Guarded(lastError_, [&] {
            auto state = std::make_shared<MessageState>();
            state->store = store_;
            state->folder = nid_;
            state->builder = store_->engine->CreateMessage(nid_, (flags & MAPI_ASSOCIATED) != 0);
            *out = new PstMessage(std::move(state));
            return S_OK;
        });
    }
    HRESULT CreateFolder(ULONG, LPTSTR name, LPTSTR comment, LPCIID, ULONG flags, LPMAPIFOLDER* out) override {
        if (!out || !name) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        const bool wide = (flags & MAPI_UNICODE) != 0;
        const std::string text = wide ? WideToUtf8(reinterpret_cast<const wchar_t*>(name)) : std::string(name);
        if (text.empty()) return lastError_.Fail(MAPI_E_INVALID_PARAMETER, "A folder needs a name.");
        auto guard = store_->Lock();
        if (!store_->engine->writable()) return lastError_.Fail(MAPI_E_NO_ACCESS, "The store is open for reading only.");
        return Guarded(lastError_, [&] {
            pst::PstStore& engine = *store_->engine;
            for (Nid child : engine.Subfolders(nid_)) {
                if (!EqualsNoCase(engine.Folder(child).name, text)) continue;
                if (!(flags & OPEN_IF_EXISTS))
                    return lastError_.Fail(MAPI_E_COLLISION, "A folder named '" + text + "' exists already.");
                *out = new PstFolder(store_, child);
                return S_OK;
            }
            const Nid nid = engine.CreateFolder(nid_, text, "");
            if (comment) {
                const std::string note = wide ? WideToUtf8(reinterpret_cast<const wchar_t*>(comment)) : std::string(comment);
                engine.SetFolderProperty(nid, pst::MakeTag(PROP_ID(PR_COMMENT), pst::kPtUnicode), pst::PropValue::Unicode(note));
            }
            engine.Commit();
            *out = new PstFolder(store_, nid);
            return S_OK;
        });
    }

private:
    StorePtr store_;
    Nid nid_;
    LastError lastError_;
};

// ---- the store ------------------------------------------------------------------

class PstMsgStore final : public ComObject<IMsgStore> {
public:
    explicit PstMsgStore(StorePtr store) : store_(std::move(store)) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Store", out); }
    HRESULT SaveChanges(ULONG) override {
        auto guard = store_->Lock();
        if (!store_->engine->writable()) return S_OK;
        return Guarded(lastError_, [&] {
            store_->engine->Commit();
            return S_OK;
        });
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] {
            PropertyBag view = ToPropertyBag(store_->engine->StoreProperties());
            view.Remove(pst::tags::kPstPassword);
            view.SetString(PR_DISPLAY_NAME, store_->location.displayName);
            SetEntryId(view, PR_ENTRYID, store_->location.entryId);
            SetEntryId(view, PR_STORE_ENTRYID, store_->location.entryId);
            view.SetBinary(PR_STORE_RECORD_KEY, store_->recordKey.data(), 16);
            view.SetBinary(PR_RECORD_KEY, store_->recordKey.data(), 16);
            view.SetLong(PR_STORE_SUPPORT_MASK, static_cast<LONG>(store_->SupportMask()));
            view.SetLong(PR_OBJECT_TYPE, MAPI_STORE);
            return view.GetProps(tags, count, values);
        });
    }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* problems) override {
        if (problems) *problems = nullptr;
        if (n && !v) return MAPI_E_INVALID_PARAMETER;
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] {
            for (ULONG i = 0; i < n; ++i) {
                if (IsComputed(v[i].ulPropTag)) return lastError_.Fail(MAPI_E_COMPUTED, "The property is computed by the store.");
                if (auto value = ToEngineValue(v[i])) store_->engine->SetStoreProperty(value->first, value->second);
            }
            return S_OK;
        });
    }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return Guarded(lastError_, [&] { return ResolveNames(*store_, n, names, flags, out); });
    }
    HRESULT OpenEntry(ULONG cb, LPENTRYID id, LPCIID, ULONG flags, ULONG* type, LPUNKNOWN* out) override {
        if (!id) {
            std::vector<BYTE> root = store_->EntryId(store_->engine->RootFolder());
            return OpenObject(store_, static_cast<ULONG>(root.size()), reinterpret_cast<LPENTRYID>(root.data()), flags,
                              type, out, lastError_);
        }
        return OpenObject(store_, cb, id, flags, type, out, lastError_);
    }
    HRESULT GetReceiveFolder(LPTSTR messageClass, ULONG, ULONG* cb, LPENTRYID* id, LPTSTR* explicitClass) override {
        if (!cb || !id) return MAPI_E_INVALID_PARAMETER;
        *cb = 0;
        *id = nullptr;
        if (explicitClass) *explicitClass = nullptr;
        auto guard = store_->Lock();
        if (!store_->inbox) return lastError_.Fail(MAPI_E_NOT_FOUND, "The store has no Inbox.");
        const std::vector<BYTE> inbox = store_->EntryId(store_->inbox);
        MapiBuffer<ENTRYID> block;
        SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(inbox.size()), block.PutVoid());
        if (FAILED(sc)) return sc;
        std::memcpy(block.get(), inbox.data(), inbox.size());
        if (explicitClass) {
            const std::string matched = messageClass && std::strncmp(messageClass, "IPM", 3) == 0 ? "IPM" : "";
            LPVOID text = nullptr;
            sc = MAPIAllocateBuffer(static_cast<ULONG>(matched.size() + 1), &text);
            if (FAILED(sc)) return sc;
            std::memcpy(text, matched.c_str(), matched.size() + 1);
            *explicitClass = static_cast<LPTSTR>(text);
        }
        *cb = static_cast<ULONG>(inbox.size());
        *id = block.Detach();
        return S_OK;
    }

private:
    StorePtr store_;
    LastError lastError_;
};

HRESULT OpenObject(const StorePtr& store, ULONG cb, LPENTRYID id, ULONG, ULONG* type, LPUNKNOWN* out,
                   LastError& lastError) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (type) *type = 0;
    const auto nid = store->NidOf(id, cb);
    if (!nid) return lastError.Fail(MAPI_E_INVALID_ENTRYID, "The entry identifier is not one of this store.");
    auto guard = store->Lock();
    if (IsFolderNid(*nid)) {
        try {
            store->engine->Folder(*nid);
        } catch (const std::exception&) {
            return lastError.Fail(MAPI_E_NOT_FOUND, "The folder does not exist.");
        }
        if (type) *type = MAPI_FOLDER;
        *out = new PstFolder(store, *nid);
        return S_OK;
    }
    if (!IsMessageNid(*nid)) return lastError.Fail(MAPI_E_NOT_FOUND, "The entry identifier names no folder or message.");
    pst::MessageData data;
    try {
        data = store->engine->ReadMessage(*nid);
    } catch (const std::exception&) {
        return lastError.Fail(MAPI_E_NOT_FOUND, "The message does not exist.");
    }
    auto state = std::make_shared<MessageState>();
    state->store = store;
    state->folder = data.parent;
    state->nid = *nid;
    state->props = ToPropertyBag(data.props);
    for (std::size_t i = 0; i < data.recipients.size(); ++i) {
        PropertyBag row = ToPropertyBag(data.recipients[i]);
        if (!row.Find(PR_ROWID)) row.SetLong(PR_ROWID, static_cast<LONG>(i));
        state->recipients.push_back(std::move(row));
    }
    for (const pst::AttachmentData& a : data.attachments) {
        MessageState::Attachment entry;
        entry.number = state->nextAttach++;
        entry.props = ToPropertyBag(a.props);
        entry.saved = true;
        state->attachments.push_back(std::move(entry));
    }
    if (type) *type = MAPI_MESSAGE;
    *out = new PstMessage(std::move(state));
    return S_OK;
}

}  // namespace

std::vector<BYTE> PstStoreShared::EntryId(Nid nid) const {
    const pst::Bytes id = engine->EntryIdOf(nid);
    return std::vector<BYTE>(id.begin(), id.end());
}

std::optional<Nid> PstStoreShared::NidOf(const void* entryId, ULONG size) const {
    const BYTE* bytes = static_cast<const BYTE*>(entryId);
    if (!bytes || size != 24 || recordKey.size() != 16 || std::memcmp(bytes + 4, recordKey.data(), 16) != 0)
        return std::nullopt;
    return static_cast<Nid>(bytes[20] | (bytes[21] << 8) | (bytes[22] << 16) | (static_cast<ULONG>(bytes[23]) << 24));
}

ULONG PstStoreShared::SupportMask() const {
    ULONG mask = STORE_ENTRYID_UNIQUE | STORE_ATTACH_OK | STORE_MV_PROPS_OK | STORE_RTF_OK | STORE_RESTRICTION_OK;
    if (engine->writable()) mask |= STORE_MODIFY_OK | STORE_CREATE_OK;
    if (engine->format() == pst::PstFormat::Unicode) mask |= STORE_UNICODE_OK;
    return mask;
}

Nid FindInbox(const pst::PstStore& engine) {
    const Nid top = engine.IpmSubtree();
    return top ? engine.FindSubfolder(top, "Inbox") : 0;
}

bool EnsureStandardFolders(pst::PstStore& engine) {
    const Nid top = engine.IpmSubtree();
    if (!top) return false;
    bool added = false;
    auto ensure = [&](const char* name, std::optional<ULONG> entryIdTag) {
        if (entryIdTag && engine.StoreFolder(*entryIdTag)) return;
        Nid nid = engine.FindSubfolder(top, name);
        if (!nid) nid = engine.CreateFolder(top, name, "IPF.Note");
        if (entryIdTag) engine.SetStoreProperty(*entryIdTag, pst::PropValue::Binary(engine.EntryIdOf(nid)));
        added = true;
    };
    if (!FindInbox(engine)) ensure("Inbox", std::nullopt);
    ensure("Outbox", PR_IPM_OUTBOX_ENTRYID);
    ensure("Sent Items", PR_IPM_SENTMAIL_ENTRYID);
    if (added) {
        const pst::Properties props = engine.StoreProperties();
        const pst::PropValue* mask = pst::FindProp(props, pst::tags::kValidFolderMask);
        const std::int32_t current = mask ? static_cast<std::int32_t>(mask->AsInt()) : 0;
        engine.SetStoreProperty(pst::tags::kValidFolderMask,
                                pst::PropValue::Long(current | static_cast<std::int32_t>(kValidStandardFolders)));
        engine.Commit();
    }
    return added;
}

bool EnsureNameMap(pst::PstStore& engine) {
    if (engine.GetNameFromId(0x8000)) return false;
    // Names the mail client gives every store: the categories of items and
    // the version stamp of the client that wrote them.
    pst::NamedProperty keywords;
    keywords.guid = pst::kPsPublicStrings;
    keywords.isString = true;
    keywords.name = "Keywords";
    engine.GetIdFromName(keywords, true);
    const pst::Guid common = pst::ParseGuid("{00062008-0000-0000-C000-000000000046}");
    for (std::uint32_t lid : {0x8552u, 0x8554u}) {
        pst::NamedProperty name;
        name.guid = common;
        name.lid = lid;
        engine.GetIdFromName(name, true);
    }
    engine.Commit();
    return true;
}

HRESULT CreatePstMsgStore(std::shared_ptr<PstStoreShared> store, IMsgStore** out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = new PstMsgStore(std::move(store));
    return S_OK;
}

}  // namespace qb::mapi

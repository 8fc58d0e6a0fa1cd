#include "outlook/mapi/memory/MemoryStore.h"

#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include "outlook/mapi/MapiError.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/ProfileFile.h"
#include "outlook/mapi/PropertyStream.h"
#include "outlook/mapi/Streams.h"

namespace qb::mapi {
namespace {

constexpr ULONG kRootNid = 1;
constexpr ULONG kSubtreeNid = 2;
constexpr ULONG kSupportMask = STORE_ENTRYID_UNIQUE | STORE_MODIFY_OK | STORE_CREATE_OK | STORE_ATTACH_OK |
                               STORE_MV_PROPS_OK | STORE_RTF_OK | STORE_RESTRICTION_OK | STORE_UNICODE_OK;

struct FolderData {
    ULONG parent = 0;
    PropertyBag props;
    std::vector<ULONG> children;
    std::vector<ULONG> messages;
};

struct AttachData {
    ULONG number = 0;
    PropertyBag props;
};

struct MessageData {
    ULONG folder = 0;
    PropertyBag props;
    std::vector<PropertyBag> recipients;
    std::vector<AttachData> attachments;
    ULONG nextAttach = 0;
};

struct NamedProperty {
    GUID guid{};
    ULONG kind = MNID_ID;
    LONG id = 0;
    std::wstring name;
    ULONG propId = 0;
};

}  // namespace

struct MemoryStoreData {
    StoreLocation location;
    MAPIUID recordKey{};
    std::map<ULONG, FolderData> folders;
    std::map<ULONG, MessageData> messages;
    std::vector<NamedProperty> names;
    ULONG nextNamedId = MAPI_NAMED_PROP_BASE;
    ULONG nextNid = 0x100;
    ULONG inbox = 0, outbox = 0, deleted = 0, sent = 0;

    std::vector<BYTE> EntryId(ULONG nid) const {
        std::vector<BYTE> id(24, 0);
        std::memcpy(id.data() + 4, recordKey.ab, 16);
        for (int i = 0; i < 4; ++i) id[20 + i] = static_cast<BYTE>(nid >> (8 * i));
        return id;
    }
    std::optional<ULONG> NidOf(const void* data, ULONG size) const {
        const BYTE* bytes = static_cast<const BYTE*>(data);
        if (!bytes || size != 24 || std::memcmp(bytes + 4, recordKey.ab, 16) != 0) return std::nullopt;
        return bytes[20] | (bytes[21] << 8) | (bytes[22] << 16) | (static_cast<ULONG>(bytes[23]) << 24);
    }
    ULONG AddFolder(ULONG parent, const std::string& name, const std::string& containerClass = {}) {
        const ULONG nid = nextNid++;
        FolderData& folder = folders[nid];
        folder.parent = parent;
        folder.props.SetString(PR_DISPLAY_NAME, name);
        if (!containerClass.empty()) folder.props.SetString(PR_CONTAINER_CLASS, containerClass);
        if (parent) folders[parent].children.push_back(nid);
        return nid;
    }
};

namespace {

using StorePtr = std::shared_ptr<MemoryStoreData>;

void SetEntryId(PropertyBag& bag, ULONG tag, const std::vector<BYTE>& id) {
    bag.SetBinary(tag, id.data(), static_cast<ULONG>(id.size()));
}

HRESULT ResolveNames(MemoryStoreData& store, ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) {
    if (!out || (count && !names)) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (count == 0) return MAPI_E_NO_SUPPORT;
    std::vector<ULONG> tags;
    bool missing = false;
    for (ULONG i = 0; i < count; ++i) {
        const MAPINAMEID* n = names[i];
        if (!n || !n->lpguid || (n->ulKind == MNID_STRING && !n->Kind.lpwstrName)) {
            tags.push_back(PROP_TAG(PT_ERROR, PROP_ID_NULL));
            missing = true;
            continue;
        }
        NamedProperty key{*n->lpguid, n->ulKind, n->ulKind == MNID_ID ? n->Kind.lID : 0,
                          n->ulKind == MNID_STRING ? std::wstring(n->Kind.lpwstrName) : std::wstring(), 0};
        ULONG id = 0;
        for (const auto& known : store.names)
            if (known.guid == key.guid && known.kind == key.kind && known.id == key.id && known.name == key.name)
                id = known.propId;
        if (!id && (flags & MAPI_CREATE) && store.nextNamedId < 0xFFFF) {
            key.propId = id = store.nextNamedId++;
            store.names.push_back(key);
        }
        if (!id) missing = true;
        tags.push_back(id ? PROP_TAG(PT_UNSPECIFIED, id) : PROP_TAG(PT_ERROR, PROP_ID_NULL));
    }
    const HRESULT hr = MakeTagArray(tags, out);
    if (FAILED(hr)) return hr;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT OpenObject(const StorePtr& store, ULONG cb, LPENTRYID id, ULONG flags, ULONG* type, LPUNKNOWN* out);

// The state of one message as an open object sees it; saved into the store
// by SaveChanges.
struct MessageState {
    MessageData data;
    ULONG nid = 0;
};

class MemoryAttach final : public ComObject<IAttach> {
public:
    MemoryAttach(StorePtr store, std::shared_ptr<MessageState> message, ULONG number, PropertyBag props)
        : store_(std::move(store)), message_(std::move(message)), number_(number), props_(std::move(props)) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Attachment", out); }
    HRESULT SaveChanges(ULONG) override {
        for (auto& a : message_->data.attachments) {
            if (a.number == number_) {
                a.props = props_;
                return S_OK;
            }
        }
        message_->data.attachments.push_back({number_, props_});
        return S_OK;
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        PropertyBag view = props_;
        view.SetLong(PR_ATTACH_NUM, static_cast<LONG>(number_));
        view.SetLong(PR_OBJECT_TYPE, MAPI_ATTACH);
        return view.GetProps(tags, count, values);
    }
    HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* out) override {
        return OpenPropertyStream(this, props_, tag, iid, flags, true, out);
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override { return props_.SetProps(n, v, p); }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return ResolveNames(*store_, n, names, flags, out);
    }

private:
    StorePtr store_;
    std::shared_ptr<MessageState> message_;
    ULONG number_;
    PropertyBag props_;
    LastError lastError_;
};

class MemoryMessage final : public ComObject<IMessage> {
public:
    MemoryMessage(StorePtr store, std::shared_ptr<MessageState> state)
        : store_(std::move(store)), state_(std::move(state)) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Message", out); }
    HRESULT SaveChanges(ULONG) override {
        if (!state_->nid) {
            state_->nid = store_->nextNid++;
            store_->folders[state_->data.folder].messages.push_back(state_->nid);
        }
        state_->data.props.SetBool(PR_HASATTACH, !state_->data.attachments.empty());
        store_->messages[state_->nid] = state_->data;
        return S_OK;
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        PropertyBag view = state_->data.props;
        view.SetLong(PR_OBJECT_TYPE, MAPI_MESSAGE);
        view.SetLong(PR_STORE_SUPPORT_MASK, static_cast<LONG>(kSupportMask));
        SetEntryId(view, PR_PARENT_ENTRYID, store_->EntryId(state_->data.folder));
        if (state_->nid) SetEntryId(view, PR_ENTRYID, store_->EntryId(state_->nid));
        return view.GetProps(tags, count, values);
    }
    HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* out) override {
        return OpenPropertyStream(this, state_->data.props, tag, iid, flags, true, out);
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override {
        return state_->data.props.SetProps(n, v, p);
    }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return ResolveNames(*store_, n, names, flags, out);
    }
    HRESULT GetAttachmentTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        std::vector<PropertyBag> rows;
        for (const auto& a : state_->data.attachments) {
            PropertyBag row = a.props;
            row.SetLong(PR_ATTACH_NUM, static_cast<LONG>(a.number));
            rows.push_back(std::move(row));
        }
        *table = MemoryTable::Create(std::move(rows), {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_FILENAME}).Detach();
        return S_OK;
    }
    HRESULT OpenAttach(ULONG number, LPCIID, ULONG, LPATTACH* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        for (const auto& a : state_->data.attachments) {
            if (a.number == number) {
                *out = new MemoryAttach(store_, state_, number, a.props);
                return S_OK;
            }
        }
        return MAPI_E_NOT_FOUND;
    }
    HRESULT CreateAttach(LPCIID, ULONG, ULONG* number, LPATTACH* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        const ULONG n = state_->data.nextAttach++;
        if (number) *number = n;
        *out = new MemoryAttach(store_, state_, n, PropertyBag());
        return S_OK;
    }
    HRESULT GetRecipientTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        *table = MemoryTable::Create(state_->data.recipients, {PR_ROWID, PR_DISPLAY_NAME, PR_RECIPIENT_TYPE,
                                                               PR_EMAIL_ADDRESS, PR_ADDRTYPE, PR_ENTRYID})
                     .Detach();
        return S_OK;
    }
    HRESULT ModifyRecipients(ULONG flags, LPADRLIST list) override {
        if (!list) return MAPI_E_INVALID_PARAMETER;
        if (!(flags & MODRECIP_ADD)) return MAPI_E_NO_SUPPORT;
        for (ULONG i = 0; i < list->cEntries; ++i) {
            PropertyBag row;
            const HRESULT hr = row.SetProps(list->aEntries[i].cValues, list->aEntries[i].rgPropVals, nullptr);
            if (FAILED(hr)) return hr;
            row.SetLong(PR_ROWID, static_cast<LONG>(state_->data.recipients.size()));
            state_->data.recipients.push_back(std::move(row));
        }
        return S_OK;
    }
    HRESULT SetReadFlag(ULONG flags) override {
        const LONG current = state_->data.props.GetLong(PR_MESSAGE_FLAGS).value_or(0);
        const LONG next = (flags & CLEAR_READ_FLAG) ? (current & ~static_cast<LONG>(MSGFLAG_READ))
                                                    : (current | static_cast<LONG>(MSGFLAG_READ));
        return state_->data.props.SetLong(PR_MESSAGE_FLAGS, next);
    }

private:
    StorePtr store_;
    std::shared_ptr<MessageState> state_;
    LastError lastError_;
};

PropertyBag FolderView(const MemoryStoreData& store, ULONG nid) {
    const FolderData& folder = store.folders.at(nid);
    PropertyBag view = folder.props;
    SetEntryId(view, PR_ENTRYID, store.EntryId(nid));
    if (folder.parent) SetEntryId(view, PR_PARENT_ENTRYID, store.EntryId(folder.parent));
    view.SetLong(PR_OBJECT_TYPE, MAPI_FOLDER);
    view.SetLong(PR_FOLDER_TYPE, nid == kRootNid ? FOLDER_ROOT : FOLDER_GENERIC);
    view.SetLong(PR_CONTENT_COUNT, static_cast<LONG>(folder.messages.size()));
    view.SetBool(PR_SUBFOLDERS, !folder.children.empty());
    return view;
}

class MemoryFolder final : public ComObject<IMAPIFolder> {
public:
    MemoryFolder(StorePtr store, ULONG nid) : store_(std::move(store)), nid_(nid) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Folder", out); }
    HRESULT SaveChanges(ULONG) override { return S_OK; }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        return FolderView(*store_, nid_).GetProps(tags, count, values);
    }
    HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* out) override {
        return OpenPropertyStream(this, Data().props, tag, iid, flags, true, out);
    }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override { return Data().props.SetProps(n, v, p); }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return ResolveNames(*store_, n, names, flags, out);
    }
    HRESULT GetContentsTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        std::vector<PropertyBag> rows;
        for (ULONG nid : Data().messages) {
            PropertyBag row = store_->messages.at(nid).props;
            SetEntryId(row, PR_ENTRYID, store_->EntryId(nid));
            rows.push_back(std::move(row));
        }
        *table = MemoryTable::Create(std::move(rows), {PR_ENTRYID, PR_SUBJECT, PR_MESSAGE_CLASS}).Detach();
        return S_OK;
    }
    HRESULT GetHierarchyTable(ULONG, LPMAPITABLE* table) override {
        if (!table) return MAPI_E_INVALID_PARAMETER;
        std::vector<PropertyBag> rows;
        for (ULONG nid : Data().children) rows.push_back(FolderView(*store_, nid));
        *table = MemoryTable::Create(std::move(rows), {PR_ENTRYID, PR_DISPLAY_NAME, PR_CONTENT_COUNT, PR_SUBFOLDERS})
                     .Detach();
        return S_OK;
    }
    HRESULT OpenEntry(ULONG cb, LPENTRYID id, LPCIID, ULONG flags, ULONG* type, LPUNKNOWN* out) override {
        if (!id) {
            const std::vector<BYTE> self = store_->EntryId(nid_);
            return OpenObject(store_, 24, reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(self.data())), flags, type, out);
        }
        return OpenObject(store_, cb, id, flags, type, out);
    }
    HRESULT CreateMessage(LPCIID, ULONG, LPMESSAGE* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        auto state = std::make_shared<MessageState>();
        state->data.folder = nid_;
        *out = new MemoryMessage(store_, std::move(state));
        return S_OK;
    }
    HRESULT CreateFolder(ULONG, LPTSTR name, LPTSTR comment, LPCIID, ULONG flags, LPMAPIFOLDER* out) override {
        if (!out || !name) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        const bool wide = (flags & MAPI_UNICODE) != 0;
        const std::string text = wide ? WideToUtf8(reinterpret_cast<const wchar_t*>(name)) : std::string(name);
        if (text.empty()) return MAPI_E_INVALID_PARAMETER;
        for (ULONG child : Data().children) {
            if (!EqualsNoCase(store_->folders.at(child).props.GetString(PR_DISPLAY_NAME).value_or(""), text)) continue;
            if (!(flags & OPEN_IF_EXISTS)) return lastError_.Fail(MAPI_E_COLLISION, "A folder named " + text + " exists.");
            *out = new MemoryFolder(store_, child);
            return S_OK;
        }
        const ULONG nid = store_->AddFolder(nid_, text);
        if (comment) {
            store_->folders[nid].props.SetString(
                PR_COMMENT, wide ? WideToUtf8(reinterpret_cast<const wchar_t*>(comment)) : std::string(comment));
        }
        *out = new MemoryFolder(store_, nid);
        return S_OK;
    }

private:
    FolderData& Data() { return store_->folders.at(nid_); }
    StorePtr store_;
    ULONG nid_;
    LastError lastError_;
};

class MemoryMsgStore final : public ComObject<IMsgStore> {
public:
    explicit MemoryMsgStore(StorePtr store) : store_(std::move(store)) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Store", out); }
    HRESULT SaveChanges(ULONG) override { return S_OK; }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        PropertyBag view;
        view.SetString(PR_DISPLAY_NAME, store_->location.displayName);
        SetEntryId(view, PR_ENTRYID, store_->location.entryId);
        SetEntryId(view, PR_STORE_ENTRYID, store_->location.entryId);
        view.SetBinary(PR_STORE_RECORD_KEY, store_->recordKey.ab, 16);
        view.SetBinary(PR_RECORD_KEY, store_->recordKey.ab, 16);
        view.SetLong(PR_STORE_SUPPORT_MASK, static_cast<LONG>(kSupportMask));
        view.SetLong(PR_OBJECT_TYPE, MAPI_STORE);
        SetEntryId(view, PR_IPM_SUBTREE_ENTRYID, store_->EntryId(kSubtreeNid));
        SetEntryId(view, PR_IPM_OUTBOX_ENTRYID, store_->EntryId(store_->outbox));
        SetEntryId(view, PR_IPM_WASTEBASKET_ENTRYID, store_->EntryId(store_->deleted));
        SetEntryId(view, PR_IPM_SENTMAIL_ENTRYID, store_->EntryId(store_->sent));
        return view.GetProps(tags, count, values);
    }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray* problems) override {
        if (problems) *problems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out) override {
        return ResolveNames(*store_, n, names, flags, out);
    }
    HRESULT OpenEntry(ULONG cb, LPENTRYID id, LPCIID, ULONG flags, ULONG* type, LPUNKNOWN* out) override {
        if (!id) {
            const std::vector<BYTE> root = store_->EntryId(kRootNid);
            return OpenObject(store_, 24, reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(root.data())), flags, type, out);
        }
        return OpenObject(store_, cb, id, flags, type, out);
    }
    HRESULT GetReceiveFolder(LPTSTR messageClass, ULONG, ULONG* cb, LPENTRYID* id, LPTSTR* explicitClass) override {
        if (!cb || !id) return MAPI_E_INVALID_PARAMETER;
        *cb = 0;
        *id = nullptr;
        if (explicitClass) *explicitClass = nullptr;
        const std::vector<BYTE> inbox = store_->EntryId(store_->inbox);
        LPVOID block = nullptr;
        SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(inbox.size()), &block);
        if (FAILED(sc)) return sc;
        std::memcpy(block, inbox.data(), inbox.size());
        *cb = static_cast<ULONG>(inbox.size());
        *id = static_cast<LPENTRYID>(block);
        if (explicitClass) {
            const std::string matched = messageClass && std::strncmp(messageClass, "IPM", 3) == 0 ? "IPM" : "";
            sc = MAPIAllocateBuffer(static_cast<ULONG>(matched.size() + 1), &block);
            if (FAILED(sc)) return sc;
            std::memcpy(block, matched.c_str(), matched.size() + 1);
            *explicitClass = static_cast<LPTSTR>(block);
        }
        return S_OK;
    }

private:
    StorePtr store_;
    LastError lastError_;
};

HRESULT OpenObject(const StorePtr& store, ULONG cb, LPENTRYID id, ULONG, ULONG* type, LPUNKNOWN* out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    const auto nid = store->NidOf(id, cb);
    if (!nid) return MAPI_E_INVALID_ENTRYID;
    if (store->folders.count(*nid)) {
        if (type) *type = MAPI_FOLDER;
        *out = new MemoryFolder(store, *nid);
        return S_OK;
    }
    if (const auto found = store->messages.find(*nid); found != store->messages.end()) {
        auto state = std::make_shared<MessageState>();
        state->data = found->second;
        state->nid = *nid;
        if (type) *type = MAPI_MESSAGE;
        *out = new MemoryMessage(store, std::move(state));
        return S_OK;
    }
    return MAPI_E_NOT_FOUND;
}

}  // namespace

struct MemoryStoreProvider::Stores {
    std::mutex lock;
    std::map<std::string, StorePtr> byPath;
};

MemoryStoreProvider::MemoryStoreProvider() : stores_(std::make_unique<Stores>()) {}
MemoryStoreProvider::~MemoryStoreProvider() = default;

HRESULT MemoryStoreProvider::PrepareStore(const StoreLocation& location, std::string&) {
    std::lock_guard<std::mutex> guard(stores_->lock);
    StorePtr& store = stores_->byPath[location.path];
    if (store) return S_OK;
    store = std::make_shared<MemoryStoreData>();
    store->location = location;
    store->recordKey = NewUid();
    store->folders[kRootNid] = FolderData{};
    store->folders[kRootNid].props.SetString(PR_DISPLAY_NAME, location.displayName);
    store->folders[kSubtreeNid].parent = kRootNid;
    store->folders[kSubtreeNid].props.SetString(PR_DISPLAY_NAME, "Top of Personal Folders");
    store->folders[kRootNid].children.push_back(kSubtreeNid);
    store->inbox = store->AddFolder(kSubtreeNid, "Inbox", "IPF.Note");
    store->outbox = store->AddFolder(kSubtreeNid, "Outbox", "IPF.Note");
    store->deleted = store->AddFolder(kSubtreeNid, "Deleted Items", "IPF.Note");
    store->sent = store->AddFolder(kSubtreeNid, "Sent Items", "IPF.Note");
    return S_OK;
}

HRESULT MemoryStoreProvider::OpenStore(const StoreLocation& location, ULONG, IMsgStore** out, std::string&) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    std::lock_guard<std::mutex> guard(stores_->lock);
    const auto found = stores_->byPath.find(location.path);
    if (found == stores_->byPath.end()) return MAPI_E_NOT_FOUND;
    found->second->location.entryId = location.entryId;
    found->second->location.displayName = location.displayName;
    *out = new MemoryMsgStore(found->second);
    return S_OK;
}

}  // namespace qb::mapi

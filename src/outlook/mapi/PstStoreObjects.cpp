// The objects of a personal folders store: what they share (engine
// failures as MAPI failures, named properties, opening an entry by its
// identifier) and the store's own upkeep (entry identifiers, standard
// folders, the name-to-id map). Each object is in a file of its own:
// PstMsgStore.cpp, PstFolder.cpp, PstMessage.cpp, PstAttach.cpp.

#include "outlook/mapi/PstStoreObjects.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "outlook/mapi/MapiError.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/PstPropConvert.h"
#include "outlook/mapi/PstStoreObjectsInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::mapi {

using namespace pst_objects_detail;

namespace {

constexpr ULONG kValidStandardFolders = 0x02 | 0x04 | 0x10;  // inbox, outbox, sent mail

bool IsFolderNid(Nid nid) {
    const Nid type = nid & 0x1F;
    return type == pst::kNidTypeNormalFolder || type == pst::kNidTypeSearchFolder;
}
bool IsMessageNid(Nid nid) {
    const Nid type = nid & 0x1F;
    return type == pst::kNidTypeNormalMessage || type == pst::kNidTypeAssocMessage;
}

}  // namespace

namespace pst_objects_detail {

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
        case PROP_ID(PR_QB_SAVED_MESSAGES):
        case PROP_ID(PR_QB_COMMITTED_MESSAGES):
        case PROP_ID(PR_QB_DURABLE_MESSAGES):
            return true;
        default: return false;
    }
}

void SetEntryId(PropertyBag& bag, ULONG tag, const std::vector<BYTE>& id) {
    bag.SetBinary(tag, id.data(), static_cast<ULONG>(id.size()));
}

HRESULT FailureOfCurrentException(LastError& lastError) {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return lastError.Fail(MAPI_E_NOT_ENOUGH_MEMORY, "Not enough memory.");
    } catch (const pst::PstError& e) {
        // A refused write ends what this session can store: callers stop.
        const HRESULT hr = e.kind() == pst::PstErrorKind::Io ? MAPI_E_DISK_ERROR : MAPI_E_CALL_FAILED;
        return lastError.Fail(hr, std::string("The personal folders file failed: ") + e.what());
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
        *out = NewPstFolder(store, *nid);
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
    *out = NewPstMessage(std::move(state));
    return S_OK;
}

}  // namespace pst_objects_detail

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
    if (!engine.EnsureStandardNames()) return false;
    engine.Commit();
    return true;
}

}  // namespace qb::mapi

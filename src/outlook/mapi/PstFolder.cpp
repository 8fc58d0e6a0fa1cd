// PstFolder: an IMAPIFolder of a personal folders file. Its properties, its
// contents and hierarchy tables, opening entries, new messages and new
// subfolders.

#include <cstring>
#include <string>
#include <vector>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/PstPropConvert.h"
#include "outlook/mapi/PstStoreObjectsInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::mapi {

using namespace pst_objects_detail;

namespace {

constexpr ULONG kRightsAll = 0x000005FB;  // rightsAll: read, create, edit, delete, subfolders, owner, visible

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
            *out = NewPstMessage(std::move(state));
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

}  // namespace

namespace pst_objects_detail {

IMAPIFolder* NewPstFolder(StorePtr store, Nid nid) { return new PstFolder(std::move(store), nid); }

}  // namespace pst_objects_detail

}  // namespace qb::mapi

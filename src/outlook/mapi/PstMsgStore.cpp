// PstMsgStore: the IMsgStore of a personal folders file. Its properties,
// opening entries (the root folder without an identifier) and the receive
// folder, which is the Inbox for every message class.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/PstPropConvert.h"
#include "outlook/mapi/PstStoreObjectsInternal.h"
#include "outlook/mapi/PstStoreProvider.h"
#include "outlook/pst/PstTags.h"

namespace qb::mapi {

using namespace pst_objects_detail;

namespace {

// A batch interval of 0 means no time limit: commits follow the message count.
constexpr std::chrono::milliseconds kNoInterval = std::chrono::hours(24 * 365);

class PstMsgStore final : public ComObject<IMsgStore> {
public:
    explicit PstMsgStore(StorePtr store) : store_(std::move(store)) {}

    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* out) override { return lastError_.Get(hr, "Store", out); }
    // Commits; FORCE_SAVE also makes the commit durable (a power loss can no longer take it).
    HRESULT SaveChanges(ULONG flags) override {
        auto guard = store_->Lock();
        if (!store_->engine->writable()) return S_OK;
        return Guarded(lastError_, [&] {
            store_->engine->Commit();
            if (flags & FORCE_SAVE) store_->engine->MakeDurable();
            return S_OK;
        });
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        auto guard = store_->Lock();
        return Guarded(lastError_, [&] {
            // The commit counts are asked for after every document: answered
            // without converting the store's other properties.
            if (OnlyCommitCounts(tags)) {
                PropertyBag counts;
                SetCommitProperties(counts);
                return counts.GetProps(tags, count, values);
            }
            PropertyBag view = ToPropertyBag(store_->engine->StoreProperties());
            view.Remove(pst::tags::kPstPassword);
            view.SetString(PR_DISPLAY_NAME, store_->location.displayName);
            SetEntryId(view, PR_ENTRYID, store_->location.entryId);
            SetEntryId(view, PR_STORE_ENTRYID, store_->location.entryId);
            view.SetBinary(PR_STORE_RECORD_KEY, store_->recordKey.data(), 16);
            view.SetBinary(PR_RECORD_KEY, store_->recordKey.data(), 16);
            view.SetLong(PR_STORE_SUPPORT_MASK, static_cast<LONG>(store_->SupportMask()));
            view.SetLong(PR_OBJECT_TYPE, MAPI_STORE);
            SetCommitProperties(view);
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
                if (SetCommitSetting(v[i])) continue;
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
    static bool OnlyCommitCounts(const SPropTagArray* tags) {
        if (!tags || tags->cValues == 0) return false;
        for (ULONG i = 0; i < tags->cValues; ++i) {
            const ULONG tag = tags->aulPropTag[i];
            if (tag != PR_QB_SAVED_MESSAGES && tag != PR_QB_COMMITTED_MESSAGES && tag != PR_QB_DURABLE_MESSAGES)
                return false;
        }
        return true;
    }
    void SetCommitProperties(PropertyBag& view) const {
        const pst::CommitPolicy& policy = store_->engine->commitPolicy();
        view.SetLong(PR_QB_COMMIT_BATCH_MESSAGES, static_cast<LONG>(std::min<std::size_t>(policy.messages, 0x7FFFFFFF)));
        const auto interval = policy.interval >= kNoInterval ? 0 : policy.interval.count();
        view.SetLong(PR_QB_COMMIT_BATCH_INTERVAL, static_cast<LONG>(std::min<std::int64_t>(interval, 0x7FFFFFFF)));
        view.SetLong(PR_QB_SAVED_MESSAGES, static_cast<LONG>(store_->engine->savedMessages()));
        view.SetLong(PR_QB_COMMITTED_MESSAGES, static_cast<LONG>(store_->engine->committedMessages()));
        view.SetLong(PR_QB_DURABLE_MESSAGES, static_cast<LONG>(store_->engine->durableMessages()));
    }

    // The batch settings change the engine's commit policy; they are not stored.
    bool SetCommitSetting(const SPropValue& value) {
        if (value.ulPropTag != PR_QB_COMMIT_BATCH_MESSAGES && value.ulPropTag != PR_QB_COMMIT_BATCH_INTERVAL) return false;
        if (!store_->engine->writable()) return true;
        pst::CommitPolicy policy = store_->engine->commitPolicy();
        const LONG setting = std::max<LONG>(value.Value.l, 0);
        if (value.ulPropTag == PR_QB_COMMIT_BATCH_MESSAGES) {
            policy.messages = std::max<LONG>(setting, 1);
            policy.writeBehind = policy.messages > 1 && CommitWriteBehindEnabled();
        } else policy.interval = setting == 0 ? kNoInterval : std::chrono::milliseconds(setting);
        store_->engine->SetCommitPolicy(policy);
        return true;
    }

    StorePtr store_;
    LastError lastError_;
};

}  // namespace

HRESULT CreatePstMsgStore(std::shared_ptr<PstStoreShared> store, IMsgStore** out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = new PstMsgStore(std::move(store));
    return S_OK;
}

}  // namespace qb::mapi

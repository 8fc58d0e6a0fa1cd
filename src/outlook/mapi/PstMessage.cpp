// PstMessage: an IMessage of a personal folders file. A new message collects
// its properties, recipients and attachments and is written whole when it is
// saved; a saved message is read-only.

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/PstPropConvert.h"
#include "outlook/mapi/PstStoreObjectsInternal.h"
#include "outlook/mapi/StoreComputedProps.h"
#include "outlook/pst/PstTags.h"

namespace qb::mapi {

using namespace pst_objects_detail;

namespace {

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

FILETIME Now() {
    // In 100 ns units since 1601, counted in microseconds: nanoseconds since 1601 overflow 64 bits.
    using std::chrono::microseconds;
    const microseconds since1970 = std::chrono::duration_cast<microseconds>(std::chrono::system_clock::now().time_since_epoch());
    const auto ticks = static_cast<std::uint64_t>((since1970 + std::chrono::seconds(11644473600LL)).count()) * 10;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

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
            // The properties the store computes join the message's own and stay visible after the save.
            PropertyBag& props = state_->props;
            props.SetBool(PR_HASATTACH, !state_->attachments.empty());
            SetRecipientDisplays(props, state_->recipients);
            AddStoreComputedProperties(props, state_->store->engine->format() == pst::PstFormat::Unicode, Now());
            std::vector<std::pair<std::uint32_t, pst::PropValue>> values;
            values.reserve(props.Count());
            props.ForEachValue([&values](const SPropValue& value) {
                if (auto converted = ToEngineValue(value)) values.push_back(std::move(*converted));
            });
            builder.SetProperties(std::move(values));
            for (std::size_t i = 0; i < state_->recipients.size(); ++i) {
                const PropertyBag& recipient = state_->recipients[i];
                pst::Properties row = ToEngineProperties(recipient);
                // Values the engine needs in every row, added to the row only:
                // the message's own recipients stay as they were given.
                if (!recipient.Find(PR_OBJECT_TYPE))
                    row[pst::TagId(PR_OBJECT_TYPE)] = pst::PropValue::Long(MAPI_MAILUSER);
                if (!recipient.Find(PR_DISPLAY_TYPE)) row[pst::TagId(PR_DISPLAY_TYPE)] = pst::PropValue::Long(0);  // DT_MAILUSER
                row[pst::TagId(pst::tags::kRowId)] = pst::PropValue::Long(static_cast<std::int32_t>(i));
                builder.AddRecipient(std::move(row));
            }
            // The store's commit policy commits every saved message.
            state_->nid = builder.Save();
            for (auto& a : state_->attachments) a.builder = nullptr;
            state_->builder.reset();
            state_->changed = false;
            return S_OK;
        });
    }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        auto guard = state_->store->Lock();
        // Only the values asked for are copied: the writers ask single
        // properties of messages whose bodies are large.
        PropertyBag view;
        if (tags) {
            for (ULONG i = 0; i < tags->cValues; ++i) {
                const SPropValue* value = state_->props.Find(PROP_TAG(PT_UNSPECIFIED, PROP_ID(tags->aulPropTag[i])));
                if (value) view.Set(*value);
            }
        } else {
            view = state_->props;
        }
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
        *out = NewPstAttach(state_, number, a->props, nullptr);
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
            *out = NewPstAttach(state_, n, PropertyBag(), &builder);
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

}  // namespace

namespace pst_objects_detail {

IMessage* NewPstMessage(MessagePtr state) { return new PstMessage(std::move(state)); }

}  // namespace pst_objects_detail

}  // namespace qb::mapi

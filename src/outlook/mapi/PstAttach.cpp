// PstAttach: an IAttach of a message in a personal folders file, and the
// stream its new data is written through, straight into the file's blocks.

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

}  // namespace

namespace pst_objects_detail {

IAttach* NewPstAttach(MessagePtr message, ULONG number, PropertyBag props, pst::AttachmentBuilder* builder) {
    return new PstAttach(std::move(message), number, std::move(props), builder);
}

}  // namespace pst_objects_detail

}  // namespace qb::mapi

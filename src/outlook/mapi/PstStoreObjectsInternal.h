#pragma once
// What the MAPI objects of a personal folders store share: the state of one
// open message (its attachments share it), engine failures as MAPI
// failures, named-property look-ups, opening an entry by its identifier and
// making each kind of object. Private to PstStoreObjects.cpp, PstMsgStore.cpp,
// PstFolder.cpp, PstMessage.cpp and PstAttach.cpp.

#include <functional>
#include <memory>
#include <vector>

#include "outlook/mapi/MapiError.h"
#include "outlook/mapi/PropertyStream.h"
#include "outlook/mapi/PstStoreObjects.h"

namespace qb::mapi::pst_objects_detail {

using pst::Nid;
using StorePtr = std::shared_ptr<PstStoreShared>;

// Properties the store computes; callers cannot set them.
bool IsComputed(ULONG tag);

void SetEntryId(PropertyBag& bag, ULONG tag, const std::vector<BYTE>& id);

// Inside a catch: the MAPI failure for the exception being handled (rethrows
// what is neither an engine failure nor a std::exception).
HRESULT FailureOfCurrentException(LastError& lastError);

// Runs an engine operation; an engine failure becomes a MAPI failure whose
// text GetLastError gives. A template, so that no call allocates the
// operation (every save of a message runs through here).
template <class Operation>
HRESULT Guarded(LastError& lastError, Operation&& operation) {
    try {
        return operation();
    } catch (...) {
        return FailureOfCurrentException(lastError);
    }
}

HRESULT ResolveNames(PstStoreShared& store, ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* out);

HRESULT OpenObject(const StorePtr& store, ULONG cb, LPENTRYID id, ULONG flags, ULONG* type, LPUNKNOWN* out,
                   LastError& lastError);

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

// The objects, each in its own file.
IMAPIFolder* NewPstFolder(StorePtr store, Nid nid);
IMessage* NewPstMessage(MessagePtr state);
IAttach* NewPstAttach(MessagePtr message, ULONG number, PropertyBag props, pst::AttachmentBuilder* builder);

}  // namespace qb::mapi::pst_objects_detail

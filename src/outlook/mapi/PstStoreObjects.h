#pragma once
// The objects of a personal folders store as MAPI sees them: the store, its
// folders, messages and attachments, all over one shared engine store.

#include <memory>
#include <mutex>
#include <optional>

#include "outlook/mapi/StoreProvider.h"
#include "outlook/pst/PstStore.h"

namespace qb::mapi {

// One open personal folders file, shared by every object opened on it.
struct PstStoreShared {
    std::recursive_mutex lock;
    std::unique_ptr<pst::PstStore> engine;
    StoreLocation location;
    std::vector<BYTE> recordKey;
    pst::Nid inbox = 0;

    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(lock); }
    std::vector<BYTE> EntryId(pst::Nid nid) const;
    // The node id an entry identifier of this store names, if it is one.
    std::optional<pst::Nid> NidOf(const void* entryId, ULONG size) const;
    ULONG SupportMask() const;
};

// Adds the Inbox, Outbox and Sent Items a store in use has (the file the mail
// client creates starts with Deleted Items only) and records them; true when
// something was added.
bool EnsureStandardFolders(pst::PstStore& engine);
// Gives a store with an empty name-to-id map the names every store of the
// mail client holds: readers (libpff) refuse a file whose map has no entries.
bool EnsureNameMap(pst::PstStore& engine);
// The Inbox: the subfolder of that name below the top of the store.
pst::Nid FindInbox(const pst::PstStore& engine);

HRESULT CreatePstMsgStore(std::shared_ptr<PstStoreShared> store, IMsgStore** out);

}  // namespace qb::mapi

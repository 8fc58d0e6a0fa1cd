#pragma once
// The personal folders store binding: MAPI's message stores, folders,
// messages and attachments over the PST engine (../pst). Message services
// "MSUPST MS" (Unicode) and "MSPST MS" (ANSI) create or attach their files
// through it once it is registered; programs register it at start, before
// MAPIInitialize.
//
// Every open object of one file shares one engine store, guarded by one lock,
// so the window thread and the export worker may each hold objects of it.
// SaveChanges on a message commits it to the file before it returns. A file
// is held (and locked against other programs) while any object of it lives.

#include <memory>
#include <optional>

#include "outlook/mapi/StoreProvider.h"

namespace qb::mapi {

struct PstStoreShared;

class PstStoreProvider final : public MsgStoreProvider {
public:
    PstStoreProvider();
    ~PstStoreProvider() override;
    HRESULT PrepareStore(const StoreLocation& location, std::string& errorText) override;
    HRESULT OpenStore(const StoreLocation& location, ULONG flags, IMsgStore** store, std::string& errorText) override;

private:
    struct Open;
    std::unique_ptr<Open> open_;
};

// Registers a PstStoreProvider as the process's store provider.
void RegisterPstStoreProvider();

// A caller that batches commits (PR_QB_COMMIT_BATCH_MESSAGES above 1) follows
// the committed and durable counts itself, so its commits wait for the disk
// and write their header on a second thread while it goes on saving; on
// unless QUILLBOX_COMMIT_WRITE_BEHIND is "0". Tests may force it either way
// (nullopt: follow the environment again).
bool CommitWriteBehindEnabled();
void SetCommitWriteBehindEnabled(std::optional<bool> enabled);

}  // namespace qb::mapi

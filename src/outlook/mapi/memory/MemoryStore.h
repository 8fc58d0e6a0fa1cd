#pragma once
// A message store held in memory, behind the same MsgStoreProvider seam as the
// personal folders engine: the reference the engine's binding follows, and the
// store that writer tests run against without files. It keeps folders,
// messages, recipients, attachments and named properties; nothing is
// persisted beyond the provider object's life. Objects of one store are used
// from one thread at a time, as the export uses its store.

#include <memory>

#include "outlook/mapi/StoreProvider.h"

namespace qb::mapi {

struct MemoryStoreData;

class MemoryStoreProvider final : public MsgStoreProvider {
public:
    MemoryStoreProvider();
    ~MemoryStoreProvider() override;
    // Creates the store's data on first use of a path; refuses nothing.
    HRESULT PrepareStore(const StoreLocation& location, std::string& errorText) override;
    HRESULT OpenStore(const StoreLocation& location, ULONG flags, IMsgStore** store, std::string& errorText) override;

private:
    struct Stores;
    std::unique_ptr<Stores> stores_;
};

}  // namespace qb::mapi

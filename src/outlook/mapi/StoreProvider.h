#pragma once
// The seam between MAPI's profiles and sessions and the personal folders
// store engine. The engine registers one MsgStoreProvider; message services
// "MSUPST MS" (Unicode) and "MSPST MS" (ANSI) create or attach their files
// through it, and sessions open their stores through it. Without a
// registered provider those services have no entry point: configuring or
// opening them fails with MAPI_E_NOT_INITIALIZED (0x80040605).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outlook/mapi/MapiInterfaces.h"

namespace qb::mapi {

enum class StoreFormat { Unicode, Ansi };

struct StoreLocation {
    std::string path;         // absolute, normalised
    StoreFormat format = StoreFormat::Unicode;
    std::string displayName;  // the service's display name, UTF-8
    MAPIUID serviceUid{};
    // The store's entry identifier as the stores table lists it; the opened
    // store must answer PR_ENTRYID and PR_STORE_ENTRYID with these bytes.
    std::vector<BYTE> entryId;
};

class MsgStoreProvider {
public:
    virtual ~MsgStoreProvider() = default;
    // Creates an empty personal folders file of the format at the path when
    // none exists (its root display name is the location's display name), or
    // checks that the existing file is a personal folders file of that
    // format. On failure errorText says why, for GetLastError.
    virtual HRESULT PrepareStore(const StoreLocation& location, std::string& errorText) = 0;
    // Opens the store (flags: MDB_WRITE, MDB_NO_MAIL, ...). The store's
    // folder and message entry identifiers carry its PR_STORE_RECORD_KEY in
    // bytes 4 to 19, which is how a session routes OpenEntry to it. A store
    // asked for with MDB_WRITE is writable or not opened at all; on failure
    // errorText says why (in use, read-only, damaged), for GetLastError.
    virtual HRESULT OpenStore(const StoreLocation& location, ULONG flags, IMsgStore** store,
                              std::string& errorText) = 0;
};

// Registers the provider for the process (null removes it).
void SetMsgStoreProvider(std::shared_ptr<MsgStoreProvider> provider);
std::shared_ptr<MsgStoreProvider> GetMsgStoreProvider();

// Store entry identifiers handed out by the stores table: four zero flag
// bytes, kStoreProviderUid, then the file's path in UTF-8 ending with a zero.
inline constexpr MAPIUID kStoreProviderUid = {
    {'Q', 'u', 'i', 'l', 'l', 'b', 'o', 'x', 'P', 'S', 'T', 'S', 't', 'o', 'r', 'e'}};
std::vector<BYTE> BuildStoreEntryId(const std::string& path);
std::optional<std::string> ParseStoreEntryId(const BYTE* data, std::size_t size);

}  // namespace qb::mapi

#pragma once
// Personal folders files in profiles: adding a "MSUPST MS" or "MSPST MS"
// service for a file (creating or attaching it), and finding a profile's
// store of a given file.

#include <optional>
#include <string>

#include "outlook/mapi/MapiInterfaces.h"
#include "outlook/mapi/MapiTypes.h"

namespace qb {

// Needs MAPIInitialize. The profile is created when it does not exist. On a
// failure `errorText` says why (the service's own text when it gives one).
HRESULT AddPersonalFoldersService(const std::string& profile, const std::string& path, bool ansi,
                                  const std::string& displayName, std::string& errorText);

bool ProfileExists(const std::string& profile);

// ConfigureMsgService of a personal folders service: its display name and file.
HRESULT ConfigurePstService(IMsgServiceAdmin& services, MAPIUID serviceUid, const std::string& displayName,
                            const std::string& path);

// Deletes the profile with its message services; the files stay on disk.
HRESULT RemoveProfile(const std::string& profile);

// The hexadecimal entry identifier of the profile's store kept in `path`.
std::optional<std::string> StoreEntryIdForFile(const std::string& profile, const std::string& path);

}  // namespace qb

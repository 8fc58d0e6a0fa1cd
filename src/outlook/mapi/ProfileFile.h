#pragma once
// The profiles file: every MAPI profile of the user with its message
// services, kept as the desktop's registry keeps them, in
// $XDG_CONFIG_HOME/quillbox/profiles.ini (default ~/.config/quillbox).
//
//   [Profile]            one section per profile
//   Name=Outlook
//   Default=1
//   [Service]            one section per message service
//   Profile=Outlook
//   Uid=<32 hex digits>
//   Service=MSUPST MS
//   DisplayName=Personal Folders
//   PstPath=/home/user/mail.pst     (empty until configured)
//   DefaultStore=1
//
// Every operation reads the file, changes it and writes it back whole
// (through a temporary file and a rename), so that profile administration
// in one session is seen by every other.

#include <string>
#include <string_view>
#include <vector>

#include "outlook/mapi/MapiTypes.h"

namespace qb::mapi {

struct ServiceEntry {
    MAPIUID uid{};
    std::string serviceName;
    std::string displayName;
    std::string pstPath;
    bool defaultStore = false;
    bool Configured() const { return !pstPath.empty(); }
};

struct ProfileEntry {
    std::string name;
    bool isDefault = false;
    std::vector<ServiceEntry> services;
    ServiceEntry* FindService(const MAPIUID& uid);
    ServiceEntry* FindServiceByPath(std::string_view path);
};

class ProfileFile {
public:
    // The file's path from the environment.
    static std::string DefaultPath();
    // A missing file is an empty one; an unreadable one fails with
    // MAPI_E_DISK_ERROR / MAPI_E_NO_ACCESS and a text.
    HRESULT Load(const std::string& path, std::string& error);
    HRESULT Save(const std::string& path, std::string& error) const;

    ProfileEntry* Find(std::string_view name);  // names compare without regard to case
    ProfileEntry* Default();
    bool Remove(std::string_view name);

    std::vector<ProfileEntry> profiles;
};

std::string UidToHex(const MAPIUID& uid);
bool UidFromHex(std::string_view hex, MAPIUID& uid);
MAPIUID NewUid();

}  // namespace qb::mapi

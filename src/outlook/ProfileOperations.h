#pragma once
// The profile and personal folders operations of the main window and the
// batch export: the profile list, a new profile, a new or attached message
// service, and the four operations the batch drives for its temporary
// profile (add and remove a profile, create a personal folders service in
// it and remove that service again).
//
// Every failure is shown through the message sink with the texts the
// program has always used; none ends the program. Nothing here shows a
// window itself: the dialogs are asked through ProfileDialogs.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outlook/OutlookSession.h"
#include "outlook/mapi/MapiTypes.h"
#include "shell/report/MessageSink.h"

namespace qb {

// The message services by the text the "Folder Type" dialog shows.
struct ServiceChoice {
    const char* displayText;
    const char* serviceName;
};
const std::vector<ServiceChoice>& KnownMessageServices();
// The service name of a display text; empty for an unknown text.
std::string ServiceNameForText(const std::string& displayText);
// The entries of the "Folder Type" list: the two personal folders services.
std::vector<std::string> FolderTypeEntries();
// The entry preselected for the DefaultService setting: the first that
// begins with it, or none.
std::optional<std::size_t> PreselectedFolderType(const std::string& defaultService);

// The main window's profile drop-down: the names in profile-table order,
// the entries (text, index into names) and the selected entry.
struct ProfileList {
    struct Entry {
        std::string text;
        std::size_t nameIndex = 0;
    };
    std::vector<std::string> names;
    std::vector<Entry> entries;
    std::optional<std::size_t> selected;
};

// Refills the list from the profile table; the default profile becomes
// `currentProfile` and its entry text ends in " (default)". Then selects the
// first entry beginning with `select`, or the default one when `select` is
// empty. False (list untouched) when the profiles cannot be read.
bool FillProfileList(ProfileList& list, const std::string& select, std::string& currentProfile);

bool AddProfile(const std::string& name, MessageSink& messages);
bool RemoveProfile(const std::string& name, MessageSink& messages);
bool RemoveService(const std::string& profile, const MAPIUID& serviceUid, MessageSink& messages);

// What CreatePstService gives back.
struct PstServiceResult {
    std::vector<std::uint8_t> storeEntryId;  // empty when no store was found
    std::optional<MAPIUID> serviceUid;       // set once the service exists
};

// Adds a personal folders service (`serviceName` "MSPST MS" or "MSUPST MS")
// for the file at `path` with `displayName` to `profile`, and finds its
// store through `session` (logged on to that profile). A failed
// configuration is reported and the operation goes on, as the service's
// extended error text is then known.
bool CreatePstService(const std::string& serviceName, const std::string& profile, const std::string& displayName,
                      const std::string& path, CMapiSession& session, PstServiceResult& result,
                      MessageSink& messages);

// The dialogs of "New Profile" and "New/Attach".
class ProfileDialogs {
public:
    virtual ~ProfileDialogs() = default;
    // "Enter the new profile name": the name on OK, nothing on Cancel.
    virtual std::optional<std::string> AskNewProfileName() = 0;
    // "Select the appropriate service for folder file required:": the chosen
    // entry's text on OK, nothing on Cancel.
    virtual std::optional<std::string> ChooseFolderType(const std::vector<std::string>& entries,
                                                        std::optional<std::size_t> preselected) = 0;
};

// What the main window does after a profile or store change.
class ProfileWindow {
public:
    virtual ~ProfileWindow() = default;
    // The profile change: log on to the current profile and load its stores.
    virtual void ProfileChanged() = 0;
    // Refills the store list from session.stores with `store` selected
    // (nothing: the default store).
    virtual void ShowStores(std::optional<std::size_t> store) = 0;
};

// The main window's state these two operations change.
struct ProfileState {
    CMapiSession& session;
    ProfileList& list;
    std::string& currentProfile;
    std::string defaultService;  // the DefaultService setting
};

void NewProfile(ProfileState& state, ProfileDialogs& dialogs, ProfileWindow& window, MessageSink& messages);
void NewOrAttachService(ProfileState& state, ProfileDialogs& dialogs, ProfileWindow& window, MessageSink& messages);

// The store added to a list: the first identifier not among the earlier
// ones, else the last store whose identifier now occurs more often.
std::optional<std::size_t> FindAddedStore(const std::vector<std::string>& before,
                                          const std::vector<std::string>& after);

}  // namespace qb

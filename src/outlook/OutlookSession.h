#pragma once
// The one Outlook session of the program: MAPI initialisation, the logged-on
// session, the stores of the profile, the open store with its special folders,
// and finding or creating folders by name or by backslash path.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outlook/mapi/MapiInterfaces.h"
#include "outlook/mapi/Unknown.h"

namespace qb {

class ExportLog;

enum SpecialFolder : int {
    kInboxFolder = 0,
    kOutboxFolder = 1,
    kDeletedItemsFolder = 2,
    kSentItemsFolder = 3,
    kTopOfStoreFolder = 4,
};
inline constexpr int kSpecialFolderCount = 5;

struct StoreInfo {
    bool isDefault = false;
    std::string displayName;
    std::vector<std::uint8_t> entryId;  // PR_ENTRYID, at most 512 bytes kept
};

// "%02X" per byte, no separators: the form kept in FoldersFileEntryID.
std::string EntryIdToHex(const std::vector<std::uint8_t>& entryId);

struct FolderHandle {
    mapi::MapiPtr<IMAPIFolder> folder;
    bool rightsKnown = false;
    ULONG rights = 0;
};

// The rights bit a folder must grant for items to be created in it.
inline constexpr ULONG frightsCreate = 0x00000002;

class CMapiSession {
public:
    static constexpr std::uint32_t kInitialised = 1;
    static constexpr std::uint32_t kLoggedOn = 2;
    static constexpr std::size_t kMaxEntryIdBytes = 512;
    static constexpr int kMaxPathComponents = 102;

    CMapiSession() = default;
    virtual ~CMapiSession();
    CMapiSession(const CMapiSession&) = delete;
    CMapiSession& operator=(const CMapiSession&) = delete;

    std::uint32_t flags = 0;
    mapi::MapiPtr<IMAPISession> session;
    mapi::MapiPtr<IMsgStore> store;
    std::string lastError;
    // Set when the store refused a write (a full or broken disk): nothing
    // more can be stored in this session, so the run stops.
    bool storeWriteFailed = false;
    std::vector<StoreInfo> stores;
    std::array<std::vector<std::uint8_t>, kSpecialFolderCount> specialIds;
    std::array<mapi::MapiPtr<IMAPIFolder>, kSpecialFolderCount> specialFolders;
    mapi::MapiPtr<IAddrBook> addressBook;

    // What the current export run lends the folder operations: the name of
    // the one top folder everything goes under (empty for none), where a
    // failed path is reported, and the log for unexpected failures.
    std::string subfolderName;
    std::string* runErrorText = nullptr;
    const ExportLog* log = nullptr;

    HRESULT Initialize();
    void Uninitialize();
    HRESULT Logon(const std::string& profile, const std::string& password, ULONG logonFlags, ULONG_PTR uiHandle);
    HRESULT Logoff();
    HRESULT GetStores(std::vector<std::uint8_t>* defaultEntryId);
    HRESULT OpenDefaultStore();
    HRESULT OpenStore(const std::vector<std::uint8_t>& entryId);
    HRESULT OpenIpmSubtree();
    // The address book for one-off entry identifiers, opened on first use.
    HRESULT GetAddressBook(IAddrBook** addressBook);

    std::optional<FolderHandle> GetSpecialFolder(int index) const;
    virtual std::optional<FolderHandle> OpenFolder(IMAPIFolder* parent, const std::string& name);
    virtual std::optional<FolderHandle> OpenOrCreateFolder(IMAPIFolder* parent, const std::string& name);
    // Finds or creates every level of the backslash-separated path below the
    // top of the store (or below the run's subfolder).
    virtual std::optional<FolderHandle> OpenFolderPath(const std::string& path, const std::string& containerClass);

private:
    void ReleaseSpecialFolders();
    // OpenMsgStore into `store`; a failure leaves the store's reason in lastError.
    HRESULT OpenStoreWithReason(std::vector<std::uint8_t> entryId);
    std::string storeOpenError_;  // why the last store open failed, else empty
};

}  // namespace qb

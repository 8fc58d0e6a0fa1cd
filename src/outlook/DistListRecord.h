#pragma once
// One converted Notes group and the writer that saves it as an Outlook
// distribution list: its name, its members as one-off SMTP entries (the same
// identifiers as members and as one-off members), categories, body and the
// private flag. Created empty for one document, saved once and destroyed.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outlook/ContactRecord.h"

namespace qb {

class DistListRecord {
public:
    DistListRecord(CMapiSession& session, mapi::MapiPtr<IMessage> message)
        : session_(session), message_(std::move(message)) {}
    DistListRecord(const DistListRecord&) = delete;
    DistListRecord& operator=(const DistListRecord&) = delete;

    platform::SystemTime creationTime{};  // UTC
    platform::SystemTime modificationTime{};
    bool isPrivate = false;
    std::string listName;
    // Parallel: entry i of both is one member.
    std::vector<std::string> memberNames, memberAddresses;
    std::vector<std::string> categories;
    std::string body;
    bool markAsRead = false;
    // The Notes document's universal id, kept so that a resumed run can tell
    // the list was saved.
    std::string universalId;

    // After SaveDistList, as for ContactRecord; `emptyMembers` counts the
    // members without an address, which get no entry.
    std::optional<SetPropsFailure> setPropsFailure;
    std::vector<std::string> droppedValues;
    std::size_t emptyMembers = 0;
    std::string lastError;

    HRESULT SaveDistList(ULONG_PTR uiHandle = 0);

    IMessage* message() const { return message_.get(); }

private:
    std::vector<std::vector<BYTE>> MemberEntryIds();

    CMapiSession& session_;
    mapi::MapiPtr<IMessage> message_;
};

std::unique_ptr<DistListRecord> NewDistListRecord(CMapiSession& session, const FolderHandle& folder,
                                                  std::string* error = nullptr);

}  // namespace qb

#include "outlook/DistListRecord.h"

#include <fmt/format.h>

#include "outlook/ItemSupport.h"
#include "outlook/NamedProperties.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {
namespace {

ULONG Tag(NamedId name) { return NamedTags().Tag(name); }

}  // namespace

std::unique_ptr<DistListRecord> NewDistListRecord(CMapiSession& session, const FolderHandle& folder,
                                                  std::string* error) {
    mapi::MapiPtr<IMessage> message = CreateFolderMessage(folder, error);
    if (!message) return nullptr;
    return std::make_unique<DistListRecord>(session, std::move(message));
}

std::vector<std::vector<BYTE>> DistListRecord::MemberEntryIds() {
    std::vector<std::vector<BYTE>> ids;
    emptyMembers = 0;
    std::size_t members = 0;
    for (std::size_t i = 0; i < memberAddresses.size(); ++i) {
        const std::string& address = memberAddresses[i];
        // An empty member value names nobody: an entry for it would be a
        // member without a name or an address.
        if (address.empty()) {
            ++emptyMembers;
            continue;
        }
        if (++members > kMaxListValues) continue;
        const std::string name = i < memberNames.size() ? memberNames[i] : std::string();
        ids.push_back(SmtpOneOffEntryId(name, address, true));
    }
    if (members > kMaxListValues) droppedValues.push_back(fmt::format("members: {} values", members - kMaxListValues));
    return ids;
}

HRESULT DistListRecord::SaveDistList(ULONG_PTR) {
    setPropsFailure.reset();
    droppedValues.clear();
    if (!session_.session || !message_) {
        lastError = "no Outlook session";
        return E_FAIL;
    }
    static const std::string kListClass = "IPM.DistList";
    const FILETIME created = ToFileTime(creationTime);
    const std::vector<std::vector<BYTE>> members = MemberEntryIds();

    PropertyArray v;
    v.Text(PR_MESSAGE_CLASS, kListClass);
    v.Text(PR_BODY, body);
    v.Time(PR_MESSAGE_DELIVERY_TIME, created);
    v.Time(PR_CREATION_TIME, created);
    for (ULONG tag : {PR_DISPLAY_NAME, PR_NORMALIZED_SUBJECT, PR_SUBJECT, PR_CONVERSATION_TOPIC}) v.Text(tag, listName);
    v.Text(Tag(PidLidFileUnder), listName);
    v.Long(Tag(PidLidFileUnderId), -1);
    if (!members.empty()) {
        v.MultiBinary(Tag(PidLidDistributionListMembers), members);
        v.MultiBinary(Tag(PidLidDistributionListOneOffMembers), members);
    }
    v.Long(PR_MESSAGE_FLAGS, MSGFLAG_READ);
    v.Bool(Tag(PidLidPrivate), isPrivate);
    v.Long(PR_SENSITIVITY, isPrivate ? 2 : 0);
    if (!categories.empty()) {
        std::size_t dropped = 0;
        v.MultiText(NamedTags().keywords, FirstValues(categories, kMaxListValues, dropped));
        if (dropped) droppedValues.push_back(fmt::format("categories: {} values", dropped));
    }
    v.Long(PR_PRIORITY, 0);
    v.Long(PR_IMPORTANCE, 1);
    v.TextIfAny(NamedTags().universalId, universalId);

    if (SetPropsFailure failure; !SetAllProps(*message_, v, failure)) setPropsFailure = failure;
    if (markAsRead) message_->SetReadFlag(MAPI_DEFERRED_ERRORS);
    const HRESULT hr = message_->SaveChanges(0);
    if (FAILED(hr)) lastError = mapi::LastErrorTextWithCode(*message_, hr, "cannot save the distribution list");
    return hr;
}

}  // namespace qb

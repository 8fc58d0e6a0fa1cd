#include "outlook/ContactRecord.h"

#include <fmt/format.h>

#include "outlook/ItemSupport.h"
#include "outlook/MessageRecord.h"
#include "outlook/NamedProperties.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {
namespace {

constexpr const char* kContactClass = "IPM.Contact";

std::string TrimTrailingBlanks(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// The named properties of one e-mail slot: address, address type, display
// name, original display name, original entry identifier.
struct EmailSlot {
    NamedId address, type, displayName, originalName, entryId;
};
constexpr EmailSlot kEmailSlots[] = {
    {PidLidEmail1EmailAddress, PidLidEmail1AddressType, PidLidEmail1DisplayName, PidLidEmail1OriginalDisplayName,
     PidLidEmail1OriginalEntryId},
    {PidLidEmail2EmailAddress, PidLidEmail2AddressType, PidLidEmail2DisplayName, PidLidEmail2OriginalDisplayName,
     PidLidEmail2OriginalEntryId},
    {PidLidEmail3EmailAddress, PidLidEmail3AddressType, PidLidEmail3DisplayName, PidLidEmail3OriginalDisplayName,
     PidLidEmail3OriginalEntryId}};

ULONG Tag(NamedId name) { return NamedTags().Tag(name); }

}  // namespace

std::unique_ptr<ContactRecord> NewContactRecord(CMapiSession& session, const FolderHandle& folder,
                                                std::string* error) {
    mapi::MapiPtr<IMessage> message = CreateFolderMessage(folder, error);
    if (!message) return nullptr;
    return std::make_unique<ContactRecord>(session, std::move(message));
}

std::string ContactRecord::DisplayName() const {
    std::string name;
    for (const std::string* part : {&firstName, &middleName, &lastName})
        if (!part->empty()) name += *part + " ";
    name = TrimTrailingBlanks(name);
    return name.empty() ? company : name;
}

std::string ContactRecord::FileAs() const {
    // Joined without the separators of a missing part, so that no text ends
    // in a comma or a blank.
    std::string given = firstName;
    if (!middleName.empty()) given += (given.empty() ? "" : " ") + middleName;
    std::string text = lastName;
    if (!given.empty()) text += (text.empty() ? "" : ", ") + given;
    text = TrimTrailingBlanks(text);
    if (text.empty()) text = DisplayName();
    if (text.empty()) text = email1;
    return text;
}

void ContactRecord::AddEmail(PropertyArray& values, int slot, const std::string& address,
                             const std::string& displayName, bool idsWanted) {
    if (address.empty()) return;
    const EmailSlot& tags = kEmailSlots[slot];
    values.Text(Tag(tags.address), address);
    values.Text(Tag(tags.type), "SMTP");
    values.Text(Tag(tags.displayName),
                displayName.empty() ? address : fmt::format("{} ({})", displayName, address));
    values.Text(Tag(tags.originalName), address);
    if (idsWanted) values.Binary(Tag(tags.entryId), SmtpOneOffEntryId(displayName, address, false));
}

HRESULT ContactRecord::SaveContact(ULONG_PTR, const std::string& formName) {
    setPropsFailure.reset();
    droppedValues.clear();
    if (!session_.session || !message_) {
        lastError = "no Outlook session";
        return E_FAIL;
    }
    const FILETIME created = ToFileTime(creationTime);
    for (const std::string& path : attachmentFiles) AttachFile(message_.get(), path, created);

    const std::string displayName = DisplayName();
    PropertyArray v;
    v.Text(PR_MESSAGE_CLASS, formName.empty() ? kContactClass : formName);
    v.Text(PR_BODY, body);
    v.Time(PR_MESSAGE_DELIVERY_TIME, created);
    v.Time(PR_CREATION_TIME, created);
    v.Long(PR_MESSAGE_FLAGS, MSGFLAG_READ);
    v.Text(PR_GIVEN_NAME, firstName);
    v.Text(PR_MIDDLE_NAME, middleName);
    v.Text(PR_SURNAME, lastName);
    v.Text(PR_GENERATION, suffix);
    v.Text(PR_DISPLAY_NAME_PREFIX, title);
    for (ULONG tag : {PR_DISPLAY_NAME, PR_NORMALIZED_SUBJECT, PR_SUBJECT, PR_CONVERSATION_TOPIC})
        v.Text(tag, displayName);
    v.Text(Tag(PidLidFileUnder), FileAs());
    v.Long(Tag(PidLidFileUnderId), -1);
    v.Text(PR_TITLE, jobTitle);
    v.Text(PR_COMPANY_NAME, company);
    v.Text(PR_BUSINESS_TELEPHONE_NUMBER, businessPhone);
    v.Text(PR_BUSINESS_FAX_NUMBER, businessFax);

    // The one-off identifiers need the address book; without it the contact
    // is saved without them.
    IAddrBook* book = nullptr;
    const bool idsWanted = SUCCEEDED(session_.GetAddressBook(&book)) && book;
    AddEmail(v, 0, email1, displayName, idsWanted);
    AddEmail(v, 1, email2, displayName, idsWanted);
    AddEmail(v, 2, email3, displayName, idsWanted);

    v.Text(Tag(PidLidHtml), webPage);
    if (birthdayPresent) v.Time(PR_BIRTHDAY, ToFileTime(birthday));
    if (anniversaryPresent) v.Time(PR_WEDDING_ANNIVERSARY, ToFileTime(anniversary));
    v.Text(PR_MOBILE_TELEPHONE_NUMBER, mobilePhone);
    v.Text(PR_PAGER_TELEPHONE_NUMBER, pager);
    v.Text(PR_HOME_TELEPHONE_NUMBER, homePhone);
    v.Text(Tag(PidLidHomeAddress), homeAddress);
    v.Text(PR_HOME_ADDRESS_STREET, homeStreet);
    v.Text(PR_HOME_ADDRESS_CITY, homeCity);
    v.Text(PR_HOME_ADDRESS_STATE_OR_PROVINCE, homeState);
    v.Text(PR_HOME_ADDRESS_POSTAL_CODE, homePostalCode);
    v.Text(PR_HOME_ADDRESS_COUNTRY, homeCountry);
    v.Text(PR_HOME_FAX_NUMBER, homeFax);
    v.Text(Tag(PidLidWorkAddress), businessAddress);
    v.Text(Tag(PidLidWorkAddressStreet), businessStreet);
    v.Text(Tag(PidLidWorkAddressCity), businessCity);
    v.Text(Tag(PidLidWorkAddressState), businessState);
    v.Text(Tag(PidLidWorkAddressPostalCode), businessPostalCode);
    v.Text(Tag(PidLidWorkAddressCountry), businessCountry);
    v.Text(PR_SPOUSE_NAME, spouse);
    v.Text(PR_ASSISTANT, assistant);
    v.Text(PR_MANAGER_NAME, manager);
    v.Text(PR_LOCATION, location);
    v.TextIfAny(PR_OFFICE_LOCATION, location);
    v.Text(PR_DEPARTMENT_NAME, department);
    v.TextIfAny(PR_HOME2_TELEPHONE_NUMBER, personalPager);
    const NamedId userFieldIds[] = {PidLidContactUserField1, PidLidContactUserField2, PidLidContactUserField3,
                                    PidLidContactUserField4};
    for (std::size_t i = 0; i < userFields.size(); ++i) v.TextIfAny(Tag(userFieldIds[i]), userFields[i]);
    v.Bool(Tag(PidLidPrivate), isPrivate);
    v.Long(PR_SENSITIVITY, isPrivate ? 2 : 0);
    std::size_t dropped = 0;
    if (!categories.empty()) {
        v.MultiText(NamedTags().keywords, FirstValues(categories, kMaxListValues, dropped));
        if (dropped) droppedValues.push_back(fmt::format("categories: {} values", dropped));
    }
    if (!children.empty()) {
        v.MultiText(PR_CHILDRENS_NAMES, FirstValues(children, kMaxListValues, dropped));
        if (dropped) droppedValues.push_back(fmt::format("children: {} values", dropped));
    }
    v.Long(PR_PRIORITY, 0);
    v.Long(PR_IMPORTANCE, 1);
    v.Long(Tag(PidLidAddressBookProviderArrayType), 1);
    v.MultiLong(Tag(PidLidAddressBookProviderEmailList), {0});
    v.TextIfAny(PR_PROFESSION, profession);
    v.TextIfAny(PR_LANGUAGE, language);
    v.TextIfAny(NamedTags().universalId, universalId);

    if (SetPropsFailure failure; !SetAllProps(*message_, v, failure)) setPropsFailure = failure;
    if (markAsRead) message_->SetReadFlag(MAPI_DEFERRED_ERRORS);
    const HRESULT hr = message_->SaveChanges(0);
    if (FAILED(hr)) lastError = mapi::LastErrorTextWithCode(*message_, hr, "cannot save the contact");
    return hr;
}

}  // namespace qb

#pragma once
// One converted Notes person or contact and the writer that saves it as an
// Outlook contact: names with display name and file-as text, three e-mail
// addresses with their one-off entry identifiers, phones, home and business
// addresses, dates, categories, children, user fields and the private flag.
// Created empty for one document, filled, saved once and destroyed.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outlook/OutlookSession.h"
#include "outlook/PropertyArray.h"
#include "shell/platform/LocalTime.h"

namespace qb {

// Lists longer than this keep their first values only.
inline constexpr std::size_t kMaxListValues = 1000;

class ContactRecord {
public:
    ContactRecord(CMapiSession& session, mapi::MapiPtr<IMessage> message)
        : session_(session), message_(std::move(message)) {}
    ContactRecord(const ContactRecord&) = delete;
    ContactRecord& operator=(const ContactRecord&) = delete;

    // Times in UTC.
    platform::SystemTime creationTime{};
    platform::SystemTime modificationTime{};
    bool isPrivate = false;
    std::string firstName, lastName, middleName;
    std::vector<std::string> categories, children;
    std::string suffix, title, jobTitle, company, businessPhone, businessFax, mobilePhone;
    std::string email1, email2, email3, webPage;
    bool birthdayPresent = false;
    platform::SystemTime birthday{};
    bool anniversaryPresent = false;
    platform::SystemTime anniversary{};
    std::string pager, homePhone, homeAddress, homeStreet, homeCity, homeState, homePostalCode, homeCountry, homeFax;
    std::string businessAddress, businessStreet, businessCity, businessState, businessPostalCode, businessCountry;
    std::string spouse, assistant, manager, location, department, body, profession, language, personalPager;
    std::array<std::string, 4> userFields;
    bool markAsRead = false;
    std::vector<std::string> attachmentFiles;
    // The Notes document's universal id, kept so that a resumed run can tell
    // the contact was saved.
    std::string universalId;

    // After SaveContact: the failure of SetProps when it failed (the save
    // went on), the lists cut to their first kMaxListValues values ("categories:
    // 5 values"), and why the save failed.
    std::optional<SetPropsFailure> setPropsFailure;
    std::vector<std::string> droppedValues;
    std::string lastError;

    // "First Middle Last" of the names there are; the company when none.
    std::string DisplayName() const;
    // "Last, First Middle" of the names there are; else the display name;
    // else e-mail 1.
    std::string FileAs() const;

    // Writes every property and saves; the result of the store's save.
    // `formName` is the message class ("IPM.Contact" when empty).
    HRESULT SaveContact(ULONG_PTR uiHandle, const std::string& formName);

    IMessage* message() const { return message_.get(); }

private:
    void AddEmail(PropertyArray& values, int slot, const std::string& address, const std::string& displayName,
                  bool idsWanted);

    CMapiSession& session_;
    mapi::MapiPtr<IMessage> message_;
};

std::unique_ptr<ContactRecord> NewContactRecord(CMapiSession& session, const FolderHandle& folder,
                                                std::string* error = nullptr);

}  // namespace qb

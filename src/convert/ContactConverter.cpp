#include "convert/ContactConverter.h"

#include <fmt/format.h>

#include "convert/AttachmentExtractor.h"
#include "convert/EntryFields.h"
#include "convert/TimeReaders.h"
#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"
#include "shell/report/MessageSink.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb {
namespace {

constexpr int kStatusLine = 2;

std::string Text(const LNDocument& document, const char* name) { return FirstText(document, name).value_or(""); }

// "0" stands for no value in these items.
std::string TextOrZero(const LNDocument& document, const char* name) {
    std::string value = Text(document, name);
    return value == "0" ? std::string() : value;
}

// The parts joined one a line, the empty ones left out.
std::string JoinLines(const std::vector<const std::string*>& parts) {
    std::string text;
    for (const std::string* part : parts) {
        if (part->empty()) continue;
        if (!text.empty()) text += "\n";
        text += *part;
    }
    return text;
}

platform::SystemTime ToUtc(std::time_t when) { return platform::ToUtcSystemTime(when); }

// A date item's first value, when it is a plausible date (year after 1700
// and before 2300).
std::optional<LNDatetime> PlausibleDate(const LNDocument& document, const char* name) {
    ScopedNotesThrowMode returnCodes(false);
    LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
    if (!document.HasItem(name) || document.GetItemType(name, &type) != LNNOERROR ||
        (type != TYPE_TIME && type != TYPE_TIME_RANGE))
        return std::nullopt;
    LNDatetimes values;
    if (document.GetItem(name, &values) != LNNOERROR || values.GetCount() == 0) return std::nullopt;
    const LNDatetime first = values[0];
    if (first.IsNull()) return std::nullopt;
    const int year = first.GetYear();
    if (year <= 1700 || year >= 2300) return std::nullopt;
    return first;
}

}  // namespace

bool ReportItemSave(const AddressBookContext& context, const char* kind, const std::string& name, HRESULT result,
                    const std::optional<SetPropsFailure>& setPropsFailure, const std::vector<std::string>& dropped,
                    const std::string& lastError) {
    if (setPropsFailure) {
        const std::string text = fmt::format("{} ({} '{}')", setPropsFailure->Text(), kind, name);
        context.log.Write(fmt::format("....~#>ERROR {}\n", text));
        if (context.messages) context.messages->ShowMessage(text, "Error", MessageIcon::Error, MessageButtons::Ok);
    }
    for (const std::string& cut : dropped)
        context.log.Write(
            fmt::format("....~#>Warning Only the first {} values written of the {} '{}'; left out {}\n",
                        kMaxListValues, kind, name, cut));
    if (FAILED(result)) {
        context.log.Write(fmt::format("....~#>ERROR Unable to save the {} '{}': {} [1700]\n", kind, name, lastError));
        // A store that cannot write refuses every later item too: the run
        // ends with the system's reason, as for appointments and tasks.
        if (result == MAPI_E_DISK_ERROR || result == MAPI_E_NOT_ENOUGH_DISK)
            StopRun(context.run, "Unable to save a message to the Outlook store: " + lastError);
        return false;
    }
    ++context.run.exportedCount;
    return true;
}

bool ContactConverter::Convert(const FolderHandle& folder, LNNotesSession&, LNDocument& document) {
    step_ = 0;
    std::string nameText;
    try {
        return ConvertSteps(folder, document, nameText);
    } catch (const LNStatusError& e) {
        context_.log.Write(fmt::format("....~#>ERROR Contact LOTUS NOTES ERROR: {} [{}]\n",
                                       NotesErrorText(e.GetStatus()), step_));
    } catch (...) {
        context_.log.Write(fmt::format("....~#>ERROR Unexpected Contact Error [{}] Ref: {}\n", step_, nameText));
    }
    return false;
}

bool ContactConverter::ConvertSteps(const FolderHandle& folder, LNDocument& document, std::string& nameText) {
    const std::string statusText = fmt::format("Exporting Document {}", context_.run.exportedCount + 1);
    const std::string universalId(document.GetUniversalID());
    if (DocumentSavedBefore(context_.run, context_.log, universalId)) return true;
    Step(500);
    std::string createError;
    std::unique_ptr<ContactRecord> record = NewContactRecord(context_.outlook, folder, &createError);
    if (!record) {
        context_.log.Write(fmt::format("....~#>ERROR Unable to create a contact in the Outlook folder: {} [{}]\n",
                                       createError, step_));
        return false;
    }
    record->universalId = universalId;
    AttachmentExtractor extractor(context_.settings.AttachmentsRenameEXEs, record->attachmentFiles, context_.recycled);
    if (!extractor.Extract(context_.tempFolder, document))
        for (const std::string& line : extractor.messages()) context_.log.Write(line + "\n");

    FillBody(document, *record);

    Step(700);
    std::int32_t daylight = 0;
    record->creationTime = ToUtc(ReadTimeItem(document, TimeFallback::Created, "", context_.run.offsets, daylight));
    record->modificationTime =
        ToUtc(ReadTimeItem(document, TimeFallback::Modified, "", context_.run.offsets, daylight));
    Step(720);
    record->personalPager = Text(document, "PersPager");
    record->profession = Text(document, "Profession");
    record->language = Text(document, "PreferredLanguage");
    const std::string* userFieldItems[] = {
        &context_.settings.LotusNotesAddressBookUser1Field, &context_.settings.LotusNotesAddressBookUser2Field,
        &context_.settings.LotusNotesAddressBookUser3Field, &context_.settings.LotusNotesAddressBookUser4Field};
    for (std::size_t i = 0; i < record->userFields.size(); ++i) {
        Step(730 + static_cast<std::int32_t>(i) * 5);
        if (!userFieldItems[i]->empty()) record->userFields[i] = Text(document, userFieldItems[i]->c_str());
    }
    FillDates(document, *record);

    Step(1200);
    record->markAsRead = false;
    context_.progress.SetSecondaryText(kStatusLine, statusText);
    Step(1300);
    record->isPrivate = Text(document, "OrgConfidential") == "1";
    FillNames(document, *record, nameText);
    FillEmail(document, *record);
    FillAddresses(document, *record);

    record->spouse = Text(document, "Spouse");
    record->assistant = Text(document, "Assistant");
    record->manager = Text(document, "Manager");
    record->location = Text(document, "Location");
    record->department = Text(document, "Department");
    record->categories = AllTexts(document, "Categories").value_or(std::vector<std::string>{});
    record->children = AllTexts(document, "Children").value_or(std::vector<std::string>{});

    Step(1700);
    const HRESULT hr = SaveContact(*record, context_.settings.OutlookContactsFormName);
    Step(1800);
    const std::string name = record->FileAs();
    const bool saved = ReportItemSave(context_, "contact", name.empty() ? nameText : name, hr,
                                      record->setPropsFailure, record->droppedValues, record->lastError);
    extractor.RemoveFiles();
    return saved;
}

void ContactConverter::FillBody(const LNDocument& document, ContactRecord& record) {
    Step(600);
    std::string body = PlainBody(document, "Comment", context_.log);
    const std::string briefcase = PlainBody(document, "Briefcase", context_.log);
    if (!briefcase.empty()) body += (body.empty() ? "" : "\n") + briefcase;
    record.body = std::move(body);
}

void ContactConverter::FillDates(const LNDocument& document, ContactRecord& record) {
    Step(760);
    std::int32_t daylight = 0;
    if (const auto birthday = PlausibleDate(document, "Birthday")) {
        Step(795);
        record.birthday = ToUtc(ToUtcSeconds(*birthday, context_.run.offsets, daylight));
        record.birthdayPresent = true;
    }
    Step(11760);
    if (const auto anniversary = PlausibleDate(document, "Anniversary")) {
        Step(11795);
        record.anniversary = ToUtc(ToUtcSeconds(*anniversary, context_.run.offsets, daylight));
        record.anniversaryPresent = true;
    }
}

void ContactConverter::FillNames(const LNDocument& document, ContactRecord& record, std::string& nameText) {
    Step(1500);
    record.firstName = Text(document, "FirstName");
    Step(1600);
    record.middleName = Text(document, "MiddleInitial");
    Step(1601);
    record.lastName = Text(document, "LastName");
    Step(1602);
    nameText = fmt::format("{} {} {}", record.firstName, record.middleName, record.lastName);
    Step(1603);
    record.suffix = TextOrZero(document, "Suffix");
    Step(1604);
    record.title = TextOrZero(document, "Title");
    Step(1605);
    record.jobTitle = Text(document, "JobTitle");
    Step(1606);
    record.company = Text(document, "CompanyName");
    Step(1607);
    record.businessPhone = Text(document, "OfficePhoneNumber");
    Step(1608);
    record.businessFax = Text(document, "OfficeFaxPhoneNumber");
}

void ContactConverter::FillEmail(const LNDocument& document, ContactRecord& record) {
    Step(1610);
    std::string mail;
    if (const auto mailAddress = FirstText(document, "MailAddress"))
        mail = context_.translator.TranslateAddress(*mailAddress, true).address;
    Step(1620);
    // A Notes name that no translation made an Internet address cannot be
    // written to from Outlook: the person's Internet address can.
    if (mail.empty() || !IsInternetAddress(mail)) {
        if (const auto internet = FirstText(document, "InternetAddress")) {
            const std::string address = context_.translator.TranslateAddress(*internet, true).address;
            if (mail.empty() || IsInternetAddress(address)) mail = address;
        }
    }
    record.email1 = mail;
    record.email2 = Text(document, "MiscPhone1");
    record.email3 = Text(document, "MiscPhone2");
    Step(1630);
    record.webPage = Text(document, "WebSite");
    Step(1640);
    record.mobilePhone = Text(document, "CellPhoneNumber");
    Step(1645);
    record.pager = Text(document, "PhoneNumber_6");
    Step(1650);
    record.homePhone = Text(document, "PhoneNumber");
}

void ContactConverter::FillAddresses(const LNDocument& document, ContactRecord& record) {
    Step(1651);
    record.homeStreet = Text(document, "StreetAddress");
    record.homeCity = Text(document, "City");
    record.homeState = Text(document, "State");
    record.homePostalCode = Text(document, "Zip");
    record.homeCountry = Text(document, "Country");
    Step(1660);
    record.homeAddress = JoinLines(
        {&record.homeStreet, &record.homeCity, &record.homeState, &record.homePostalCode, &record.homeCountry});
    if (record.homeAddress.empty()) record.homeAddress = Text(document, "HomeAddress");
    Step(1670);
    record.homeFax = Text(document, "HomeFaxPhoneNumber");
    Step(1691);
    record.businessStreet = Text(document, "OfficeStreetAddress");
    record.businessCity = Text(document, "OfficeCity");
    record.businessState = Text(document, "OfficeState");
    record.businessPostalCode = Text(document, "OfficeZip");
    record.businessCountry = Text(document, "OfficeCountry");
    record.businessAddress = JoinLines({&record.businessStreet, &record.businessCity, &record.businessState,
                                        &record.businessPostalCode, &record.businessCountry});
    if (record.businessAddress.empty()) {
        record.businessAddress = Text(document, "BusinessAddress");
        if (context_.settings.OutlookContactsSetDefaultStreetAddress) record.businessStreet = record.businessAddress;
    }
}

}  // namespace qb

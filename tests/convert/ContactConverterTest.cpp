// Contact and group conversion of DXL address book documents into the
// in-memory store: what each document's items become in the saved record,
// what the log and the message sink say, and what is counted as exported.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "CalendarTestSupport.h"
#include "convert/ContactConverter.h"
#include "convert/GroupConverter.h"
#include "notes/NotesErrorText.h"
#include "outlook/NamedProperties.h"
#include "outlook/mapi/MapiApi.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/Paths.h"
#include "shell/report/MessageSink.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb {
namespace {

using test::TextItem;
using test::TextListItem;
using test::TimeItem;

std::string EntryDxl(int number, const char* form, const std::string& items) {
    return fmt::format(
        "<document form='{}'><noteinfo noteid='{:x}' unid='DDDDDDDD33333333852500000000{:04X}'>"
        "<created><datetime>20220501T100000,00+02</datetime></created></noteinfo>\n{}\n</document>\n",
        form, 0x400 + number * 4, number, items);
}

std::string RichItem(const std::string& name, const std::string& text) {
    return "<item name='" + name + "'><richtext><par>" + text + "</par></richtext></item>";
}

struct Messages : MessageSink {
    std::vector<std::string> shown;
    MessageResult ShowMessage(std::string_view text, std::string_view, MessageIcon, MessageButtons) override {
        shown.emplace_back(text);
        return MessageResult::Ok;
    }
};

// Keeps a copy of each contact and list it saves; can fail the save or
// report a refused SetProps instead.
class RecordingContacts : public ContactConverter {
public:
    using ContactConverter::ContactConverter;
    std::vector<std::string> email1, body, homeAddress, businessAddress, businessStreet, suffix;
    std::vector<bool> birthday;
    HRESULT result = S_OK;
    bool refuseProps = false;

protected:
    HRESULT SaveContact(ContactRecord& record, const std::string& formName) override {
        email1.push_back(record.email1);
        body.push_back(record.body);
        homeAddress.push_back(record.homeAddress);
        businessAddress.push_back(record.businessAddress);
        businessStreet.push_back(record.businessStreet);
        suffix.push_back(record.suffix);
        birthday.push_back(record.birthdayPresent);
        const HRESULT hr = ContactConverter::SaveContact(record, formName);
        if (refuseProps) record.setPropsFailure = SetPropsFailure{"refused", "Store", MAPI_E_NO_ACCESS};
        return FAILED(result) ? result : hr;
    }
};

class RecordingGroups : public GroupConverter {
public:
    using GroupConverter::GroupConverter;
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> memberNames, memberAddresses;
    std::vector<std::size_t> emptyMembers;
    std::vector<bool> isPrivate;

protected:
    HRESULT SaveDistList(DistListRecord& record) override {
        const HRESULT hr = GroupConverter::SaveDistList(record);
        names.push_back(record.listName);
        memberNames.push_back(record.memberNames);
        memberAddresses.push_back(record.memberAddresses);
        emptyMembers.push_back(record.emptyMembers);
        isPrivate.push_back(record.isPrivate);
        return hr;
    }
};

// The calendar tests' mailbox and in-memory store, with what the address
// book converters need besides.
class ContactConverterTest : public test::CalendarFixture {
protected:
    AddressBookContext Context() {
        return AddressBookContext{run, settings, log, progress, outlook, translator, tempFolder, &messages};
    }

    AddressTranslator translator;
    Messages messages;
};

TEST_F(ContactConverterTest, EmailOneIsTheInternetAddressWhenTheMailAddressIsANotesName) {
    Load(EntryDxl(1, "Person",
                  TextItem("LastName", "Smith") + TextItem("MailAddress", "CN=John Smith/OU=Sales/O=Acme@AcmeMail") +
                      TextItem("InternetAddress", "john.smith@acme.example")) +
         EntryDxl(2, "Person", TextItem("LastName", "Empty") + TextItem("MailAddress", "") +
                                   TextItem("InternetAddress", "empty@acme.example")) +
         EntryDxl(3, "Person", TextItem("LastName", "Notes") + TextItem("MailAddress", "CN=Only Notes/O=Acme")) +
         EntryDxl(4, "Person", TextItem("LastName", "Mail") + TextItem("MailAddress", "mail@acme.example") +
                                   TextItem("InternetAddress", "other@acme.example")));
    RecordingContacts contacts(Context());
    for (int i = 1; i <= 4; ++i) {
        LNDocument document = Document(i);
        EXPECT_TRUE(contacts.Convert(*folder, session, document)) << i << Log();
    }
    EXPECT_EQ(contacts.email1, (std::vector<std::string>{"john.smith@acme.example", "empty@acme.example",
                                                         "Only Notes/Acme", "mail@acme.example"}));
    EXPECT_EQ(run.exportedCount, 4);
}

TEST_F(ContactConverterTest, AddressesDatesNamesAndBody) {
    settings.OutlookContactsSetDefaultStreetAddress = true;
    Load(EntryDxl(1, "Contact",
                  TextItem("StreetAddress", "1 Main Street") + TextItem("Country", "Ireland") +
                      TextItem("HomeAddress", "ignored") + TextItem("BusinessAddress", "Business Park 3") +
                      TimeItem("Birthday", "17000101") + TextItem("Suffix", "0") + TextItem("Comment", "A") +
                      RichItem("Briefcase", "B")) +
         EntryDxl(2, "Contact", TimeItem("Birthday", "17010101") + TextItem("HomeAddress", "c/o Example")));
    RecordingContacts contacts(Context());
    for (int i = 1; i <= 2; ++i) {
        LNDocument document = Document(i);
        EXPECT_TRUE(contacts.Convert(*folder, session, document)) << Log();
    }
    EXPECT_EQ(contacts.homeAddress, (std::vector<std::string>{"1 Main Street\nIreland", "c/o Example"}));
    EXPECT_EQ(contacts.businessAddress[0], "Business Park 3");
    EXPECT_EQ(contacts.businessStreet[0], "Business Park 3");
    EXPECT_EQ(contacts.birthday, (std::vector<bool>{false, true}));
    EXPECT_EQ(contacts.suffix[0], "");
    EXPECT_EQ(contacts.body[0], "A\nB");
}

// A rich text body is several text records; the pieces of one paragraph join
// as they stand, only paragraphs start new lines.
TEST_F(ContactConverterTest, RichTextPiecesJoinWithoutLineBreaksBetweenRecords) {
    // The second body is longer than one piece of text (64 KB): it comes in
    // several pieces, which join with nothing between them.
    std::string runs, whole;
    for (int i = 0; i < 12; ++i) {
        const std::string run(9000, static_cast<char>('a' + i));
        runs += "<run><font style='bold'/>" + run + "</run>";
        whole += run;
    }
    Load(EntryDxl(1, "Contact",
                  "<item name='Briefcase'><richtext><par>Hel<run><font style='bold'/>lo</run> wor"
                  "<run><font style='italic'/>ld</run></par><par>Next</par></richtext></item>") +
         EntryDxl(2, "Contact", "<item name='Briefcase'><richtext><par>" + runs + "</par></richtext></item>"));
    RecordingContacts contacts(Context());
    for (int i = 1; i <= 2; ++i) {
        LNDocument document = Document(i);
        EXPECT_TRUE(contacts.Convert(*folder, session, document)) << Log();
    }
    ASSERT_EQ(contacts.body.size(), 2u);
    EXPECT_EQ(contacts.body[0].substr(0, 16), "Hello world\nNext") << contacts.body[0];
    std::string body = contacts.body[1];
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    ASSERT_EQ(body.size(), whole.size());
    EXPECT_EQ(std::mismatch(body.begin(), body.end(), whole.begin()).first - body.begin(),
              static_cast<std::ptrdiff_t>(whole.size()));
}

TEST_F(ContactConverterTest, FailedSaveIsNotCountedAndRefusedPropertiesAreShownWithTheName) {
    Load(EntryDxl(1, "Person", TextItem("FirstName", "Chloé") + TextItem("LastName", "Dąbrowski")));
    RecordingContacts contacts(Context());
    contacts.result = E_FAIL;
    {
        LNDocument document = Document(1);
        EXPECT_FALSE(contacts.Convert(*folder, session, document));
    }
    EXPECT_EQ(run.exportedCount, 0);
    EXPECT_NE(Log().find("~#>ERROR Unable to save the contact 'Dąbrowski, Chloé'"), std::string::npos) << Log();

    contacts.result = S_OK;
    contacts.refuseProps = true;
    {
        LNDocument document = Document(1);
        EXPECT_TRUE(contacts.Convert(*folder, session, document));
    }
    EXPECT_EQ(run.exportedCount, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("SetProps failed while in appointment save. Last Error = refused"),
              std::string::npos);
    EXPECT_NE(messages.shown[0].find("contact 'Dąbrowski, Chloé'"), std::string::npos);
    EXPECT_NE(Log().find("....~#>ERROR SetProps failed"), std::string::npos);
}

TEST_F(ContactConverterTest, GroupsBecomeListsOfTranslatedMembers) {
    Load(EntryDxl(1, "Group", TextListItem("Members", {"CN=User One/OU=Unit/O=Org", "", "b@example.com"})) +
         EntryDxl(2, "Group", TextItem("ListName", "Board") + TextItem("OrgConfidential", "1")));
    RecordingGroups groups(Context());
    for (int i = 1; i <= 2; ++i) {
        LNDocument document = Document(i);
        EXPECT_TRUE(groups.Convert(*folder, session, document)) << Log();
    }
    EXPECT_EQ(groups.names, (std::vector<std::string>{"invalid_group_name", "Board"}));
    EXPECT_EQ(groups.memberNames[0], (std::vector<std::string>{"User One", "", "b@example.com"}));
    EXPECT_EQ(groups.memberAddresses[0], (std::vector<std::string>{"User One/Unit/Org", "", "b@example.com"}));
    EXPECT_EQ(groups.emptyMembers[0], 1u);
    EXPECT_TRUE(groups.memberNames[1].empty());
    EXPECT_EQ(groups.isPrivate, (std::vector<bool>{false, true}));
    EXPECT_EQ(run.exportedCount, 2);
}

// Lists and contacts keep at most 1000 values of a list; the log names the
// item and what was left out.
TEST_F(ContactConverterTest, ValuesBeyondTheCapAreLoggedWithTheItemsName) {
    std::vector<std::string> members, categories;
    for (int i = 0; i < 1001; ++i) {
        members.push_back(fmt::format("member{}@example.com", i));
        categories.push_back(fmt::format("Category {}", i));
    }
    Load(EntryDxl(1, "Group", TextItem("ListName", "Everyone") + TextListItem("Members", members)) +
         EntryDxl(2, "Person", TextItem("LastName", "Smith") + TextListItem("Categories", categories)));
    RecordingGroups groups(Context());
    RecordingContacts contacts(Context());
    LNDocument group = Document(1);
    EXPECT_TRUE(groups.Convert(*folder, session, group)) << Log();
    LNDocument person = Document(2);
    EXPECT_TRUE(contacts.Convert(*folder, session, person)) << Log();
    EXPECT_NE(Log().find("....~#>Warning Only the first 1000 values written of the distribution list 'Everyone'; "
                         "left out members: 1 values"),
              std::string::npos)
        << Log();
    EXPECT_NE(Log().find("....~#>Warning Only the first 1000 values written of the contact 'Smith'; left out "
                         "categories: 1 values"),
              std::string::npos)
        << Log();
    EXPECT_EQ(run.exportedCount, 2);
}

// Contacts and lists carry their document's universal id, so that a run
// resumed after a crash finds the ones saved after its journal's last record
// and does not write them twice.
TEST_F(ContactConverterTest, SavedContactsAndListsAreKnownToAResumedRun) {
    Load(EntryDxl(1, "Person", TextItem("LastName", "Smith")) + EntryDxl(2, "Group", TextItem("ListName", "Board")));
    RecordingContacts contacts(Context());
    RecordingGroups groups(Context());
    auto convertBoth = [&] {
        LNDocument person = Document(1);
        EXPECT_TRUE(contacts.Convert(*folder, session, person)) << Log();
        LNDocument group = Document(2);
        EXPECT_TRUE(groups.Convert(*folder, session, group)) << Log();
    };
    convertBoth();
    const std::set<std::string> saved = RecentUniversalIds(*folder, "", 64);
    EXPECT_EQ(saved, (std::set<std::string>{"DDDDDDDD333333338525000000000001", "DDDDDDDD333333338525000000000002"}));

    run.savedBeforeInterruption = &saved;
    convertBoth();
    run.savedBeforeInterruption = nullptr;
    EXPECT_EQ(contacts.email1.size(), 1u) << "the contact is not saved again";
    EXPECT_EQ(groups.names.size(), 1u) << "the list is not saved again";
    EXPECT_EQ(RecentUniversalIds(*folder, "", 64).size(), 2u);
    EXPECT_EQ(run.exportedCount, 4) << "items found count as exported";
    const std::string line = "....The document was saved before the interruption: not written again\n";
    const std::string log = Log();
    const auto first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;
}

}  // namespace
}  // namespace qb

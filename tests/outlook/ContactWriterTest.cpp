// The contact and distribution list writers on the in-memory store, read
// back through MAPI: what Outlook shows of a contact (names, file-as, e-mail
// slots with their one-off identifiers, dates, lists) and of a list (members
// as one-off entries, the caps, empty and non-ASCII members).

#include <gtest/gtest.h>

#include "SavedMessages.h"
#include "outlook/ContactRecord.h"
#include "outlook/DistListRecord.h"
#include "outlook/ItemSupport.h"
#include "outlook/NamedProperties.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/OneOffEntryId.h"
#include "outlook/mapi/PropUtil.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using namespace qb::mapi;

ULONG Tag(NamedId name) { return NamedTags().Tag(name); }

class ContactWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::OpenMemoryMailFolder(dir.path(), configHome, outlook, folder));
        ASSERT_TRUE(InitNamedProps(outlook)) << outlook.lastError;
    }
    void TearDown() override {
        folder.reset();
        outlook.Logoff();
        outlook.Uninitialize();
        SetMsgStoreProvider(nullptr);
        configHome.reset();
    }

    MapiPtr<IMessage> OnlyMessage() { return test::OnlyMessage(folder->folder.get()); }
    static std::optional<std::string> String(IMessage* m, ULONG tag) {
        MapiBuffer<SPropValue> v;
        if (tag == PR_NULL || FAILED(HrGetOneProp(m, tag, v.Put()))) return std::nullopt;
        return std::string(v->Value.lpszA);
    }
    static std::optional<LONG> Long(IMessage* m, ULONG tag) {
        MapiBuffer<SPropValue> v;
        if (FAILED(HrGetOneProp(m, tag, v.Put()))) return std::nullopt;
        return v->Value.l;
    }
    static std::vector<std::string> Texts(IMessage* m, ULONG tag) {
        MapiBuffer<SPropValue> v;
        std::vector<std::string> out;
        if (FAILED(HrGetOneProp(m, tag, v.Put()))) return out;
        for (ULONG i = 0; i < v->Value.MVszA.cValues; ++i) out.emplace_back(v->Value.MVszA.lppszA[i]);
        return out;
    }
    static std::vector<std::vector<BYTE>> Binaries(IMessage* m, ULONG tag) {
        MapiBuffer<SPropValue> v;
        std::vector<std::vector<BYTE>> out;
        if (FAILED(HrGetOneProp(m, tag, v.Put()))) return out;
        for (ULONG i = 0; i < v->Value.MVbin.cValues; ++i) {
            const SBinary& b = v->Value.MVbin.lpbin[i];
            out.emplace_back(b.lpb, b.lpb + b.cb);
        }
        return out;
    }

    test::TempDir dir;
    std::optional<test::ScopedEnv> configHome;
    CMapiSession outlook;
    std::optional<FolderHandle> folder;
};

TEST_F(ContactWriterTest, ContactCarriesWhatOutlookShows) {
    auto record = NewContactRecord(outlook, *folder);
    ASSERT_TRUE(record);
    record->firstName = "Chloé";
    record->middleName = "M";
    record->lastName = "Dąbrowski";
    record->company = "Acme";
    record->email1 = "chloe@example.com";
    record->email2 = "second@example.com";
    record->birthdayPresent = true;
    record->birthday = {1961, 2, 0, 3, 0, 0, 0, 0};
    record->isPrivate = true;
    record->categories = {"Customers", "VIP"};
    record->children = {"Sam", "Robin"};
    record->location = "Building 2";
    record->userFields = {"one", "", "", "four"};
    record->homeStreet = "Hauptstraße 1";
    record->businessStreet = "Industrieweg 5";
    ASSERT_EQ(record->SaveContact(0, ""), S_OK) << record->lastError;
    EXPECT_FALSE(record->setPropsFailure);
    record.reset();

    auto m = OnlyMessage();
    ASSERT_TRUE(m);
    EXPECT_EQ(String(m.get(), PR_MESSAGE_CLASS), "IPM.Contact");
    EXPECT_EQ(String(m.get(), PR_DISPLAY_NAME), "Chloé M Dąbrowski");
    EXPECT_EQ(String(m.get(), PR_SUBJECT), "Chloé M Dąbrowski");
    EXPECT_EQ(String(m.get(), Tag(PidLidFileUnder)), "Dąbrowski, Chloé M");
    EXPECT_EQ(Long(m.get(), Tag(PidLidFileUnderId)), -1);
    EXPECT_EQ(String(m.get(), Tag(PidLidEmail1EmailAddress)), "chloe@example.com");
    EXPECT_EQ(String(m.get(), Tag(PidLidEmail1AddressType)), "SMTP");
    EXPECT_EQ(String(m.get(), Tag(PidLidEmail1DisplayName)), "Chloé M Dąbrowski (chloe@example.com)");
    EXPECT_EQ(String(m.get(), Tag(PidLidEmail1OriginalDisplayName)), "chloe@example.com");
    EXPECT_EQ(String(m.get(), Tag(PidLidEmail2EmailAddress)), "second@example.com");
    EXPECT_FALSE(String(m.get(), Tag(PidLidEmail3EmailAddress)));
    EXPECT_EQ(String(m.get(), Tag(PidLidWorkAddressStreet)), "Industrieweg 5");
    EXPECT_EQ(String(m.get(), PR_HOME_ADDRESS_STREET), "Hauptstraße 1");

    MapiBuffer<SPropValue> id;
    ASSERT_EQ(HrGetOneProp(m.get(), PROP_TAG(PT_BINARY, PROP_ID(Tag(PidLidEmail1OriginalEntryId))), id.Put()), S_OK);
    const auto oneOff = ParseOneOffEntryId(id->Value.bin.lpb, id->Value.bin.cb);
    ASSERT_TRUE(oneOff);
    EXPECT_TRUE(oneOff->unicode);  // the name is not plain ASCII
    EXPECT_EQ(oneOff->displayName, "Chloé M Dąbrowski");
    EXPECT_EQ(oneOff->address, "chloe@example.com");

    MapiBuffer<SPropValue> birthday;
    ASSERT_EQ(HrGetOneProp(m.get(), PR_BIRTHDAY, birthday.Put()), S_OK);
    EXPECT_EQ(birthday->Value.ft.dwHighDateTime, ToFileTime({1961, 2, 0, 3, 0, 0, 0, 0}).dwHighDateTime);
    MapiBuffer<SPropValue> anniversary;
    EXPECT_NE(HrGetOneProp(m.get(), PR_WEDDING_ANNIVERSARY, anniversary.Put()), S_OK);

    EXPECT_EQ(Long(m.get(), PR_SENSITIVITY), 2);
    EXPECT_EQ(Long(m.get(), Tag(PidLidPrivate)), 1);
    EXPECT_EQ(Texts(m.get(), NamedTags().keywords), (std::vector<std::string>{"Customers", "VIP"}));
    EXPECT_EQ(Texts(m.get(), PR_CHILDRENS_NAMES), (std::vector<std::string>{"Sam", "Robin"}));
    EXPECT_EQ(String(m.get(), PR_OFFICE_LOCATION), "Building 2");
    EXPECT_EQ(String(m.get(), Tag(PidLidContactUserField1)), "one");
    EXPECT_FALSE(String(m.get(), Tag(PidLidContactUserField2)));
    EXPECT_EQ(String(m.get(), Tag(PidLidContactUserField4)), "four");
    EXPECT_FALSE(String(m.get(), PR_PROFESSION));
    EXPECT_EQ(Long(m.get(), Tag(PidLidAddressBookProviderArrayType)), 1);
}

TEST_F(ContactWriterTest, NamesFileAsAndDisplayNameFallBack) {
    auto contact = [&](std::string first, std::string middle, std::string last, std::string company,
                       std::string email) {
        ContactRecord record(outlook, {});
        record.firstName = std::move(first);
        record.middleName = std::move(middle);
        record.lastName = std::move(last);
        record.company = std::move(company);
        record.email1 = std::move(email);
        return std::make_pair(record.DisplayName(), record.FileAs());
    };
    EXPECT_EQ(contact("First", "M", "Last", "", ""), std::make_pair(std::string("First M Last"), std::string("Last, First M")));
    EXPECT_EQ(contact("First", "", "Last", "", ""), std::make_pair(std::string("First Last"), std::string("Last, First")));
    EXPECT_EQ(contact("", "", "Last", "Co", ""), std::make_pair(std::string("Last"), std::string("Last")));
    EXPECT_EQ(contact("First", "", "", "", ""), std::make_pair(std::string("First"), std::string("First")));
    EXPECT_EQ(contact("", "", "", "Only Company", ""),
              std::make_pair(std::string("Only Company"), std::string("Only Company")));
    EXPECT_EQ(contact("", "", "", "", "a@b.example"), std::make_pair(std::string(), std::string("a@b.example")));
}

TEST_F(ContactWriterTest, AsciiOneOffEntriesAreByteForByteTheSingleByteForm) {
    // Name of 8 characters, address of 16: 24 + 9 + 5 + 17 bytes.
    const std::vector<BYTE> id = SmtpOneOffEntryId("Jane Doe", "jane@example.com", true);
    ASSERT_EQ(id.size(), 55u);
    EXPECT_EQ(id[22], 0x01);
    EXPECT_EQ(id[23], 0x00);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.data() + 24)), "Jane Doe");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.data() + 33)), "SMTP");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(id.data() + 38)), "jane@example.com");

    const std::vector<BYTE> wide = SmtpOneOffEntryId("Chloé", "chloe@example.com", true);
    const auto parsed = ParseOneOffEntryId(wide.data(), wide.size());
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->unicode);
    EXPECT_TRUE(parsed->noRichInfo);
    EXPECT_EQ(parsed->displayName, "Chloé");
}

TEST_F(ContactWriterTest, ListMembersAreCappedAndEmptyOnesLeftOut) {
    auto record = NewDistListRecord(outlook, *folder);
    ASSERT_TRUE(record);
    record->listName = "Everybody";
    record->memberNames = {"", "Chloé Dąbrowski"};
    record->memberAddresses = {"", "chloe@example.com"};
    for (int i = 0; i < 1500; ++i) {
        record->memberNames.push_back("Member " + std::to_string(i));
        record->memberAddresses.push_back("m" + std::to_string(i) + "@example.com");
    }
    record->categories = {"Internal"};
    ASSERT_EQ(record->SaveDistList(), S_OK) << record->lastError;
    EXPECT_EQ(record->emptyMembers, 1u);
    EXPECT_EQ(record->droppedValues, (std::vector<std::string>{"members: 501 values"}));
    record.reset();

    auto m = OnlyMessage();
    ASSERT_TRUE(m);
    EXPECT_EQ(String(m.get(), PR_MESSAGE_CLASS), "IPM.DistList");
    EXPECT_EQ(String(m.get(), PR_DISPLAY_NAME), "Everybody");
    EXPECT_EQ(String(m.get(), Tag(PidLidFileUnder)), "Everybody");
    const auto members = Binaries(m.get(), Tag(PidLidDistributionListMembers));
    ASSERT_EQ(members.size(), 1000u);
    EXPECT_EQ(Binaries(m.get(), Tag(PidLidDistributionListOneOffMembers)), members);
    const auto first = ParseOneOffEntryId(members[0].data(), members[0].size());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->displayName, "Chloé Dąbrowski");
    EXPECT_EQ(first->address, "chloe@example.com");
    const auto last = ParseOneOffEntryId(members[999].data(), members[999].size());
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->unicode);
    EXPECT_EQ(last->displayName, "Member 998");
    EXPECT_EQ(Texts(m.get(), NamedTags().keywords), (std::vector<std::string>{"Internal"}));
}

TEST_F(ContactWriterTest, ListWithoutMembersHasNoMemberProperties) {
    auto record = NewDistListRecord(outlook, *folder);
    ASSERT_TRUE(record);
    record->listName = "Empty group";
    record->memberNames = {""};
    record->memberAddresses = {""};
    record->isPrivate = true;
    ASSERT_EQ(record->SaveDistList(), S_OK);
    record.reset();
    auto m = OnlyMessage();
    ASSERT_TRUE(m);
    EXPECT_TRUE(Binaries(m.get(), Tag(PidLidDistributionListMembers)).empty());
    EXPECT_TRUE(Binaries(m.get(), Tag(PidLidDistributionListOneOffMembers)).empty());
    EXPECT_EQ(Long(m.get(), PR_SENSITIVITY), 2);
}

TEST_F(ContactWriterTest, CategoriesAndChildrenCapsAreReported) {
    auto record = NewContactRecord(outlook, *folder);
    ASSERT_TRUE(record);
    record->lastName = "Many";
    for (int i = 0; i < 1003; ++i) record->categories.push_back("c" + std::to_string(i));
    for (int i = 0; i < 1001; ++i) record->children.push_back("k" + std::to_string(i));
    ASSERT_EQ(record->SaveContact(0, "IPM.Contact.Custom"), S_OK);
    EXPECT_EQ(record->droppedValues, (std::vector<std::string>{"categories: 3 values", "children: 1 values"}));
    record.reset();
    auto m = OnlyMessage();
    ASSERT_TRUE(m);
    EXPECT_EQ(String(m.get(), PR_MESSAGE_CLASS), "IPM.Contact.Custom");
    EXPECT_EQ(Texts(m.get(), NamedTags().keywords).size(), 1000u);
    EXPECT_EQ(Texts(m.get(), PR_CHILDRENS_NAMES).size(), 1000u);
}

// A message whose SetProps fails; everything else succeeds.
class RefusingMessage final : public ComObject<IMessage> {
public:
    bool saved = false;
    HRESULT GetLastError(HRESULT hr, ULONG, LPMAPIERROR* e) override {
        return MakeMapiError("the store is read-only", "Refusing store", static_cast<ULONG>(hr), e);
    }
    HRESULT SaveChanges(ULONG) override {
        saved = true;
        return S_OK;
    }
    HRESULT GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return MAPI_E_NO_ACCESS; }
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT ModifyRecipients(ULONG, LPADRLIST) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetReadFlag(ULONG) override { return S_OK; }
};

TEST_F(ContactWriterTest, FailedSetPropsIsReportedAndTheSaveGoesOn) {
    MapiPtr<RefusingMessage> message(new RefusingMessage());
    ContactRecord contact(outlook, MapiPtr<IMessage>::Retain(message.get()));
    contact.lastName = "Locked";
    EXPECT_EQ(contact.SaveContact(0, ""), S_OK);
    EXPECT_TRUE(message->saved);
    ASSERT_TRUE(contact.setPropsFailure);
    EXPECT_EQ(contact.setPropsFailure->Text(),
              "SetProps failed while in appointment save. Last Error = the store is read-only, "
              "Component=Refusing store hr=" + std::to_string(static_cast<long>(MAPI_E_NO_ACCESS)));

    DistListRecord list(outlook, MapiPtr<IMessage>::Retain(message.get()));
    list.listName = "Locked list";
    EXPECT_EQ(list.SaveDistList(), S_OK);
    EXPECT_TRUE(list.setPropsFailure);
}

TEST_F(ContactWriterTest, WithoutSessionNothingIsWritten) {
    CMapiSession offline;
    ContactRecord contact(offline, {});
    EXPECT_EQ(contact.SaveContact(0, ""), E_FAIL);
    DistListRecord list(offline, {});
    EXPECT_EQ(list.SaveDistList(), E_FAIL);
}

}  // namespace
}  // namespace qb

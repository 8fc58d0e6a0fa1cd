// Programs written only against MAPI, run on real personal folders files
// (Unicode "MSUPST MS" and ANSI "MSPST MS"): log on, open the store and its
// special folders, create nested folders, write messages with recipients,
// sender, named properties, attachments and a compressed RTF body; then the
// file is checked by our strict checker and by the independent readers
// (readpst from pst-utils, pffexport from pff-tools).

#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "mapi/PstProfileFixture.h"
#include "outlook/mapi/OneOffEntryId.h"
#include "outlook/mapi/PstStoreProvider.h"
#include "outlook/pst/PstStore.h"
#include "support/OutsideTools.h"
#include "support/RunProgram.h"

using namespace qb::mapi;
using qb::test::MapiId;
using qb::test::MapiText;

namespace {

struct Person {
    std::string name, address;
    ULONG type = MAPI_TO;
};

struct ExpectedMessage {
    std::string folder, subject, senderName, senderAddress, body;
    std::vector<Person> recipients;
    std::vector<std::pair<std::string, std::size_t>> attachments;
    std::string rtf;  // empty: none
};

std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string ExpectationJson(const std::string& displayName, const std::vector<std::pair<std::string, int>>& folders,
                            const std::vector<ExpectedMessage>& messages) {
    std::string json = "{\"displayName\": " + JsonText(displayName) + ", \"folders\": {";
    for (std::size_t i = 0; i < folders.size(); ++i)
        json += (i ? ", " : "") + JsonText(folders[i].first) + ": " + std::to_string(folders[i].second);
    json += "}, \"messages\": [";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const ExpectedMessage& m = messages[i];
        json += std::string(i ? ", " : "") + "{\"folder\": " + JsonText(m.folder) + ", \"subject\": " + JsonText(m.subject) +
                ", \"senderName\": " + JsonText(m.senderName) + ", \"senderAddress\": " + JsonText(m.senderAddress) +
                ", \"body\": " + JsonText(m.body) + ", \"recipients\": [";
        for (std::size_t r = 0; r < m.recipients.size(); ++r)
            json += (r ? ", " : "") + std::string("[") + JsonText(m.recipients[r].name) + ", " +
                    JsonText(m.recipients[r].address) + ", " + std::to_string(m.recipients[r].type) + "]";
        json += "], \"attachments\": [";
        for (std::size_t a = 0; a < m.attachments.size(); ++a)
            json += (a ? ", " : "") + std::string("[") + JsonText(m.attachments[a].first) + ", " +
                    std::to_string(m.attachments[a].second) + "]";
        json += "]";
        if (!m.rtf.empty()) json += ", \"rtf\": " + JsonText(m.rtf);
        json += "}";
    }
    return json + "]}";
}

class PstStoreSessionTest : public ::testing::TestWithParam<const char*>, public qb::test::PstProfileFixture {
protected:
    void SetUp() override { SetUpProfile(GetParam(), "Mailbox"); }
    void TearDown() override { TearDownProfile(); }
    bool Ansi() const { return std::string(GetParam()) == "MSPST MS"; }

    // The special folders as the program finds them: the store's entry
    // identifier properties and the receive folder of "IPM.Note".
    std::vector<MapiPtr<IMAPIFolder>> OpenSpecialFolders() {
        SizedSPropTagArray(5, tags) = {5, {PR_NULL, PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID,
                                           PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID}};
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        EXPECT_TRUE(SUCCEEDED(store_->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put())));
        ULONG inboxSize = 0;
        MapiBuffer<ENTRYID> inbox;
        EXPECT_EQ(store_->GetReceiveFolder(MapiText("IPM.Note"), 0, &inboxSize, inbox.Put(), nullptr), S_OK);
        values.get()[0].ulPropTag = PR_ENTRYID;
        values.get()[0].Value.bin = {inboxSize, reinterpret_cast<LPBYTE>(inbox.get())};
        std::vector<MapiPtr<IMAPIFolder>> folders;
        for (ULONG i = 0; i < count; ++i) {
            EXPECT_EQ(PROP_TYPE(values.get()[i].ulPropTag), PT_BINARY) << i;
            ULONG type = 0;
            MapiPtr<IUnknown> object;
            EXPECT_EQ(session_->OpenEntry(values.get()[i].Value.bin.cb, MapiId(values.get()[i].Value.bin), nullptr,
                                          MAPI_MODIFY, &type, object.Put()),
                      S_OK);
            EXPECT_EQ(type, MAPI_FOLDER);
            folders.emplace_back(static_cast<IMAPIFolder*>(object.Detach()));
        }
        return folders;
    }

    static std::string DisplayName(IMAPIProp* object) {
        LPSPropValue value = nullptr;
        if (FAILED(HrGetOneProp(object, PR_DISPLAY_NAME, &value))) return "";
        MapiBuffer<SPropValue> holder(value);
        return value->Value.lpszA;
    }

    static MapiPtr<IMAPIFolder> OpenOrCreate(IMAPIFolder& parent, const char* name, int& collisions) {
        MapiPtr<IMAPIFolder> folder;
        const HRESULT hr = parent.CreateFolder(FOLDER_GENERIC, MapiText(name), nullptr, nullptr, 0, folder.Put());
        if (hr != MAPI_E_COLLISION) return folder;
        ++collisions;
        MapiPtr<IMAPITable> table;
        if (FAILED(parent.GetHierarchyTable(0, table.Put()))) return {};
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_RIGHTS}};
        SPropValue value{};
        value.ulPropTag = PR_DISPLAY_NAME;
        value.Value.lpszA = MapiText(name);
        SRestriction r{};
        r.rt = RES_PROPERTY;
        r.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &value};
        RowSetHolder rows;
        if (FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &r, nullptr, 0, rows.Put())) ||
            rows->cRows != 1)
            return {};
        EXPECT_EQ(rows->aRow[0].lpProps[1].ulPropTag, PR_RIGHTS);
        ULONG type = 0;
        MapiPtr<IUnknown> object;
        if (FAILED(parent.OpenEntry(rows->aRow[0].lpProps[0].Value.bin.cb, MapiId(rows->aRow[0].lpProps[0].Value.bin),
                                    nullptr, MAPI_MODIFY, &type, object.Put())))
            return {};
        return MapiPtr<IMAPIFolder>(static_cast<IMAPIFolder*>(object.Detach()));
    }

    void AddRecipients(IMessage& message, const std::vector<Person>& people) {
        MapiPtr<IAddrBook> book;
        ASSERT_EQ(session_->OpenAddressBook(0, nullptr, 0, book.Put()), S_OK);
        MapiBuffer<ADRLIST> list;
        ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(people.size())), list.PutVoid()), S_OK);
        list->cEntries = 0;
        for (std::size_t i = 0; i < people.size(); ++i) {
            ADRENTRY& entry = list->aEntries[i];
            ASSERT_EQ(MAPIAllocateMore(5 * sizeof(SPropValue), list.get(), reinterpret_cast<LPVOID*>(&entry.rgPropVals)),
                      S_OK);
            entry.cValues = 5;
            ULONG size = 0;
            LPENTRYID oneOff = nullptr;
            ASSERT_EQ(book->CreateOneOff(MapiText(people[i].name.c_str()), MapiText("SMTP"),
                                         MapiText(people[i].address.c_str()), 0, &size, &oneOff),
                      S_OK);
            LPVOID copy = nullptr;
            ASSERT_EQ(MAPIAllocateMore(size, list.get(), &copy), S_OK);
            std::memcpy(copy, oneOff, size);
            MAPIFreeBuffer(oneOff);
            entry.rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
            entry.rgPropVals[0].Value.lpszA = MapiText(people[i].name.c_str());
            entry.rgPropVals[1].ulPropTag = PR_RECIPIENT_TYPE;
            entry.rgPropVals[1].Value.l = static_cast<LONG>(people[i].type);
            entry.rgPropVals[2].ulPropTag = PR_EMAIL_ADDRESS;
            entry.rgPropVals[2].Value.lpszA = MapiText(people[i].address.c_str());
            entry.rgPropVals[3].ulPropTag = PR_ADDRTYPE;
            entry.rgPropVals[3].Value.lpszA = MapiText("SMTP");
            entry.rgPropVals[4].ulPropTag = PR_ENTRYID;
            entry.rgPropVals[4].Value.bin = {size, static_cast<LPBYTE>(copy)};
            list->cEntries = static_cast<ULONG>(i + 1);
        }
        ASSERT_EQ(message.ModifyRecipients(MODRECIP_ADD, list.get()), S_OK);
    }

    // AttachFile as the message writer does it: a file stream copied into
    // PR_ATTACH_DATA_BIN, then method, file name and rendering position.
    static void AttachFile(IMessage& message, const std::string& path, const char* fileName) {
        MapiPtr<IStream> file;
        ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, MapiText(path.c_str()), nullptr,
                                   file.Put()),
                  S_OK);
        MapiPtr<IAttach> attach;
        ULONG number = 0;
        ASSERT_EQ(message.CreateAttach(nullptr, 0, &number, attach.Put()), S_OK);
        MapiPtr<IStream> data;
        ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                       data.PutUnknown()),
                  S_OK);
        STATSTG stat{};
        ASSERT_EQ(file->Stat(&stat, STATFLAG_NONAME), S_OK);
        ASSERT_EQ(file->CopyTo(data.get(), stat.cbSize, nullptr, nullptr), S_OK);
        STATSTG written{};
        ASSERT_EQ(data->Stat(&written, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(written.cbSize.QuadPart, stat.cbSize.QuadPart);
        SPropValue props[5]{};
        props[0].ulPropTag = PR_ATTACH_METHOD;
        props[0].Value.l = ATTACH_BY_VALUE;
        props[1].ulPropTag = PR_ATTACH_FILENAME;
        props[1].Value.lpszA = MapiText(fileName);
        props[2].ulPropTag = PR_RENDERING_POSITION;
        props[2].Value.l = -1;
        props[3].ulPropTag = PR_NULL;
        props[4].ulPropTag = PR_NULL;
        ASSERT_EQ(attach->SetProps(5, props, nullptr), S_OK);
        ASSERT_EQ(attach->SaveChanges(0), S_OK);
    }

    void WriteRtfBody(IMessage& message, const std::string& rtf) {
        const std::string path = dir_.Write("body.rtf", rtf);
        LPSPropValue mask = nullptr;
        ASSERT_EQ(HrGetOneProp(&message, PR_STORE_SUPPORT_MASK, &mask), S_OK);
        EXPECT_TRUE(mask->Value.l & STORE_RTF_OK);
        EXPECT_EQ((mask->Value.l & STORE_UNICODE_OK) != 0, !Ansi());
        MAPIFreeBuffer(mask);
        MapiPtr<IStream> compressed, uncompressed, file;
        ASSERT_EQ(message.OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                       compressed.PutUnknown()),
                  S_OK);
        ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), MAPI_MODIFY, uncompressed.Put()), S_OK);
        ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, MapiText(path.c_str()), nullptr,
                                   file.Put()),
                  S_OK);
        ULARGE_INTEGER all{};
        all.QuadPart = ~0ULL;
        ASSERT_EQ(file->CopyTo(uncompressed.get(), all, nullptr, nullptr), S_OK);
        ASSERT_EQ(uncompressed->Commit(STGC_OVERWRITE), S_OK);
    }

    // The properties of a received message (state 2 of the message writer).
    static void SetMailProps(IMessage& message, const ExpectedMessage& m, ULONG keywordsTag, const char* keyword) {
        LPSTR words[1] = {MapiText(keyword)};
        SPropValue props[10]{};
        props[0].ulPropTag = PR_SUBJECT;
        props[0].Value.lpszA = MapiText(m.subject.c_str());
        props[1].ulPropTag = PR_BODY;
        props[1].Value.lpszA = MapiText(m.body.c_str());
        props[2].ulPropTag = PR_MESSAGE_CLASS;
        props[2].Value.lpszA = MapiText("IPM.Note");
        props[3].ulPropTag = PR_SENDER_NAME;
        props[3].Value.lpszA = MapiText(m.senderName.c_str());
        props[4].ulPropTag = PR_SENDER_EMAIL_ADDRESS;
        props[4].Value.lpszA = MapiText(m.senderAddress.c_str());
        props[5].ulPropTag = PR_SENDER_ADDRTYPE;
        props[5].Value.lpszA = MapiText("SMTP");
        props[6].ulPropTag = PR_SENT_REPRESENTING_NAME;
        props[6].Value.lpszA = MapiText(m.senderName.c_str());
        props[7].ulPropTag = PR_SENT_REPRESENTING_EMAIL_ADDRESS;
        props[7].Value.lpszA = MapiText(m.senderAddress.c_str());
        props[8].ulPropTag = PR_MESSAGE_FLAGS;
        props[8].Value.l = MSGFLAG_READ | MSGFLAG_UNMODIFIED;
        props[9].ulPropTag = keywordsTag;
        props[9].Value.MVszA = {1, words};
        ASSERT_EQ(message.SetProps(10, props, nullptr), S_OK);
    }

    static ULONG RowCount(IMAPIFolder& folder) {
        MapiPtr<IMAPITable> contents;
        EXPECT_EQ(folder.GetContentsTable(0, contents.Put()), S_OK);
        ULONG count = 0;
        EXPECT_EQ(contents->GetRowCount(0, &count), S_OK);
        return count;
    }
};

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

}  // namespace

TEST_P(PstStoreSessionTest, WritesAFileTheReadersAgreeOn) {
    OpenDefaultStore();
    ASSERT_TRUE(store_);
    std::vector<MapiPtr<IMAPIFolder>> special = OpenSpecialFolders();
    ASSERT_EQ(special.size(), 5u);
    EXPECT_EQ(DisplayName(special[0].get()), "Inbox");
    EXPECT_EQ(DisplayName(special[1].get()), "Outbox");
    EXPECT_EQ(DisplayName(special[2].get()), "Deleted Items");
    EXPECT_EQ(DisplayName(special[3].get()), "Sent Items");
    IMAPIFolder& top = *special[4];

    // Nested folders; the second walk opens them through the collision path.
    MapiPtr<IMAPIFolder> may;
    for (int pass = 0; pass < 2; ++pass) {
        int collisions = 0;
        MapiPtr<IMAPIFolder> current = MapiPtr<IMAPIFolder>::Retain(&top);
        for (const char* name : {"Archive", "2009", "May"}) {
            current = OpenOrCreate(*current, name, collisions);
            ASSERT_TRUE(current) << name;
        }
        EXPECT_EQ(collisions, pass == 0 ? 0 : 3);
        may = current;
    }
    MapiPtr<IMAPIFolder> again;
    EXPECT_EQ(top.CreateFolder(FOLDER_GENERIC, MapiText("ARCHIVE"), nullptr, nullptr, 0, again.Put()), MAPI_E_COLLISION);
    MapiBuffer<MAPIERROR> error;
    ASSERT_EQ(top.GetLastError(MAPI_E_COLLISION, 0, error.Put()), S_OK);
    EXPECT_NE(std::string(error->lpszError).find("ARCHIVE"), std::string::npos);
    SPropValue containerClass{};
    containerClass.ulPropTag = PR_CONTAINER_CLASS;
    containerClass.Value.lpszA = MapiText("IPF.Note");
    ASSERT_EQ(may->SetProps(1, &containerClass, nullptr), S_OK);
    ASSERT_EQ(may->SaveChanges(0), S_OK);

    // Named properties, created in the store's map.
    GUID publicStrings = PS_PUBLIC_STRINGS, common = PSETID_Common;
    std::wstring keywords = L"Keywords";
    MAPINAMEID byName{&publicStrings, MNID_STRING, {}};
    byName.Kind.lpwstrName = keywords.data();
    MAPINAMEID byId{&common, MNID_ID, {}};
    byId.Kind.lID = 0x8506;
    LPMAPINAMEID names[2] = {&byName, &byId};
    MapiBuffer<SPropTagArray> ids;
    ASSERT_EQ(top.GetIDsFromNames(2, names, MAPI_CREATE, ids.Put()), S_OK);
    const ULONG keywordsTag = CHANGE_PROP_TYPE(ids->aulPropTag[0], PT_MV_STRING8);
    EXPECT_GE(PROP_ID(keywordsTag), 0x8000u);
    EXPECT_NE(PROP_ID(ids->aulPropTag[1]), PROP_ID(keywordsTag));
    MapiBuffer<SPropTagArray> sameIds;
    ASSERT_EQ(may->GetIDsFromNames(2, names, 0, sameIds.Put()), S_OK);
    EXPECT_EQ(sameIds->aulPropTag[0], ids->aulPropTag[0]);

    const std::string big = RandomBytes(300 * 1024 + 17);
    const std::string kRtf = "{\\rtf1\\ansi Quarterly \\b numbers\\b0\\par}";
    const std::vector<ExpectedMessage> expected = {
        {"Archive\\2009\\May", "Quarterly report", "Carl Sender", "carl@example.org", "The numbers are attached.\n",
         {{"Ann Smith", "ann@example.org", MAPI_TO}, {"Bob Jones", "bob@example.org", MAPI_CC}},
         {{"report.txt", 17}, {"data.bin", big.size()}},
         kRtf},
        {"Inbox", "Grüße aus Köln", "Jürgen Müller", "juergen@example.org", "Schöne Grüße, naïve café.\n",
         {{"Ann Smith", "ann@example.org", MAPI_TO}}, {}, ""},
    };

    // Message 1: recipients, two attachments (one spanning many blocks), RTF body.
    {
        MapiPtr<IMessage> message;
        ASSERT_EQ(may->CreateMessage(nullptr, 0, message.Put()), S_OK);
        AddRecipients(*message, expected[0].recipients);
        AttachFile(*message, dir_.Write("report.txt", "quarterly numbers"), "report.txt");
        AttachFile(*message, dir_.Write("data.bin", big), "data.bin");
        {
            // Released without SaveChanges: no part of the message.
            MapiPtr<IAttach> dropped;
            ASSERT_EQ(message->CreateAttach(nullptr, 0, nullptr, dropped.Put()), S_OK);
        }
        WriteRtfBody(*message, kRtf);
        SetMailProps(*message, expected[0], keywordsTag, "Projects");
        ASSERT_EQ(message->SaveChanges(0), S_OK);
    }
    // Message 2 in the Inbox, non-ASCII texts.
    {
        MapiPtr<IMessage> message;
        ASSERT_EQ(special[0]->CreateMessage(nullptr, 0, message.Put()), S_OK);
        AddRecipients(*message, expected[1].recipients);
        SetMailProps(*message, expected[1], keywordsTag, "Köln");
        ASSERT_EQ(message->SaveChanges(0), S_OK);
    }
    // An unsaved message leaves nothing.
    {
        MapiPtr<IMessage> discarded;
        ASSERT_EQ(may->CreateMessage(nullptr, 0, discarded.Put()), S_OK);
        AddRecipients(*discarded, expected[1].recipients);
        AttachFile(*discarded, dir_.File("data.bin"), "data.bin");
    }
    EXPECT_EQ(RowCount(*may), 1u);
    EXPECT_EQ(RowCount(*special[0]), 1u);

    // Read message 1 back through its entry identifier.
    MapiPtr<IMAPITable> contents;
    ASSERT_EQ(may->GetContentsTable(0, contents.Put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_SUBJECT}};
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()),
              S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    EXPECT_STREQ(rows->aRow[0].lpProps[1].Value.lpszA, "Quarterly report");
    ULONG type = 0;
    MapiPtr<IUnknown> object;
    ASSERT_EQ(session_->OpenEntry(rows->aRow[0].lpProps[0].Value.bin.cb, MapiId(rows->aRow[0].lpProps[0].Value.bin),
                                  nullptr, 0, &type, object.Put()),
              S_OK);
    ASSERT_EQ(type, MAPI_MESSAGE);
    MapiPtr<IMessage> saved(static_cast<IMessage*>(object.Detach()));
    SizedSPropTagArray(4, tags) = {4, {PR_SUBJECT, keywordsTag, PR_HASATTACH, PR_DISPLAY_TO}};
    ULONG n = 0;
    MapiBuffer<SPropValue> values;
    ASSERT_EQ(saved->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &n, values.Put()), S_OK);
    EXPECT_STREQ(values.get()[0].Value.lpszA, "Quarterly report");
    ASSERT_EQ(values.get()[1].Value.MVszA.cValues, 1u);
    EXPECT_STREQ(values.get()[1].Value.MVszA.lppszA[0], "Projects");
    EXPECT_TRUE(values.get()[2].Value.b);
    EXPECT_STREQ(values.get()[3].Value.lpszA, "Ann Smith");
    MapiPtr<IMAPITable> recipients;
    ASSERT_EQ(saved->GetRecipientTable(0, recipients.Put()), S_OK);
    SizedSPropTagArray(2, recipientColumns) = {2, {PR_RECIPIENT_TYPE, PR_ENTRYID}};
    RowSetHolder recipientRows;
    ASSERT_EQ(HrQueryAllRows(recipients.get(), reinterpret_cast<LPSPropTagArray>(&recipientColumns), nullptr, nullptr, 0,
                             recipientRows.Put()),
              S_OK);
    ASSERT_EQ(recipientRows->cRows, 2u);
    EXPECT_EQ(recipientRows->aRow[1].lpProps[0].Value.l, static_cast<LONG>(MAPI_CC));
    const auto bob = ParseOneOffEntryId(recipientRows->aRow[1].lpProps[1].Value.bin.lpb,
                                        recipientRows->aRow[1].lpProps[1].Value.bin.cb);
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->address, "bob@example.org");
    MapiPtr<IAttach> attach;
    ASSERT_EQ(saved->OpenAttach(1, nullptr, 0, attach.Put()), S_OK);
    LPSPropValue bytes = nullptr;
    ASSERT_EQ(HrGetOneProp(attach.get(), PR_ATTACH_DATA_BIN, &bytes), S_OK);
    MapiBuffer<SPropValue> bytesHolder(bytes);
    ASSERT_EQ(bytes->Value.bin.cb, big.size());
    EXPECT_EQ(std::memcmp(bytes->Value.bin.lpb, big.data(), big.size()), 0);
    MapiPtr<IStream> storedRtf, readBack;
    ASSERT_EQ(saved->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, storedRtf.PutUnknown()), S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(storedRtf.get(), 0, readBack.Put()), S_OK);
    std::vector<BYTE> plain;
    ASSERT_EQ(ReadWholeStream(*readBack, plain), S_OK);
    EXPECT_EQ(std::string(plain.begin(), plain.end()), kRtf);
    EXPECT_EQ(saved->SetProps(1, &containerClass, nullptr), MAPI_E_NO_ACCESS);

    // Everything released and logged off: the file stands on its own.
    saved.Reset();
    attach.Reset();
    storedRtf.Reset();
    readBack.Reset();
    contents.Reset();
    recipients.Reset();
    may.Reset();
    special.clear();
    TearDownProfile();

    const auto check = qb::test::RunCli("pst-check " + qb::test::ShellQuote(pstPath()));
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string expectation = dir_.Write(
        "expected.json",
        ExpectationJson("Mailbox",
                        {{"Inbox", 1}, {"Outbox", 0}, {"Sent Items", 0}, {"Deleted Items", 0}, {"Archive", 0},
                         {"Archive\\2009", 0}, {"Archive\\2009\\May", 1}},
                        expected));
    const auto readers = qb::test::RunCommand("python3 " + qb::test::ShellQuote(QUILLBOX_SOURCE_DIR "/tests/mapi/pst_readers_check.py") +
                                              " " + qb::test::ShellQuote(pstPath()) + " " + qb::test::ShellQuote(expectation));
    EXPECT_EQ(readers.status, 0) << readers.output;
}

TEST_P(PstStoreSessionTest, ReopensTheFileInANewSession) {
    OpenDefaultStore();
    {
        std::vector<MapiPtr<IMAPIFolder>> special = OpenSpecialFolders();
        ASSERT_EQ(special.size(), 5u);
        MapiPtr<IMAPIFolder> folder;
        ASSERT_EQ(special[4]->CreateFolder(FOLDER_GENERIC, MapiText("Kept"), nullptr, nullptr, 0, folder.Put()), S_OK);
        MapiPtr<IMessage> message;
        ASSERT_EQ(folder->CreateMessage(nullptr, 0, message.Put()), S_OK);
        SPropValue subject{};
        subject.ulPropTag = PR_SUBJECT;
        subject.Value.lpszA = MapiText("Still here");
        ASSERT_EQ(message->SetProps(1, &subject, nullptr), S_OK);
        ASSERT_EQ(message->SaveChanges(0), S_OK);
        // Committed when SaveChanges returns: the file holds it while the
        // store is still open (read from a copy: the open store locks the file).
        const std::string copy = pstPath() + ".copy";
        std::filesystem::copy_file(pstPath(), copy, std::filesystem::copy_options::overwrite_existing);
        auto reader = qb::pst::PstStore::Open(copy, false);
        const auto kept = reader->FindSubfolder(reader->IpmSubtree(), "Kept");
        ASSERT_NE(kept, 0u);
        EXPECT_EQ(reader->Messages(kept).size(), 1u);
    }
    store_.Reset();
    session_->Logoff(0, 0, 0);
    session_.Reset();
    ASSERT_EQ(MAPILogonEx(0, MapiText("Export"), nullptr, 0x13 | MAPI_EXTENDED, session_.Put()), S_OK);
    OpenDefaultStore();
    std::vector<MapiPtr<IMAPIFolder>> special = OpenSpecialFolders();
    ASSERT_EQ(special.size(), 5u);
    int collisions = 0;
    MapiPtr<IMAPIFolder> kept = OpenOrCreate(*special[4], "kept", collisions);
    ASSERT_TRUE(kept);
    EXPECT_EQ(collisions, 1);
    EXPECT_EQ(RowCount(*kept), 1u);
    // Opening an entry identifier that names nothing fails cleanly.
    std::vector<BYTE> bogus(24, 0);
    ULONG type = 0;
    MapiPtr<IUnknown> object;
    EXPECT_TRUE(FAILED(store_->OpenEntry(24, reinterpret_cast<LPENTRYID>(bogus.data()), nullptr, 0, &type, object.Put())));
}

TEST_P(PstStoreSessionTest, SavedMessagesAreReadOnlyAndSayWhy) {
    OpenDefaultStore();
    std::vector<MapiPtr<IMAPIFolder>> special = OpenSpecialFolders();
    ASSERT_EQ(special.size(), 5u);
    // A wide folder name, as MAPI_UNICODE callers pass it.
    std::wstring wide = L"Köln Archiv";
    MapiPtr<IMAPIFolder> folder;
    ASSERT_EQ(special[4]->CreateFolder(FOLDER_GENERIC, reinterpret_cast<LPTSTR>(wide.data()), nullptr, nullptr,
                                       MAPI_UNICODE, folder.Put()),
              S_OK);
    EXPECT_EQ(DisplayName(folder.get()), "Köln Archiv");
    MapiPtr<IMessage> message;
    ASSERT_EQ(folder->CreateMessage(nullptr, 0, message.Put()), S_OK);
    SPropValue subject{};
    subject.ulPropTag = PR_SUBJECT;
    subject.Value.lpszA = MapiText("Once");
    ASSERT_EQ(message->SetProps(1, &subject, nullptr), S_OK);
    SPropValue entryId{};
    entryId.ulPropTag = PR_ENTRYID;
    entryId.Value.bin = {0, nullptr};
    EXPECT_EQ(message->SetProps(1, &entryId, nullptr), MAPI_E_COMPUTED);
    // An attachment still open but unsaved when its message is saved is dropped
    // and can do nothing afterwards.
    MapiPtr<IAttach> late;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, nullptr, late.Put()), S_OK);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    MapiPtr<IStream> lateData;
    EXPECT_EQ(late->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, lateData.PutUnknown()),
              MAPI_E_NO_ACCESS);
    EXPECT_EQ(late->SaveChanges(0), MAPI_E_NO_ACCESS);
    ULONG lateCount = 0;
    MapiBuffer<SPropValue> lateProps;
    EXPECT_TRUE(SUCCEEDED(late->GetProps(nullptr, 0, &lateCount, lateProps.Put())));
    late.Reset();
    LPSPropValue hasAttach = nullptr;
    ASSERT_EQ(HrGetOneProp(message.get(), PR_HASATTACH, &hasAttach), S_OK);
    EXPECT_FALSE(hasAttach->Value.b);
    MAPIFreeBuffer(hasAttach);
    EXPECT_EQ(message->SaveChanges(0), S_OK);  // nothing changed
    EXPECT_EQ(message->SetProps(1, &subject, nullptr), MAPI_E_NO_ACCESS);
    MapiBuffer<MAPIERROR> error;
    ASSERT_EQ(message->GetLastError(MAPI_E_NO_ACCESS, 0, error.Put()), S_OK);
    EXPECT_NE(std::string(error->lpszError).find("read-only"), std::string::npos) << error->lpszError;
    MapiPtr<IAttach> attach;
    EXPECT_EQ(message->CreateAttach(nullptr, 0, nullptr, attach.Put()), MAPI_E_NO_ACCESS);
    EXPECT_EQ(RowCount(*folder), 1u);
}

// The store adds on save what the mail client's store adds (search keys,
// modification time, code page, icon, importance and the rest), never over
// a value the writer set; libpff reads them from the file.
TEST_P(PstStoreSessionTest, SaveAddsWhatTheStoreComputesAndKeepsWhatTheWriterSet) {
    QB_REQUIRE_TOOL("pypff");
    OpenDefaultStore();
    std::vector<MapiPtr<IMAPIFolder>> special = OpenSpecialFolders();
    ASSERT_EQ(special.size(), 5u);
    auto save = [&](std::vector<SPropValue> props) {
        MapiPtr<IMessage> message;
        ASSERT_EQ(special[0]->CreateMessage(nullptr, 0, message.Put()), S_OK);
        ASSERT_EQ(message->SetProps(static_cast<ULONG>(props.size()), props.data(), nullptr), S_OK);
        ASSERT_EQ(message->SaveChanges(0), S_OK);
    };
    auto text = [](ULONG tag, const char* value) {
        SPropValue v{};
        v.ulPropTag = tag;
        v.Value.lpszA = MapiText(value);
        return v;
    };
    auto number = [](ULONG tag, LONG value) {
        SPropValue v{};
        v.ulPropTag = tag;
        v.Value.l = value;
        return v;
    };
    save({text(PR_SUBJECT, "RE: Budget"), text(PR_BODY, "Plain text"), text(PR_SENDER_NAME, "Ann"),
          text(PR_SENDER_EMAIL_ADDRESS, "ann@example.com"), text(PR_SENDER_ADDRTYPE, "SMTP"),
          text(PR_SENT_REPRESENTING_EMAIL_ADDRESS, "ann@example.com"), number(PR_MESSAGE_FLAGS, MSGFLAG_READ)});
    SPropValue ownKey{};
    ownKey.ulPropTag = PR_SEARCH_KEY;
    BYTE key[4] = {1, 2, 3, 4};
    ownKey.Value.bin = {4, key};
    save({text(PR_SUBJECT, "Draft"), text(PR_BODY, "Tick \xE2\x9C\x93"), number(PR_MESSAGE_FLAGS, MSGFLAG_UNSENT),
          number(PR_IMPORTANCE, 2), text(PR_CONVERSATION_TOPIC, "Own topic"), ownKey});
    special.clear();
    TearDownProfile();

    const auto dump = qb::test::RunCommand("/usr/bin/python3 " +
                                           qb::test::ShellQuote(QUILLBOX_SOURCE_DIR "/tests/mapi/message_props_dump.py") +
                                           " " + qb::test::ShellQuote(pstPath()));
    ASSERT_EQ(dump.status, 0) << dump.output;
    const std::string& out = dump.output;
    auto line = [&](const std::string& subject) {
        const std::size_t at = out.find("\"subject\": \"" + subject + "\"");
        return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
    };
    const std::string reply = line("RE: Budget"), draft = line("Draft");
    ASSERT_FALSE(reply.empty()) << out;
    ASSERT_FALSE(draft.empty()) << out;
    // "SMTP:ANN@EXAMPLE.COM" and its zero, as hex.
    const std::string senderKey = "534d54503a414e4e404558414d504c452e434f4d00";
    for (const char* expected : {"\"0017\": 1", "\"0026\": 0", "\"0036\": 0", "\"0064\": \"SMTP\"", "\"1080\": 256",
                                 "\"0070\": \"Budget\"", "\"0E1D\": \"Budget\"", "\"3FFD\": 1252", "\"3FDE\": 1252"})
        EXPECT_NE(reply.find(expected), std::string::npos) << expected << " in " << reply;
    EXPECT_NE(reply.find("\"0C1D\": \"" + senderKey + "\""), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"003B\": \"" + senderKey + "\""), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"300B\": \""), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"3008\": "), std::string::npos) << reply;
    // The writer's own values stay; a draft gets the unsent icon; a body
    // beyond Windows-1252 is UTF-8 in a Unicode store.
    for (const char* expected : {"\"0017\": 2", "\"0070\": \"Own topic\"", "\"300B\": \"01020304\"", "\"1080\": 259"})
        EXPECT_NE(draft.find(expected), std::string::npos) << expected << " in " << draft;
    EXPECT_NE(draft.find(Ansi() ? "\"3FFD\": 1252" : "\"3FFD\": 65001"), std::string::npos) << draft;
}

struct WriteBehindForced {
    explicit WriteBehindForced(bool on) { SetCommitWriteBehindEnabled(on); }
    ~WriteBehindForced() { SetCommitWriteBehindEnabled(std::nullopt); }
};

// Batched commits: a caller that opts in decides when saved messages become
// committed and durable and learns how many are; by default each save commits.
// A commit's header is synced by the next commit or by SaveChanges(FORCE_SAVE).
TEST_P(PstStoreSessionTest, CommitsFollowTheBatchTheCallerSets) {
    const WriteBehindForced exactCounts(false);  // the counts of commits made in the call
    OpenDefaultStore();
    std::vector<MapiPtr<IMAPIFolder>> special = OpenSpecialFolders();
    ASSERT_EQ(special.size(), 5u);
    using Counts = std::tuple<LONG, LONG, LONG>;  // saved, committed, durable
    auto counts = [&]() {
        SizedSPropTagArray(3, tags) = {3, {PR_QB_SAVED_MESSAGES, PR_QB_COMMITTED_MESSAGES, PR_QB_DURABLE_MESSAGES}};
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        EXPECT_EQ(store_->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put()), S_OK);
        return Counts(values.get()[0].Value.l, values.get()[1].Value.l, values.get()[2].Value.l);
    };
    auto saveOne = [&]() {
        MapiPtr<IMessage> message;
        ASSERT_EQ(special[0]->CreateMessage(nullptr, 0, message.Put()), S_OK);
        ASSERT_EQ(message->SaveChanges(0), S_OK);
    };
    saveOne();
    EXPECT_EQ(counts(), Counts(1, 1, 0)) << "committed, its header not yet synced";
    SPropValue batch{};
    batch.ulPropTag = PR_QB_COMMIT_BATCH_MESSAGES;
    batch.Value.l = 3;
    ASSERT_EQ(store_->SetProps(1, &batch, nullptr), S_OK);
    saveOne();
    saveOne();
    EXPECT_EQ(counts(), Counts(3, 1, 0));
    saveOne();  // the third of the batch commits it, and its sync makes the commit before durable
    EXPECT_EQ(counts(), Counts(4, 4, 1));
    saveOne();
    EXPECT_EQ(counts(), Counts(5, 4, 1));
    ASSERT_EQ(store_->SaveChanges(0), S_OK);  // an explicit commit
    EXPECT_EQ(counts(), Counts(5, 5, 4));
    ASSERT_EQ(store_->SaveChanges(KEEP_OPEN_READWRITE | FORCE_SAVE), S_OK);  // made durable
    EXPECT_EQ(counts(), Counts(5, 5, 5));
    saveOne();
    ASSERT_EQ(store_->SaveChanges(FORCE_SAVE), S_OK);  // a commit and its sync at once
    EXPECT_EQ(counts(), Counts(6, 6, 6));
    for (ULONG tag : {PR_QB_COMMITTED_MESSAGES, PR_QB_DURABLE_MESSAGES}) {
        SPropValue computed{};
        computed.ulPropTag = tag;
        computed.Value.l = 0;
        EXPECT_EQ(store_->SetProps(1, &computed, nullptr), MAPI_E_COMPUTED);
    }
    EXPECT_EQ(RowCount(*special[0]), 6u);
}

// A batch written behind: the counts follow the second thread and never run
// ahead of it; FORCE_SAVE waits for it and leaves everything durable.
TEST_P(PstStoreSessionTest, BatchedCommitsWrittenBehindCatchUpOnForceSave) {
    const WriteBehindForced behind(true);
    OpenDefaultStore();
    MapiPtr<IMAPIFolder> inbox = std::move(OpenSpecialFolders()[0]);
    SPropValue batch{};
    batch.ulPropTag = PR_QB_COMMIT_BATCH_MESSAGES;
    batch.Value.l = 2;
    ASSERT_EQ(store_->SetProps(1, &batch, nullptr), S_OK);
    SizedSPropTagArray(3, tags) = {3, {PR_QB_SAVED_MESSAGES, PR_QB_COMMITTED_MESSAGES, PR_QB_DURABLE_MESSAGES}};
    auto counts = [&](LONG* saved, LONG* committed, LONG* durable) {
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        ASSERT_EQ(store_->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put()), S_OK);
        *saved = values.get()[0].Value.l;
        *committed = values.get()[1].Value.l;
        *durable = values.get()[2].Value.l;
    };
    LONG saved = 0, committed = 0, durable = 0;
    for (int i = 1; i <= 7; ++i) {
        MapiPtr<IMessage> message;
        ASSERT_EQ(inbox->CreateMessage(nullptr, 0, message.Put()), S_OK);
        ASSERT_EQ(message->SaveChanges(0), S_OK);
        counts(&saved, &committed, &durable);
        EXPECT_EQ(saved, i);
        EXPECT_LE(durable, committed);
        EXPECT_LE(committed, saved);
    }
    ASSERT_EQ(store_->SaveChanges(FORCE_SAVE), S_OK);
    counts(&saved, &committed, &durable);
    EXPECT_EQ(committed, 7);
    EXPECT_EQ(durable, 7);
    EXPECT_EQ(RowCount(*inbox), 7u);
}

INSTANTIATE_TEST_SUITE_P(Formats, PstStoreSessionTest, ::testing::Values("MSUPST MS", "MSPST MS"),
                         [](const auto& info) { return std::string(info.param) == "MSPST MS" ? "Ansi" : "Unicode"; });

// quillbox-cli registers the binding: add-pst creates real files, attaches
// existing ones and refuses what is not a personal folders file of the format.
TEST(PstProfilesCli, AddPstCreatesAndAttachesFiles) {
    qb::test::TempDir dir;
    const std::string env = "XDG_CONFIG_HOME=" + qb::test::ShellQuote(dir.path()) + " ";
    const std::string cli = qb::test::ShellQuote(qb::test::BinaryDir() + "/quillbox-cli");
    auto profiles = [&](const std::string& args) { return qb::test::RunCommand(env + cli + " profiles " + args + " 2>&1"); };
    const std::string unicode = dir.File("mail.pst"), ansi = dir.File("old.pst");
    ASSERT_EQ(profiles("add Work").status, 0);
    auto run = profiles("add-pst Work " + qb::test::ShellQuote(unicode) + " --display 'Work Mail'");
    ASSERT_EQ(run.status, 0) << run.output;
    run = profiles("add-pst Work " + qb::test::ShellQuote(ansi) + " --ansi --display 'Work Mail'");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string expected = dir.Write(
        "expected.json", "{\"displayName\": \"Work Mail\", \"messages\": [], \"folders\": {\"Inbox\": 0, "
                         "\"Outbox\": 0, \"Sent Items\": 0, \"Deleted Items\": 0}}");
    for (const std::string& file : {unicode, ansi}) {
        const auto check = qb::test::RunCli("pst-check " + qb::test::ShellQuote(file));
        EXPECT_EQ(check.status, 0) << check.output;
        const auto readers = qb::test::RunCommand("python3 " +
                                                  qb::test::ShellQuote(QUILLBOX_SOURCE_DIR "/tests/mapi/pst_readers_check.py") +
                                                  " " + qb::test::ShellQuote(file) + " " + qb::test::ShellQuote(expected));
        EXPECT_EQ(readers.status, 0) << readers.output;
    }
    const auto info = qb::test::RunCommand("pffinfo " + qb::test::ShellQuote(ansi) + " 2>&1");
    EXPECT_NE(info.output.find("32-bit"), std::string::npos) << info.output;

    // Attaching an existing file of the other format, or a file that is no store.
    ASSERT_EQ(profiles("add Other").status, 0);
    run = profiles("add-pst Other " + qb::test::ShellQuote(unicode) + " --ansi");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Unicode"), std::string::npos) << run.output;
    run = profiles("add-pst Other " + qb::test::ShellQuote(dir.Write("notes.txt", "not a store")));
    EXPECT_EQ(run.status, 1) << run.output;
    run = profiles("add-pst Other " + qb::test::ShellQuote(unicode));
    EXPECT_EQ(run.status, 0) << run.output;
}

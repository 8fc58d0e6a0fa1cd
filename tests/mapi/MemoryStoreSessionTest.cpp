// A program written only against the MAPI interface, the way the Outlook
// writers use it, run on the in-memory store: log on, create a personal
// folders service, open the store and its special folders, create nested
// folders (the second time through the collision path), and write a message
// with recipients, a named property, an attachment and a compressed RTF body.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "outlook/mapi/Lzfu.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "outlook/mapi/OneOffEntryId.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

using namespace qb::mapi;

namespace {

char* Text(const char* s) { return const_cast<char*>(s); }
LPENTRYID Id(const SBinary& bin) { return reinterpret_cast<LPENTRYID>(bin.lpb); }

class MemoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        configHome_.emplace("XDG_CONFIG_HOME", dir_.path());
        SetMsgStoreProvider(std::make_shared<MemoryStoreProvider>());
        MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
        ASSERT_EQ(MAPIInitialize(&init), S_OK);
        MapiPtr<IProfAdmin> admin;
        ASSERT_EQ(MAPIAdminProfiles(0, admin.Put()), S_OK);
        ASSERT_EQ(admin->CreateProfile(Text("Export"), nullptr, 0, 0), S_OK);
        MapiPtr<IMsgServiceAdmin> services;
        ASSERT_EQ(admin->AdminServices(Text("Export"), nullptr, 0, 0, services.Put()), S_OK);
        ASSERT_EQ(services->CreateMsgService(Text("MSUPST MS"), nullptr, 0, 0), S_OK);
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(services->GetMsgServiceTable(0, table.Put()), S_OK);
        RowSetHolder rows;
        ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
        const LPSPropValue uid = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SERVICE_UID);
        const std::string path = dir_.File("export.pst");
        SPropValue values[2]{};
        values[0].ulPropTag = PR_DISPLAY_NAME;
        values[0].Value.lpszA = Text("Mailbox");
        values[1].ulPropTag = PR_PST_PATH;
        values[1].Value.lpszA = const_cast<char*>(path.c_str());
        ASSERT_EQ(services->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), 0, 0, 2, values), S_OK);
        ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x43 | MAPI_EXTENDED, session_.Put()), S_OK);
    }
    void TearDown() override {
        store_.Reset();
        if (session_) session_->Logoff(0, 0, 0);
        session_.Reset();
        MAPIUninitialize();
        SetMsgStoreProvider(nullptr);
        configHome_.reset();
    }

    void OpenDefaultStore() {
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(session_->GetMsgStoresTable(0, table.Put()), S_OK);
        SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DEFAULT_STORE, PR_DISPLAY_NAME}};
        RowSetHolder rows;
        ASSERT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                 rows.Put()),
                  S_OK);
        ASSERT_EQ(rows->cRows, 1u);
        ASSERT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PR_ENTRYID);
        EXPECT_TRUE(rows->aRow[0].lpProps[1].Value.b);
        const SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
        ASSERT_EQ(session_->OpenMsgStore(0, id.cb, Id(id), nullptr, MDB_NO_MAIL | MDB_WRITE, store_.Put()), S_OK);
    }

    // The top of the store and the special folders, as the session finds them.
    MapiPtr<IMAPIFolder> OpenIpmSubtree(std::vector<ULONG>& types) {
        SizedSPropTagArray(5, tags) = {5, {PR_NULL, PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID,
                                           PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID}};
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        EXPECT_TRUE(SUCCEEDED(store_->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put())));
        ULONG inboxSize = 0;
        MapiBuffer<ENTRYID> inbox;
        EXPECT_EQ(store_->GetReceiveFolder(Text("IPM.Note"), 0, &inboxSize, inbox.Put(), nullptr), S_OK);
        values.get()[0].ulPropTag = PR_ENTRYID;
        values.get()[0].Value.bin = {inboxSize, reinterpret_cast<LPBYTE>(inbox.get())};
        MapiPtr<IMAPIFolder> top;
        for (ULONG i = 0; i < count; ++i) {
            ULONG type = 0;
            MapiPtr<IUnknown> object;
            EXPECT_EQ(session_->OpenEntry(values.get()[i].Value.bin.cb, Id(values.get()[i].Value.bin), nullptr,
                                          MAPI_MODIFY, &type, object.Put()),
                      S_OK);
            types.push_back(type);
            if (i == 4) top = MapiPtr<IMAPIFolder>(static_cast<IMAPIFolder*>(object.Detach()));
        }
        return top;
    }

    static MapiPtr<IMAPIFolder> OpenFolder(IMAPIFolder& parent, const char* name) {
        MapiPtr<IMAPITable> table;
        if (FAILED(parent.GetHierarchyTable(0, table.Put()))) return {};
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_RIGHTS}};
        SPropValue value{};
        value.ulPropTag = PR_DISPLAY_NAME;
        value.Value.lpszA = Text(name);
        SRestriction r{};
        r.rt = RES_PROPERTY;
        r.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &value};
        RowSetHolder rows;
        if (FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &r, nullptr, 0,
                                  rows.Put())) ||
            rows->cRows != 1)
            return {};
        ULONG type = 0;
        MapiPtr<IUnknown> folder;
        if (FAILED(parent.OpenEntry(rows->aRow[0].lpProps[0].Value.bin.cb, Id(rows->aRow[0].lpProps[0].Value.bin),
                                    nullptr, MAPI_MODIFY, &type, folder.Put())))
            return {};
        return MapiPtr<IMAPIFolder>(static_cast<IMAPIFolder*>(folder.Detach()));
    }

    static MapiPtr<IMAPIFolder> OpenOrCreateFolder(IMAPIFolder& parent, const char* name, int& collisions) {
        MapiPtr<IMAPIFolder> folder;
        const HRESULT hr = parent.CreateFolder(FOLDER_GENERIC, Text(name), nullptr, nullptr, 0, folder.Put());
        if (hr == MAPI_E_COLLISION) {
            ++collisions;
            return OpenFolder(parent, name);
        }
        return folder;
    }

    qb::test::TempDir dir_;
    std::optional<qb::test::ScopedEnv> configHome_;
    MapiPtr<IMAPISession> session_;
    MapiPtr<IMsgStore> store_;
};

}  // namespace

TEST_F(MemoryStoreTest, SpecialFoldersAndNestedFoldersThroughTheCollisionPath) {
    OpenDefaultStore();
    std::vector<ULONG> types;
    MapiPtr<IMAPIFolder> top = OpenIpmSubtree(types);
    ASSERT_TRUE(top);
    EXPECT_EQ(types, std::vector<ULONG>(5, MAPI_FOLDER));
    for (int pass = 0; pass < 2; ++pass) {
        int collisions = 0;
        MapiPtr<IMAPIFolder> current = top;
        for (const char* name : {"Archive", "2009", "May"}) {
            current = OpenOrCreateFolder(*current, name, collisions);
            ASSERT_TRUE(current) << name;
        }
        EXPECT_EQ(collisions, pass == 0 ? 0 : 3);
        SPropValue containerClass{};
        containerClass.ulPropTag = PR_CONTAINER_CLASS;
        containerClass.Value.lpszA = Text("IPF.Appointment");
        ASSERT_EQ(current->SetProps(1, &containerClass, nullptr), S_OK);
        ASSERT_EQ(current->SaveChanges(0), S_OK);
    }
    // Names compare without regard to case.
    MapiPtr<IMAPIFolder> again;
    EXPECT_EQ(top->CreateFolder(FOLDER_GENERIC, Text("ARCHIVE"), nullptr, nullptr, 0, again.Put()), MAPI_E_COLLISION);
}

TEST_F(MemoryStoreTest, MessageWithRecipientsNamedPropertyAttachmentAndRtfBody) {
    OpenDefaultStore();
    std::vector<ULONG> types;
    MapiPtr<IMAPIFolder> top = OpenIpmSubtree(types);
    ASSERT_TRUE(top);
    MapiPtr<IAddrBook> book;
    ASSERT_EQ(session_->OpenAddressBook(0, nullptr, 0, book.Put()), S_OK);

    // Named property "Keywords", resolved once.
    GUID publicStrings = PS_PUBLIC_STRINGS;
    std::wstring keywords = L"Keywords";
    MAPINAMEID name{&publicStrings, MNID_STRING, {}};
    name.Kind.lpwstrName = keywords.data();
    LPMAPINAMEID names[1] = {&name};
    MapiBuffer<SPropTagArray> ids;
    ASSERT_EQ(top->GetIDsFromNames(1, names, MAPI_CREATE, ids.Put()), S_OK);
    const ULONG keywordsTag = CHANGE_PROP_TYPE(ids->aulPropTag[0], PT_MV_STRING8);
    EXPECT_GE(PROP_ID(keywordsTag), 0x8000u);

    MapiPtr<IMessage> message;
    ASSERT_EQ(top->CreateMessage(nullptr, 0, message.Put()), S_OK);

    // Two recipients, each row a child buffer of the list.
    MapiBuffer<ADRLIST> list;
    ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(2)), list.PutVoid()), S_OK);
    list->cEntries = 0;
    const char* people[2][2] = {{"Ann Smith", "ann@example.org"}, {"Bob", "bob@example.org"}};
    std::vector<MapiBuffer<ENTRYID>> oneOffs;
    for (int i = 0; i < 2; ++i) {
        ADRENTRY& entry = list->aEntries[i];
        ASSERT_EQ(MAPIAllocateMore(5 * sizeof(SPropValue), list.get(), reinterpret_cast<LPVOID*>(&entry.rgPropVals)),
                  S_OK);
        entry.cValues = 5;
        ULONG size = 0;
        oneOffs.emplace_back();
        ASSERT_EQ(book->CreateOneOff(Text(people[i][0]), Text("SMTP"), Text(people[i][1]), 0, &size,
                                     oneOffs.back().Put()),
                  S_OK);
        entry.rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
        entry.rgPropVals[0].Value.lpszA = Text(people[i][0]);
        entry.rgPropVals[1].ulPropTag = PR_RECIPIENT_TYPE;
        entry.rgPropVals[1].Value.l = i == 0 ? MAPI_TO : MAPI_CC;
        entry.rgPropVals[2].ulPropTag = PR_EMAIL_ADDRESS;
        entry.rgPropVals[2].Value.lpszA = Text(people[i][1]);
        entry.rgPropVals[3].ulPropTag = PR_ADDRTYPE;
        entry.rgPropVals[3].Value.lpszA = Text("SMTP");
        entry.rgPropVals[4].ulPropTag = PR_ENTRYID;
        entry.rgPropVals[4].Value.bin = {size, reinterpret_cast<LPBYTE>(oneOffs.back().get())};
        list->cEntries = static_cast<ULONG>(i + 1);
    }
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list.get()), S_OK);

    // An attachment by value from a file.
    const std::string attachmentPath = dir_.Write("report.txt", "quarterly numbers");
    MapiPtr<IStream> file;
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, Text(attachmentPath.c_str()), nullptr,
                               file.Put()),
              S_OK);
    MapiPtr<IAttach> attach;
    ULONG attachNumber = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &attachNumber, attach.Put()), S_OK);
    MapiPtr<IStream> data;
    ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, data.PutUnknown()),
              S_OK);
    STATSTG stat{};
    ASSERT_EQ(file->Stat(&stat, STATFLAG_NONAME), S_OK);
    ASSERT_EQ(file->CopyTo(data.get(), stat.cbSize, nullptr, nullptr), S_OK);
    SPropValue attachProps[3]{};
    attachProps[0].ulPropTag = PR_ATTACH_METHOD;
    attachProps[0].Value.l = ATTACH_BY_VALUE;
    attachProps[1].ulPropTag = PR_ATTACH_FILENAME;
    attachProps[1].Value.lpszA = Text("report.txt");
    attachProps[2].ulPropTag = PR_NULL;
    ASSERT_EQ(attach->SetProps(3, attachProps, nullptr), S_OK);
    ASSERT_EQ(attach->SaveChanges(0), S_OK);

    // The RTF body through the wrapped stream.
    const std::string rtf = "{\\rtf1\\ansi Quarterly \\b numbers\\b0\\par}";
    const std::string rtfPath = dir_.Write("body.rtf", rtf);
    LPSPropValue mask = nullptr;
    ASSERT_EQ(HrGetOneProp(message.get(), PR_STORE_SUPPORT_MASK, &mask), S_OK);
    EXPECT_TRUE(mask->Value.l & STORE_RTF_OK);
    MAPIFreeBuffer(mask);
    MapiPtr<IStream> compressed, uncompressed, rtfFile;
    ASSERT_EQ(message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                    compressed.PutUnknown()),
              S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), MAPI_MODIFY, uncompressed.Put()), S_OK);
    ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_READ, Text(rtfPath.c_str()), nullptr,
                               rtfFile.Put()),
              S_OK);
    ULARGE_INTEGER all{};
    all.QuadPart = ~0ULL;
    ASSERT_EQ(rtfFile->CopyTo(uncompressed.get(), all, nullptr, nullptr), S_OK);
    ASSERT_EQ(uncompressed->Commit(STGC_OVERWRITE), S_OK);

    // Properties, with unused slots left as PR_NULL.
    LPSTR words[1] = {Text("Projects")};
    SPropValue props[4]{};
    props[0].ulPropTag = PR_SUBJECT;
    props[0].Value.lpszA = Text("Quarterly report");
    props[1].ulPropTag = PR_MESSAGE_CLASS;
    props[1].Value.lpszA = Text("IPM.Note");
    props[2].ulPropTag = PR_NULL;
    props[3].ulPropTag = keywordsTag;
    props[3].Value.MVszA = {1, words};
    ASSERT_EQ(message->SetProps(4, props, nullptr), S_OK);
    ASSERT_EQ(message->SetReadFlag(MAPI_DEFERRED_ERRORS), S_OK);
    ASSERT_EQ(message->SaveChanges(0), S_OK);
    LPSPropValue entryId = nullptr;
    ASSERT_EQ(HrGetOneProp(message.get(), PR_ENTRYID, &entryId), S_OK);
    MapiBuffer<SPropValue> entryIdHolder(entryId);
    message.Reset();

    // An unsaved message leaves nothing behind.
    MapiPtr<IMessage> discarded;
    ASSERT_EQ(top->CreateMessage(nullptr, 0, discarded.Put()), S_OK);
    discarded.Reset();
    MapiPtr<IMAPITable> contents;
    ASSERT_EQ(top->GetContentsTable(0, contents.Put()), S_OK);
    ULONG count = 0;
    ASSERT_EQ(contents->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 1u);

    // Read everything back through the session.
    ULONG type = 0;
    MapiPtr<IUnknown> object;
    ASSERT_EQ(session_->OpenEntry(entryId->Value.bin.cb, Id(entryId->Value.bin), nullptr, 0, &type, object.Put()), S_OK);
    ASSERT_EQ(type, MAPI_MESSAGE);
    MapiPtr<IMessage> saved(static_cast<IMessage*>(object.Detach()));
    SizedSPropTagArray(4, tags) = {4, {PR_SUBJECT, PR_MESSAGE_FLAGS, keywordsTag, PR_HASATTACH}};
    ULONG n = 0;
    MapiBuffer<SPropValue> values;
    ASSERT_EQ(saved->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &n, values.Put()), S_OK);
    EXPECT_STREQ(values.get()[0].Value.lpszA, "Quarterly report");
    EXPECT_EQ(values.get()[1].Value.l & MSGFLAG_READ, static_cast<LONG>(MSGFLAG_READ));
    ASSERT_EQ(values.get()[2].Value.MVszA.cValues, 1u);
    EXPECT_STREQ(values.get()[2].Value.MVszA.lppszA[0], "Projects");
    EXPECT_TRUE(values.get()[3].Value.b);

    MapiPtr<IMAPITable> recipients;
    ASSERT_EQ(saved->GetRecipientTable(0, recipients.Put()), S_OK);
    SizedSPropTagArray(2, recipientColumns) = {2, {PR_RECIPIENT_TYPE, PR_ENTRYID}};
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(recipients.get(), reinterpret_cast<LPSPropTagArray>(&recipientColumns), nullptr, nullptr,
                             0, rows.Put()),
              S_OK);
    ASSERT_EQ(rows->cRows, 2u);
    EXPECT_EQ(rows->aRow[1].lpProps[0].Value.l, static_cast<LONG>(MAPI_CC));
    const auto bob = ParseOneOffEntryId(rows->aRow[1].lpProps[1].Value.bin.lpb, rows->aRow[1].lpProps[1].Value.bin.cb);
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->address, "bob@example.org");

    MapiPtr<IAttach> savedAttach;
    ASSERT_EQ(saved->OpenAttach(attachNumber, nullptr, 0, savedAttach.Put()), S_OK);
    LPSPropValue bytes = nullptr;
    ASSERT_EQ(HrGetOneProp(savedAttach.get(), PR_ATTACH_DATA_BIN, &bytes), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes->Value.bin.lpb), bytes->Value.bin.cb), "quarterly numbers");
    MAPIFreeBuffer(bytes);

    MapiPtr<IStream> storedRtf, readBack;
    ASSERT_EQ(saved->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, storedRtf.PutUnknown()), S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(storedRtf.get(), 0, readBack.Put()), S_OK);
    std::vector<BYTE> plain;
    ASSERT_EQ(ReadWholeStream(*readBack, plain), S_OK);
    EXPECT_EQ(std::string(plain.begin(), plain.end()), rtf);
}

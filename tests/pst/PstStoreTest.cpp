// The messaging layer: new stores, folders, messages of every property type,
// recipients, attachments, named properties, tables kept equal to messages,
// and what happens when the disk is full or an ANSI file reaches its limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "outlook/pst/sample/SampleWriter.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

namespace qb::pst {
namespace {

void ExpectClean(const std::string& path) {
    CheckReport report = CheckPstFile(path);
    for (const auto& e : report.errors) ADD_FAILURE() << e;
    // What the checker only warns about in files of other writers must not happen in ours.
    for (const auto& w : report.warnings) {
        EXPECT_EQ(w.find("reference count"), std::string::npos) << w;
        EXPECT_EQ(w.find("gives its size"), std::string::npos) << w;
    }
}

std::vector<std::string> Names(const PstStore& store, Nid folder) {
    std::vector<std::string> names;
    for (Nid child : store.Subfolders(folder)) names.push_back(store.Folder(child).name);
    return names;
}

class StoreTest : public ::testing::TestWithParam<PstFormat> {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.File("store.pst");
};

TEST_P(StoreTest, NewStoreHasTheClientsSkeleton) {
    PstStore::Create(path_, GetParam(), "Mailbox")->Close();
    ExpectClean(path_);
    auto store = PstStore::Open(path_, false);
    EXPECT_EQ(store->format(), GetParam());
    Properties props = store->StoreProperties();
    EXPECT_EQ(props.at(0x3001).AsString(), "Mailbox");
    EXPECT_EQ(props.at(0x0FF9).data.size(), 16u);
    EXPECT_EQ(Names(*store, store->RootFolder()),
              (std::vector<std::string>{"Top of Personal Folders", "Search Root", "IPM_COMMON_VIEWS"}));
    Nid top = store->IpmSubtree();
    EXPECT_EQ(store->Folder(top).name, "Top of Personal Folders");
    EXPECT_EQ(Names(*store, top), std::vector<std::string>{"Deleted Items"});
    EXPECT_EQ(store->DeletedItems(), store->Subfolders(top).front());
    EXPECT_EQ(store->Folder(store->SearchRoot()).name, "Search Root");
    for (Nid nid : {kNidNameToIdMap, kNidHierarchyTableTemplate, kNidContentsTableTemplate, kNidAssocContentsTableTemplate,
                    kNidSearchContentsTableTemplate, kNidAttachmentTable, kNidRecipientTable, kNidSearchManagementQueue,
                    kNidSearchActivityList})
        EXPECT_TRUE(store->database().FindNode(nid).has_value()) << std::hex << nid;
    EXPECT_EQ(store->ContentsTable(top).columns.size(), 28u);
}

TEST_P(StoreTest, FoldersNestAndCountTheirMessages) {
    {
        auto store = PstStore::Create(path_, GetParam(), "M");
        Nid inbox = store->CreateFolder(store->IpmSubtree(), "Inbox");
        Nid sub = store->CreateFolder(inbox, "Projekte ü", "IPF.Note");
        Nid cal = store->CreateFolder(store->IpmSubtree(), "Calendar", "IPF.Appointment");
        for (int i = 0; i < 5; ++i) {
            auto m = store->CreateMessage(i < 3 ? sub : inbox);
            m->SetProperty(tags::kSubject, PropValue::Unicode("m" + std::to_string(i)));
            m->SetProperty(tags::kMessageFlags, PropValue::Long(i == 0 ? tags::kMsgFlagRead : 0));
            m->Save();
        }
        store->CreateMessage(cal, true)->Save();
        store->Close();
    }
    ExpectClean(path_);
    auto store = PstStore::Open(path_, false);
    Nid inbox = store->FindSubfolder(store->IpmSubtree(), "inbox");
    ASSERT_NE(inbox, 0u);
    Nid sub = store->FindSubfolder(inbox, "Projekte ü");
    FolderInfo info = store->Folder(sub);
    EXPECT_EQ(info.contentCount, 3);
    EXPECT_EQ(info.unreadCount, 2);
    EXPECT_EQ(info.containerClass, "IPF.Note");
    EXPECT_EQ(store->Messages(sub).size(), 3u);
    EXPECT_TRUE(store->Folder(inbox).hasSubfolders);
    EXPECT_EQ(store->Folder(inbox).contentCount, 2);
    Nid cal = store->FindSubfolder(store->IpmSubtree(), "Calendar");
    EXPECT_EQ(store->Folder(cal).containerClass, "IPF.Appointment");
    EXPECT_EQ(store->Messages(cal, true).size(), 1u);
    EXPECT_EQ(store->Folder(cal).associatedCount, 1);
    // The parent's hierarchy row follows the folder.
    for (const TableRow& row : store->HierarchyTable(inbox).rows)
        if (row.rowId == sub) {
            EXPECT_EQ(row.values.at(0x3602).AsInt(), 3);
        }
}

TEST_P(StoreTest, MessagesKeepEveryPropertyRecipientAndAttachment) {
    const std::string subject = GetParam() == PstFormat::Unicode ? "Grüße aus Köln — ✓" : "Grüße aus Köln — €";
    Bytes big(200000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = std::uint8_t(i * 31);
    Nid nid;
    std::uint16_t named;
    {
        auto store = PstStore::Create(path_, GetParam(), "M");
        named = store->GetIdFromName(NamedProperty{kPsPublicStrings, true, 0, "Keywords"}, true);
        std::uint16_t lid = store->GetIdFromName(NamedProperty{ParseGuid("{00062008-0000-0000-C000-000000000046}"), false, 0x8514, ""}, true);
        EXPECT_EQ(store->GetIdFromName(NamedProperty{kPsPublicStrings, true, 0, "Keywords"}, false), named);
        auto m = store->CreateMessage(store->IpmSubtree());
        m->SetProperty(tags::kSubject, PropValue::Unicode(subject));
        m->SetProperty(0x1000001F, PropValue::Unicode(std::string(30000, 'b') + "ü"));
        m->SetProperty(0x00390040, PropValue::SysTime(128800000000000000ull));
        m->SetProperty(0x00170003, PropValue::Long(2));
        m->SetProperty(0x0029000B, PropValue::Boolean(true));
        m->SetProperty(MakeTag(named, kPtUnicode | kPtMvFlag), PropValue::MvUnicode({"one", "zwei ü"}));
        m->SetProperty(MakeTag(lid, kPtDouble), PropValue::Double(0.75));
        m->SetProperty(0x80FF0102, PropValue::MvBinary({Bytes{1}, Bytes{2, 3}}));
        for (int type = 1; type <= 3; ++type) {
            Properties r;
            r[0x0C15] = PropValue::Long(type);
            r[0x3001] = PropValue::Unicode("Empfänger " + std::to_string(type));
            r[0x3003] = PropValue::Unicode("r" + std::to_string(type) + "@example.com");
            r[0x39FE] = PropValue::Unicode("r" + std::to_string(type) + "@example.com");
            m->AddRecipient(r);
        }
        AttachmentBuilder& a = m->AddAttachment();
        a.SetProperty(tags::kAttachLongFilename, PropValue::Unicode("Bericht.pdf"));
        for (std::size_t off = 0; off < big.size(); off += 7000)
            a.Write(big.data() + off, std::min<std::size_t>(7000, big.size() - off));
        m->AddAttachment().SetProperty(tags::kAttachFilename, PropValue::Unicode("empty.txt"));
        m->AddAttachment().Write(Bytes{1, 2, 3});
        MessageBuilder& inner = m->AddAttachment().EmbeddedMessage();
        inner.SetProperty(tags::kSubject, PropValue::Unicode("inner ü"));
        nid = m->Save();
        store->Close();
    }
    ExpectClean(path_);
    auto store = PstStore::Open(path_, false);
    MessageData m = store->ReadMessage(nid);
    EXPECT_EQ(m.props.at(0x0037).AsString(), subject);
    EXPECT_EQ(m.props.at(0x1000).AsString().size(), 30002u);
    EXPECT_EQ(m.props.at(0x0039).AsInt(), 128800000000000000ll);
    EXPECT_EQ(m.props.at(named).AsStrings(), (std::vector<std::string>{"one", "zwei ü"}));
    EXPECT_EQ(m.props.at(0x80FF).items.size(), 2u);
    EXPECT_TRUE(m.props.at(0x0E1B).AsBool());
    EXPECT_TRUE(m.props.at(0x0E07).AsInt() & tags::kMsgFlagHasAttach);
    auto name = store->GetNameFromId(named);
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(name->name, "Keywords");
    ASSERT_EQ(m.recipients.size(), 3u);
    EXPECT_EQ(m.recipients[1].at(0x3001).AsString(), "Empfänger 2");
    EXPECT_EQ(m.recipients[2].at(0x0C15).AsInt(), 3);
    EXPECT_EQ(m.recipients[2].at(0x39FE).AsString(), "r3@example.com");
    ASSERT_EQ(m.attachments.size(), 4u);
    EXPECT_EQ(m.attachments[0].props.at(0x3701).data, big);
    EXPECT_EQ(m.attachments[0].props.at(0x0E20).AsInt(), 200000);
    EXPECT_EQ(m.attachments[2].props.at(0x3701).data, (Bytes{1, 2, 3}));
    ASSERT_TRUE(m.attachments[3].embedded);
    EXPECT_EQ(m.attachments[3].embedded->props.at(0x0037).AsString(), "inner ü");
    // The contents row says what the message says.
    TableData contents = store->ContentsTable(store->IpmSubtree());
    ASSERT_EQ(contents.rows.size(), 1u);
    EXPECT_EQ(contents.rows[0].values.at(0x0E08), m.props.at(0x0E08));
    EXPECT_EQ(contents.rows[0].values.at(0x0037).AsString(), subject);
    EXPECT_EQ(contents.rows[0].values.at(0x0E07), m.props.at(0x0E07));
}

TEST_P(StoreTest, ReopenedStoreTakesMoreFoldersAndMessages) {
    {
        auto store = PstStore::Create(path_, GetParam(), "M");
        Nid f = store->CreateFolder(store->IpmSubtree(), "A");
        store->CreateMessage(f)->Save();
        store->Close();
    }
    {
        auto store = PstStore::Open(path_, true);
        Nid f = store->FindSubfolder(store->IpmSubtree(), "A");
        store->CreateMessage(f)->Save();
        store->CreateFolder(f, "B");
        store->Close();
    }
    ExpectClean(path_);
    auto store = PstStore::Open(path_, false);
    Nid f = store->FindSubfolder(store->IpmSubtree(), "A");
    EXPECT_EQ(store->Messages(f).size(), 2u);
    EXPECT_EQ(Names(*store, f), std::vector<std::string>{"B"});
}

TEST_P(StoreTest, MailClientFileTakesNewMessages) {
    std::string client = GetParam() == PstFormat::Unicode ? "pstsdk-sample1.pst" : "pstsdk-sample2.pst";
    std::string copy = dir_.Write("client.pst", test::ReadFile(test::TestDataDir() + "/pst/" + client));
    {
        auto store = PstStore::Open(copy, true);
        Nid f = store->CreateFolder(store->IpmSubtree(), "Imported");
        auto m = store->CreateMessage(f);
        m->SetProperty(tags::kSubject, PropValue::Unicode("hello"));
        m->Save();
        store->Close();
    }
    ExpectClean(copy);
    auto store = PstStore::Open(copy, false);
    Nid f = store->FindSubfolder(store->IpmSubtree(), "Imported");
    ASSERT_EQ(store->Messages(f).size(), 1u);
    EXPECT_EQ(store->ReadMessage(store->Messages(f)[0]).props.at(0x0037).AsString(), "hello");
}

// On a slow disk the batch stretches so that commits do not dominate, but
// never past twice its size: a resume looks back only so far for items
// committed and not yet recorded.
TEST_P(StoreTest, SlowCommitsStretchABatchToTwiceItsSizeAtMost) {
    std::unique_ptr<PstStore> store = PstStore::Create(path_, GetParam(), "M");
    Nid f = store->CreateFolder(store->IpmSubtree(), "A");
    CommitPolicy policy;
    policy.messages = 4;
    policy.interval = std::chrono::hours(1);
    store->SetCommitPolicy(policy);
    // A commit that has many megabytes to wait for makes the next ones look expensive.
    auto large = store->CreateMessage(f);
    large->AddAttachment().Write(Bytes(24u << 20, 7));
    large->Save();
    store->Commit();
    std::size_t largestBatch = 0;
    std::size_t savedAtLastCommit = store->savedMessages();
    std::uint64_t commits = store->commitCount();
    for (int i = 0; i < 200; ++i) {
        store->CreateMessage(f)->Save();
        if (store->commitCount() != commits) {
            commits = store->commitCount();
            largestBatch = std::max(largestBatch, store->savedMessages() - savedAtLastCommit);
            savedAtLastCommit = store->savedMessages();
        }
    }
    largestBatch = std::max(largestBatch, store->savedMessages() - savedAtLastCommit);
    EXPECT_LE(largestBatch, policy.messages * CommitPolicy::kMaxStretch);
    store->MakeDurable();
    EXPECT_GE(store->committedMessages(), 190u);
}

TEST_P(StoreTest, FullDiskFailsTheSaveAndKeepsTheLastCommit) {
    std::unique_ptr<PstStore> store = PstStore::Create(path_, GetParam(), "M");
    Nid f = store->CreateFolder(store->IpmSubtree(), "A");
    CommitPolicy policy;
    policy.messages = 1;
    policy.adaptive = false;
    store->SetCommitPolicy(policy);
    for (int i = 0; i < 3; ++i) store->CreateMessage(f)->Save();
    store->database().file().SetSizeLimitForTest(store->database().file().Size() + 50000);
    bool failed = false;
    for (int i = 0; i < 20 && !failed; ++i) {
        try {
            auto m = store->CreateMessage(f);
            m->AddAttachment().Write(Bytes(30000, 1));
            m->Save();
        } catch (const PstError& e) {
            failed = true;
            EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << e.what();
        }
    }
    ASSERT_TRUE(failed);
    std::size_t committed = store->committedMessages();
    EXPECT_THROW(store->CreateMessage(f), PstError);
    store.reset();
    ExpectClean(path_);
    auto reopened = PstStore::Open(path_, false);
    EXPECT_EQ(reopened->Messages(reopened->FindSubfolder(reopened->IpmSubtree(), "A")).size(), committed);
}

INSTANTIATE_TEST_SUITE_P(Formats, StoreTest, ::testing::Values(PstFormat::Unicode, PstFormat::Ansi));

// A store the caller drops without Close() (as the MAPI binding does after committing
// each message) must not leave the last commit's released space marked in use.
TEST_P(StoreTest, DroppedStoreLeavesNoSpaceAllocatedButUnused) {
    for (int session = 0; session < 2; ++session) {
        auto store = session == 0 ? PstStore::Create(path_, GetParam(), "Mailbox") : PstStore::Open(path_, true);
        Nid inbox = session == 0 ? store->CreateFolder(store->IpmSubtree(), "Inbox") : store->FindSubfolder(store->IpmSubtree(), "Inbox");
        for (int i = 0; i < 5; ++i) {
            auto m = store->CreateMessage(inbox);
            m->SetProperty(tags::kSubject, PropValue::Unicode("message " + std::to_string(i)));
            m->Save();
            store->Commit();
        }
    }
    CheckReport report = CheckPstFile(path_);
    for (const auto& e : report.errors) ADD_FAILURE() << e;
    for (const auto& w : report.warnings) EXPECT_EQ(w.find("allocated in the AMap but not in use"), std::string::npos) << w;
    EXPECT_EQ(report.messages, 10u);
}

TEST(AnsiStoreTest, StringsAreStoredAsWindows1252) {
    test::TempDir dir;
    std::string path = dir.File("a.pst");
    Nid nid;
    {
        auto store = PstStore::Create(path, PstFormat::Ansi, "M");
        auto m = store->CreateMessage(store->IpmSubtree());
        m->SetProperty(tags::kSubject, PropValue::Unicode("Grüße €"));
        nid = m->Save();
        store->Close();
    }
    auto store = PstStore::Open(path, false);
    const PropValue subject = store->ReadMessage(nid).props.at(0x0037);
    EXPECT_EQ(subject.type, kPtString8);
    EXPECT_EQ(subject.data, (Bytes{'G', 'r', 0xFC, 0xDF, 'e', ' ', 0x80}));
    EXPECT_EQ(subject.AsString(), "Grüße €");
}

TEST(AnsiStoreTest, EveryByteOfAnAnsiStringSurvivesReadingAndWritingBack) {
    // Stores written elsewhere hold any byte, the five Windows-1252 leaves
    // unassigned included; copying a message must not turn them into '?'.
    Bytes all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
    PropValue stored;
    stored.type = kPtString8;
    stored.data = all;
    const std::string utf8 = stored.AsString();
    EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos) << "no byte reads as U+FFFD";
    EXPECT_EQ(PropValue::String8(utf8).data, all);

    test::TempDir dir;
    const std::string path = dir.File("a.pst");
    Nid nid;
    {
        auto store = PstStore::Create(path, PstFormat::Ansi, "M");
        auto m = store->CreateMessage(store->IpmSubtree());
        m->SetProperty(tags::kSubject, PropValue::Unicode(utf8));
        nid = m->Save();
        store->Close();
    }
    EXPECT_EQ(PstStore::Open(path, false)->ReadMessage(nid).props.at(0x0037).data, all);
}

TEST(AnsiStoreTest, JsonDumpIsValidForControlCharactersAndUnassignedBytes) {
    test::TempDir dir;
    const std::string path = dir.File("odd.pst");
    {
        auto store = PstStore::Create(path, PstFormat::Ansi, "Mail\x01box");
        auto m = store->CreateMessage(store->IpmSubtree());
        PropValue subject;
        subject.type = kPtString8;
        subject.data = {'R', 'e', 0x81, 0x01, '\t', '"', '\\', 0x9D, 0x80};
        m->SetProperty(tags::kSubject, subject);
        m->Save();
        store->Close();
    }
    const test::ProgramResult result = test::RunCli("pst-dump " + test::ShellQuote(path) + " --json --messages");
    ASSERT_EQ(result.status, 0) << result.output;
    ASSERT_TRUE(nlohmann::json::accept(result.output)) << result.output;
    const std::string dump = nlohmann::json::parse(result.output).dump();
    EXPECT_NE(dump.find("Re\xC2\x81\\u0001\\t\\\"\\\\\xC2\x9D\xE2\x82\xAC"), std::string::npos) << dump;
}

TEST(AnsiStoreTest, SizeLimitGivesAClearError) {
    test::TempDir dir;
    std::string path = dir.File("a.pst");
    auto store = PstStore::Create(path, PstFormat::Ansi, "M");
    store->database().SetAnsiLimitForTest(2 * 1024 * 1024);
    Nid f = store->IpmSubtree();
    std::string error;
    for (int i = 0; i < 20 && error.empty(); ++i) {
        try {
            auto m = store->CreateMessage(f);
            m->AddAttachment().Write(Bytes(300000, 2));
            m->Save();
        } catch (const PstError& e) {
            error = e.what();
        }
    }
    EXPECT_NE(error.find("2 GB limit"), std::string::npos) << error;
    store.reset();
    ExpectClean(path);
}

TEST(SampleStoreTest, SampleOfBothFormatsPassesTheChecker) {
    for (PstFormat format : {PstFormat::Unicode, PstFormat::Ansi}) {
        test::TempDir dir;
        SampleOptions options;
        options.format = format;
        options.messages = 30;
        SampleSummary summary = WriteSampleStore(dir.File("s.pst"), options);
        EXPECT_EQ(summary.messages, 30u);
        CheckReport report = CheckPstFile(dir.File("s.pst"));
        for (const auto& e : report.errors) ADD_FAILURE() << e;
        EXPECT_EQ(report.messages, 30u);
        EXPECT_EQ(report.attachments, summary.attachments);
        auto store = PstStore::Open(dir.File("s.pst"), false);
        Nid inbox = store->FindSubfolder(store->IpmSubtree(), "Inbox");
        EXPECT_EQ(store->Messages(inbox).size(), summary.folders.at("Inbox"));
    }
}

}  // namespace
}  // namespace qb::pst

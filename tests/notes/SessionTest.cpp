#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "MailboxFixture.h"
#include "NotesTestSupport.h"

namespace qb::test {
namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.File("data/mail"));
        std::filesystem::create_directories(dir.File("server1/mail"));
        dir.Write("data/mail/user1.dxl", MailboxDxl());
        dir.Write("data/names.dxl", "<database xmlns='http://www.lotus.com/dxl' title='Personal Address Book'/>");
        dir.Write("data/mail/Other.XML", "<database title='Other'/>");
        dir.Write("server1/mail/user1.dxl", MailboxDxl());
        dir.Write("notes.ini", "[Notes]\nDirectory=data\nNames=names, server1names\nMailFile=mail\\user1.dxl\n"
                               "MailServer=\nKeyFilename=user1.id\nServer_CN=Hub01/O=Org=server1\n");
        ASSERT_EQ(session.Initialize(dir.File("notes.ini")), LNNOERROR);
    }
    TempDir dir;
    LNNotesSession session;
    ThrowGuard guard;
};

TEST_F(SessionTest, ReadsNotesIni) {
    EXPECT_TRUE(session.IsInitialized());
    EXPECT_TRUE(session.IsThreadInitialized());
    EXPECT_EQ(session.GetDataDirectory(), dir.File("data"));
    EXPECT_EQ(session.GetMailServer(), "");
    EXPECT_EQ(session.GetUserName(), "user1");
    LNDatabase mail;
    ASSERT_EQ(session.GetMailDatabase(&mail, true), LNNOERROR);
    EXPECT_EQ(mail.GetTitle(), "Mail of User One");
    std::vector<LNString> books;
    ASSERT_EQ(session.GetAddressBooks(&books), LNNOERROR);
    EXPECT_EQ(books, (std::vector<LNString>{"names.dxl", "server1names.dxl"}));
}

TEST_F(SessionTest, MissingNotesIniFails) {
    LNNotesSession other;
    EXPECT_EQ(other.Initialize(dir.File("nothere.ini")), LNERR_FILE_NOT_FOUND);
    EXPECT_FALSE(other.IsInitialized());
    LNDatabase database;
    EXPECT_EQ(other.GetDatabase("x.dxl", &database), LNERR_NOT_INITIALIZED);
}

TEST_F(SessionTest, ServersMapToTheirDirectories) {
    LNDatabase local, remote, unknown;
    ASSERT_EQ(session.GetDatabase("mail/user1.dxl", &local, "Local"), LNNOERROR);
    EXPECT_EQ(local.GetSystemPath(), dir.File("data/mail/user1.dxl"));
    ASSERT_EQ(session.GetDatabase("mail\\user1.dxl", &remote, "Hub01/Org"), LNNOERROR);
    EXPECT_EQ(remote.GetSystemPath(), dir.File("server1/mail/user1.dxl"));
    EXPECT_EQ(remote.GetServer(), "Hub01/Org");
    ASSERT_EQ(remote.Open(), LNNOERROR);
    EXPECT_EQ(session.GetDatabase("mail/user1.dxl", &unknown, "Elsewhere/Org"), LNERR_SERVER_NOT_REACHABLE);
    EXPECT_NE(LNGetErrorMessageText(LNERR_SERVER_NOT_REACHABLE).find("Unable to find path to server"),
              std::string::npos);
}

TEST_F(SessionTest, ListsDatabasesRecursivelyWithTitles) {
    LNDatabaseArray databases;
    ASSERT_EQ(session.GetDatabases(&databases, "", 5), LNNOERROR);
    ASSERT_EQ(databases.GetCount(), 3);
    EXPECT_EQ(databases[0].filepath, "mail\\Other.XML");
    EXPECT_EQ(databases[0].title, "Other");
    EXPECT_EQ(databases[1].filepath, "mail\\user1.dxl");
    EXPECT_EQ(databases[1].title, "Mail of User One");
    EXPECT_EQ(databases[2].title, "Personal Address Book");
    ASSERT_EQ(session.GetDatabases(&databases, "", 5, "mail"), LNNOERROR);
    EXPECT_EQ(databases.GetCount(), 2);
    EXPECT_EQ(session.GetDatabases(&databases, "", 5, "nothere"), LNERR_DIRECTORY_NOT_FOUND);
    EXPECT_EQ(session.GetDatabases(&databases, "Nowhere"), LNERR_SERVER_NOT_REACHABLE);
}

TEST_F(SessionTest, AbbreviatesNames) {
    EXPECT_EQ(session.AbbreviateName("CN=User One/OU=Unit/O=Org"), "User One/Unit/Org");
    EXPECT_EQ(session.AbbreviateName("CN=User One/OU=Unit/O=Org/C=DE"), "User One/Unit/Org/DE");
    EXPECT_EQ(session.AbbreviateName("User One/Unit/Org"), "User One/Unit/Org");
    EXPECT_EQ(session.AbbreviateName("someone@example.com"), "someone@example.com");
}

TEST_F(SessionTest, OtherThreadsInitialiseThemselves) {
    LNSTATUS before = 0, after = 0;
    bool initialised = false;
    std::thread worker([&] {
        LNDatabase database;
        before = session.GetDatabase("mail/user1.dxl", &database);
        session.InitThread();
        initialised = session.IsThreadInitialized();
        after = session.GetDatabase("mail/user1.dxl", &database);
        if (after == LNNOERROR) after = database.Open();
        session.TermThread();
    });
    worker.join();
    EXPECT_EQ(before, LNERR_THREAD_NOT_INITIALIZED);
    EXPECT_TRUE(initialised);
    EXPECT_EQ(after, LNNOERROR);
    EXPECT_TRUE(session.IsThreadInitialized());
}

// The scratch database of the body conversion: create, copy a document in,
// save, find it by note id, delete it, default access Manager.
TEST_F(SessionTest, ScratchDatabaseRoundTrip) {
    LNDatabase mail, scratch;
    ASSERT_EQ(session.GetMailDatabase(&mail, true), LNNOERROR);
    ASSERT_EQ(session.CreateDatabase(dir.File("QuillboxTemp.nsf"), &scratch), LNNOERROR);
    EXPECT_EQ(session.CreateDatabase(dir.File("QuillboxTemp.nsf"), &scratch), LNERR_DATABASE_EXISTS);
    LNACL acl;
    LNACLEntry entry;
    ASSERT_EQ(scratch.GetACL(&acl), LNNOERROR);
    ASSERT_EQ(acl.GetDefaultEntry(&entry), LNNOERROR);
    ASSERT_EQ(entry.SetAccessLevel(LNACCESSLEVEL_MANAGER), LNNOERROR);
    ASSERT_EQ(acl.Save(), LNNOERROR);

    LNDocument original, copy;
    ASSERT_EQ(mail.GetDocument(0x100, &original), LNNOERROR);
    ASSERT_EQ(original.Open(), LNNOERROR);
    ASSERT_EQ(scratch.CreateDocument(original, &copy), LNNOERROR);
    original.Close();
    ASSERT_EQ(copy.Save(), LNNOERROR);
    NOTEID id = copy.GetNoteID();
    ASSERT_NE(id, 0u);

    // Everything written survives a fresh open of the file.
    LNDatabase reopened;
    ASSERT_EQ(session.GetDatabase(dir.File("QuillboxTemp.nsf"), &reopened), LNNOERROR);
    ASSERT_EQ(reopened.Open(), LNNOERROR);
    LNACL reopenedAcl;
    reopened.GetACL(&reopenedAcl);
    reopenedAcl.GetDefaultEntry(&entry);
    EXPECT_EQ(entry.GetAccessLevel(), LNACCESSLEVEL_MANAGER);
    LNDocument found;
    ASSERT_EQ(reopened.GetDocument(id, &found), LNNOERROR);
    ASSERT_EQ(found.Open(), LNNOERROR);
    LNRichText body;
    ASSERT_EQ(found.GetItem("Body", &body), LNNOERROR);
    LNString text;
    body.GetText(&text);
    EXPECT_EQ(text, "Hello plain\nnext line\nSecond paragraph");
    LNDatetimes posted;
    ASSERT_EQ(found.GetItem("PostedDate", &posted), LNNOERROR);
    EXPECT_EQ(posted[0].GetDxlText(), "20090512T101530,12+02");
    LNAttachmentArray attachments;
    ASSERT_EQ(found.GetAttachments(&attachments), LNNOERROR);
    ASSERT_EQ(attachments.GetCount(), 1);
    ASSERT_EQ(attachments[0].Detach(dir.File("copy.txt")), LNNOERROR);
    EXPECT_EQ(ReadFile(dir.File("copy.txt")), kAttachmentText);

    ASSERT_EQ(reopened.DeleteDocument(found), LNNOERROR);
    EXPECT_EQ(reopened.GetDocument(id, &found), LNERR_NOTE_NOT_FOUND);
    EXPECT_EQ(reopened.DeleteDocument(id), LNERR_NOTE_NOT_FOUND);
}

TEST_F(SessionTest, NewDocumentsGetItemsAndIds) {
    LNDatabase scratch;
    ASSERT_EQ(session.CreateDatabase("new.dxl", &scratch), LNNOERROR);
    LNDocument document;
    ASSERT_EQ(scratch.CreateDocument(&document, "Memo"), LNNOERROR);
    ASSERT_EQ(document.SetItem(LNMakeTextItem("Subject", {"Hello"})), LNNOERROR);
    ASSERT_EQ(document.SetItem(LNMakeNumberItem("Count", {1, 2})), LNNOERROR);
    LNRichText body;
    ASSERT_EQ(document.CreateNoteBody("Body", &body), LNNOERROR);
    ASSERT_EQ(document.Save(), LNNOERROR);
    LNNoteArray notes;
    ASSERT_EQ(scratch.Search("Form = \"Memo\" & Count = 2", &notes), LNNOERROR);
    ASSERT_EQ(notes.GetCount(), 1);
    EXPECT_EQ(notes.GetNoteID(0), document.GetNoteID());
}

}  // namespace
}  // namespace qb::test

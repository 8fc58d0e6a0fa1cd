// Mail conversion into a real personal folders file, read back by readpst
// and pffexport: senders, recipients, bodies, and two attachments of one
// document that share a name arriving with their own content.

#include <gtest/gtest.h>

#include <cstdlib>

#include "../notes/MailboxFixture.h"
#include "MailTestSupport.h"
#include "convert/ConversionSet.h"
#include "mapi/PstProfileFixture.h"
#include "notes/NotesErrorText.h"
#include "outlook/NamedProperties.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/Paths.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"
#include "support/OutsideTools.h"
#include "support/RunProgram.h"
#include "support/ScopedEnv.h"

namespace qb {
namespace {

using test::MemoDxl;
using test::TextItem;

class MailConverterOnPstTest : public ::testing::Test, public test::PstProfileFixture {
protected:
    void SetUp() override {
        tmpDirEnv.emplace("TMPDIR", dir_.path());
        SetUpProfile("MSUPST MS", "Converted Mail", false);
    }
    void TearDown() override {
        LNSetThrowAllErrorsGlobal(false);
        outlook.reset();
        TearDownProfile();
        tmpDirEnv.reset();
    }
    std::optional<test::ScopedEnv> tmpDirEnv;
    std::unique_ptr<CMapiSession> outlook = std::make_unique<CMapiSession>();
};

TEST_F(MailConverterOnPstTest, ConvertedMemosReadBackByTheReaders) {
    QB_REQUIRE_TOOL("readpst pffexport");
    ASSERT_EQ(outlook->Initialize(), S_OK);
    ASSERT_FALSE(FAILED(outlook->Logon("Export", "", 0x13, 0)));
    ASSERT_EQ(outlook->OpenDefaultStore(), S_OK);
    ASSERT_EQ(outlook->OpenIpmSubtree(), 1) << outlook->lastError;
    ASSERT_TRUE(InitNamedProps(*outlook)) << outlook->lastError;
    auto folder = outlook->OpenFolderPath("Mail", "");
    ASSERT_TRUE(folder);

    dir_.Write("notes.ini", "[Notes]\nDirectory=" + dir_.path() + "\n");
    dir_.Write("mail.dxl",
               test::MailboxDxl(
                   MemoDxl(1, TextItem("Subject", "Report") + TextItem("From", "Ann Smith &lt;ann@example.com&gt;") +
                                  test::TextListItem("SendTo", {"Bob Jones &lt;bob@example.com&gt;"}) +
                                  test::TextListItem("CopyTo", {"carl@example.com"}) +
                                  test::TimeItem("PostedDate", "20090512T101530,12+02") +
                                  TextItem("Body", "The numbers are attached.") +
                                  test::FileItem("report.pdf", test::kAttachmentBase64, 13) +
                                  test::FileItem("C:\\old\\report.pdf", "T3RoZXI=", 5)) +
                   MemoDxl(2, TextItem("Subject", "Draft") +
                                  test::TextListItem("SendTo", {"Dora &lt;dora@example.com&gt;"}) +
                                  test::TextListItem("Body", {"first", "second"}))));
    LNNotesSession session;
    ASSERT_EQ(session.Initialize(dir_.File("notes.ini")), LNNOERROR);
    LNDatabase database;
    ASSERT_EQ(session.GetDatabase("mail.dxl", &database), LNNOERROR);
    ASSERT_EQ(database.Open(), LNNOERROR);

    ExportSettings settings;
    ExportRun run;
    ExportLog log;
    NullProgressSink progress;
    AddressTranslator translator;
    {
        ConversionSet conversions(ConversionServices{run, settings, log, progress, *outlook, translator, session, {}},
                                  platform::TempFolder());
        LNSetThrowAllErrorsGlobal(true);
        for (int memo : {1, 2}) {
            LNDocument document;
            {
                ScopedNotesThrowMode returnCodes(false);
                ASSERT_EQ(database.GetDocumentByUNID(test::MemoUnid(memo), &document), LNNOERROR);
            }
            conversions.dispatcher().Dispatch(*folder, session, document);
        }
        LNSetThrowAllErrorsGlobal(false);
    }
    EXPECT_EQ(run.exportedCount, 2);
    database.Close();
    folder.reset();
    outlook->Logoff();
    outlook->Uninitialize();
    outlook.reset();
    TearDownProfile();

    const auto check = test::RunCli("pst-check " + test::ShellQuote(pstPath()));
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string expected = dir_.Write(
        "expected.json",
        R"({"displayName": "Converted Mail", "folders": {"Mail": 2}, "messages": [)"
        R"({"folder": "Mail", "subject": "Report", "senderName": "Ann Smith", "senderAddress": "ann@example.com", )"
        R"("body": "The numbers are attached.", "recipients": [["Bob Jones", "bob@example.com", 1], )"
        R"(["carl@example.com", "carl@example.com", 2]], "attachments": [["report.pdf", 13], ["report.pdf", 5]]}, )"
        R"({"folder": "Mail", "subject": "Draft", "senderName": "", "senderAddress": "", "body": "first\nsecond", )"
        R"("recipients": [["Dora", "dora@example.com", 1]], "attachments": []}]})");
    const auto readers = test::RunCommand("python3 " +
                                          test::ShellQuote(QUILLBOX_SOURCE_DIR "/tests/mapi/pst_readers_check.py") +
                                          " " + test::ShellQuote(pstPath()) + " " + test::ShellQuote(expected));
    EXPECT_EQ(readers.status, 0) << readers.output;
}

}  // namespace
}  // namespace qb

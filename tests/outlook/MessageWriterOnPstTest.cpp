// The message writer of the program on a real personal folders file: the
// saved messages as our checker, readpst and pffexport read them.

#include <gtest/gtest.h>

#include "mapi/PstProfileFixture.h"
#include "outlook/MessageRecord.h"
#include "outlook/NamedProperties.h"
#include "outlook/OutlookSession.h"
#include "SampleMessage.h"
#include "support/OutsideTools.h"
#include "support/RunProgram.h"

namespace {

class MessageWriterOnPstTest : public ::testing::TestWithParam<const char*>, public qb::test::PstProfileFixture {
protected:
    void SetUp() override { SetUpProfile(GetParam(), "Converted Mail", false); }
    void TearDown() override {
        outlook_.reset();
        TearDownProfile();
    }
    std::unique_ptr<qb::CMapiSession> outlook_ = std::make_unique<qb::CMapiSession>();
};

}  // namespace

TEST_P(MessageWriterOnPstTest, SavedMessagesReadBackByTheReaders) {
    QB_REQUIRE_TOOL("readpst pffexport");
    ASSERT_EQ(outlook_->Initialize(), S_OK);
    ASSERT_FALSE(FAILED(outlook_->Logon("Export", "", 0x13, 0)));
    ASSERT_EQ(outlook_->OpenDefaultStore(), S_OK);
    ASSERT_EQ(outlook_->OpenIpmSubtree(), 1) << outlook_->lastError;
    ASSERT_TRUE(qb::InitNamedProps(*outlook_)) << outlook_->lastError;
    auto folder = outlook_->OpenFolderPath("Mail\\Projects", "");
    ASSERT_TRUE(folder);

    auto record = qb::NewMessageRecord(*outlook_, *folder);
    ASSERT_TRUE(record);
    qb::test::FillSampleMessage(*record, qb::kStateReceived);
    record->bodyText = "Body text of the report";
    record->attachmentFiles = {dir_.Write("report.pdf", std::string(100000, 'x')), dir_.Write("notes.txt", "n")};
    const std::string rtf = "{\\rtf1\\ansi Hello {\\b bold}\\par}";
    ASSERT_EQ(record->WriteRichTextBody(dir_.Write("body.rtf", rtf)), S_OK) << record->lastError;
    ASSERT_EQ(record->SaveMessage(), S_OK) << record->lastError;
    record.reset();

    auto draft = qb::NewMessageRecord(*outlook_, *folder);
    ASSERT_TRUE(draft);
    draft->messageState = qb::kStateDraft;
    draft->subject = "Draft";
    draft->bodyText = "Not sent yet";
    draft->toNames = {"User One"};
    draft->toAddresses = {"one@example.com"};
    draft->creationTime = {2024, 3, 0, 9, 8, 7, 6, 0};
    ASSERT_EQ(draft->SaveMessage(), S_OK) << draft->lastError;
    draft.reset();

    folder.reset();
    outlook_->Logoff();
    outlook_->Uninitialize();
    outlook_.reset();
    TearDownProfile();

    const auto check = qb::test::RunCli("pst-check " + qb::test::ShellQuote(pstPath()));
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string expected = dir_.Write(
        "expected.json",
        "{\"displayName\": \"Converted Mail\", \"folders\": {\"Mail\": 0, \"Mail\\\\Projects\": 2, \"Inbox\": 0}, "
        "\"messages\": [{\"folder\": \"Mail\\\\Projects\", \"subject\": \"Quarterly report\", \"senderName\": \"User Two\", "
        "\"senderAddress\": \"two@example.com\", \"body\": \"Body text of the report\", \"recipients\": ["
        "[\"User One\", \"one@example.com\", 1], [\"Cc Person\", \"cc@example.com\", 2], "
        "[\"Bcc Person\", \"bcc@example.com\", 3]], \"attachments\": [[\"report.pdf\", 100000], [\"notes.txt\", 1]], "
        "\"rtf\": \"{\\\\rtf1\\\\ansi Hello {\\\\b bold}\\\\par}\"}, "
        "{\"folder\": \"Mail\\\\Projects\", \"subject\": \"Draft\", \"senderName\": \"\", \"senderAddress\": \"\", "
        "\"body\": \"Not sent yet\", \"recipients\": [[\"User One\", \"one@example.com\", 1]], \"attachments\": []}]}");
    const auto readers = qb::test::RunCommand(
        "python3 " + qb::test::ShellQuote(QUILLBOX_SOURCE_DIR "/tests/mapi/pst_readers_check.py") + " " +
        qb::test::ShellQuote(pstPath()) + " " + qb::test::ShellQuote(expected));
    EXPECT_EQ(readers.status, 0) << readers.output;
}

INSTANTIATE_TEST_SUITE_P(Formats, MessageWriterOnPstTest, ::testing::Values("MSUPST MS", "MSPST MS"),
                         [](const auto& info) { return std::string(info.param) == "MSPST MS" ? "Ansi" : "Unicode"; });

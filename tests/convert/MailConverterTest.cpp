// Mail conversion of DXL documents into the in-memory store: what each
// document's items become in the saved record and message, and what the log
// and the status lines say.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../notes/MailboxFixture.h"
#include "../outlook/SavedMessages.h"
#include "MailTestSupport.h"
#include "convert/ConversionSet.h"
#include "notes/NotesErrorText.h"
#include "outlook/PersonalFolders.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/Paths.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"
#include "support/ScopedEnv.h"

namespace qb {
namespace {

using namespace qb::mapi;
using test::MemoDxl;
using test::TextItem;
using test::TextListItem;
using test::TimeItem;

struct Lines : NullProgressSink {
    std::map<int, std::vector<std::string>> secondary;
    void SetSecondaryText(int line, std::string_view text) override { secondary[line].emplace_back(text); }
};

class MailConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        tmpDirEnv.emplace("TMPDIR", dir.path());
        tempFolder = platform::TempFolder();
        ASSERT_FALSE(tempFolder.empty());
        ASSERT_NO_FATAL_FAILURE(test::OpenMemoryMailFolder(dir.path(), configHome, outlook, folder));
        dir.Write("notes.ini", "[Notes]\nDirectory=" + dir.path() + "\n");
        ASSERT_EQ(session.Initialize(dir.File("notes.ini")), LNNOERROR);
        log.logToFile = true;
        log.SetSingleDatabasePath(dir.File("exportlog.txt"));
        settings.AttachmentsRenameEXEs = true;
    }
    void TearDown() override {
        converter.reset();
        scratch.reset();
        database.Close();
        folder.reset();
        outlook.Logoff();
        outlook.Uninitialize();
        SetMsgStoreProvider(nullptr);
        LNSetThrowAllErrorsGlobal(false);
        configHome.reset();
        tmpDirEnv.reset();
    }

    // Loads the mailbox with these documents; the run raises Notes errors.
    void Load(const std::string& documents) { LoadDxl(test::MailboxDxl(documents)); }
    void LoadDxl(const std::string& dxl) {
        dir.Write("mail.dxl", dxl);
        ASSERT_EQ(session.GetDatabase("mail.dxl", &database), LNNOERROR);
        ASSERT_EQ(database.Open(), LNNOERROR);
        scratch = std::make_unique<ScratchDatabase>(session, tempFolder);
        converter = std::make_unique<test::RecordingMailConverter>(
            MailContext{run, settings, log, progress, outlook, translator, tempFolder, *scratch, {}, recycled.get()});
        LNSetThrowAllErrorsGlobal(true);
    }
    bool Convert(int memo) {
        LNDocument document;
        {
            ScopedNotesThrowMode returnCodes(false);
            EXPECT_EQ(database.GetDocumentByUNID(test::MemoUnid(memo), &document), LNNOERROR) << memo;
        }
        return converter->Convert(*folder, session, document);
    }
    std::string Log() const { return test::ReadFile(dir.File("exportlog.txt")); }
    const test::SavedRecord& Saved(std::size_t index = 0) {
        EXPECT_GT(converter->saved.size(), index);
        static const test::SavedRecord none;
        return index < converter->saved.size() ? converter->saved[index] : none;
    }
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(tempFolder))
            if (entry.path().filename() != kScratchDatabaseName) files.push_back(entry.path().string());
        return files;
    }
    ULONG MessageCount() {
        MapiPtr<IMAPITable> contents;
        EXPECT_EQ(folder->folder->GetContentsTable(0, contents.Put()), S_OK);
        ULONG count = 0;
        contents->GetRowCount(0, &count);
        return count;
    }

    std::optional<test::ScopedEnv> tmpDirEnv;
    std::optional<test::ScopedEnv> configHome;
    test::TempDir dir;
    std::string tempFolder;
    CMapiSession outlook;
    std::optional<FolderHandle> folder;
    LNNotesSession session;
    LNDatabase database;
    ExportSettings settings;
    ExportRun run;
    ExportLog log;
    Lines progress;
    AddressTranslator translator;
    std::unique_ptr<ScratchDatabase> scratch;
    // Set before Load for a converter that keeps its files' inodes.
    std::unique_ptr<platform::RecycledFiles> recycled;
    std::unique_ptr<test::RecordingMailConverter> converter;
};

bool IsKeptFile(const std::string& path) {
    return std::filesystem::path(path).filename().string().rfind(platform::RecycledFiles::kKeptPrefix, 0) == 0;
}

TEST_F(MailConverterTest, SendersRecipientsAndReplyToBecomeNamesAndAddresses) {
    Load(MemoDxl(1, TextItem("Subject", "Plan") + TextItem("From", "CN=User Two/OU=Sales/O=Org") +
                        TextListItem("SendTo", {"CN=User One/O=Org", "Jane Doe &lt;jane@example.com&gt;"}) +
                        TextListItem("CopyTo", {"cc@example.com"}) + TextListItem("BlindCopyTo", {"b@example.com"}) +
                        TextItem("ReplyTo", "Replies &lt;replies@example.com&gt;") +
                        TextItem("Principal", "Boss &lt;boss@example.com&gt;") +
                        TimeItem("PostedDate", "20090512T101530,12+02") + TextItem("Body", "Hello")));
    ASSERT_TRUE(Convert(1));
    const auto& r = Saved();
    EXPECT_EQ(r.senderName, "User Two");
    EXPECT_EQ(r.senderAddress, "User Two/Sales/Org");
    EXPECT_EQ(r.toNames, (std::vector<std::string>{"User One", "Jane Doe"}));
    EXPECT_EQ(r.toAddresses, (std::vector<std::string>{"User One/Org", "jane@example.com"}));
    EXPECT_EQ(r.ccAddresses, (std::vector<std::string>{"cc@example.com"}));
    EXPECT_EQ(r.bccAddresses, (std::vector<std::string>{"b@example.com"}));
    EXPECT_EQ(r.replyToName, "Replies");
    EXPECT_EQ(r.replyToAddress, "replies@example.com");
    EXPECT_EQ(r.principalName, "Boss");
    EXPECT_EQ(r.principalAddress, "boss@example.com");
    EXPECT_EQ(r.subject, "Plan");
    EXPECT_EQ(r.bodyText, "Hello");
    EXPECT_TRUE(r.markAsRead);
    EXPECT_EQ(run.exportedCount, 1);
    EXPECT_EQ(MessageCount(), 1u);
}

TEST_F(MailConverterTest, FallbacksForMissingSenderRecipientsAndReplyTo) {
    Load(MemoDxl(1, TextItem("Subject", "Nobody")) +
         MemoDxl(2, TextItem("$UpdatedBy", "CN=Editor/O=Org") + TextListItem("SendTo", {"a@example.com"})) +
         MemoDxl(3, "<item name='From'><number>7</number></item>"));
    ASSERT_TRUE(Convert(1));
    ASSERT_TRUE(Convert(2));
    ASSERT_TRUE(Convert(3));
    // No SendTo: still exactly one To entry, the translation of the empty text.
    const AddressParts empty = translator.TranslateAddress("", true);
    EXPECT_EQ(Saved(0).toNames, (std::vector<std::string>{empty.displayName}));
    EXPECT_EQ(Saved(0).toAddresses, (std::vector<std::string>{empty.address}));
    EXPECT_TRUE(Saved(0).ccAddresses.empty());
    EXPECT_EQ(Saved(0).senderName, "unknown");
    EXPECT_EQ(Saved(0).principalName, Saved(0).senderName);
    EXPECT_EQ(Saved(0).principalAddress, Saved(0).senderAddress);
    EXPECT_EQ(Saved(0).replyToAddress, "");
    EXPECT_EQ(Saved(0).replyToName, "");

    EXPECT_EQ(Saved(1).senderName, "Editor");
    EXPECT_EQ(Saved(1).toAddresses, (std::vector<std::string>{"a@example.com"}));
    // A From that cannot be read as text does not fall back to $UpdatedBy.
    EXPECT_EQ(Saved(2).senderName, "unknown");
}

TEST_F(MailConverterTest, MessageStateFollowsPostedAndDeliveredDates) {
    Load(MemoDxl(1, TimeItem("PostedDate", "20090512T101530,12+02") +
                        TimeItem("DeliveredDate", "20090512T111530,00+02")) +
         MemoDxl(2, TimeItem("DeliveredDate", "20090512T111530,00+02")) + MemoDxl(3, TextItem("Subject", "Draft")));
    for (int memo : {1, 2, 3}) ASSERT_TRUE(Convert(memo));
    EXPECT_EQ(Saved(0).messageState, kStateSent);
    EXPECT_EQ(Saved(1).messageState, kStateReceived);
    EXPECT_EQ(Saved(2).messageState, kStateDraft);
}

TEST_F(MailConverterTest, TimesGoToTheWriterInUtc) {
    Load(MemoDxl(1, TimeItem("PostedDate", "20090512T101530,12+02") +
                        TimeItem("DeliveredDate", "20090513T080000,50+02")) +
             MemoDxl(2, TextItem("DeliveredDate", "not a date"), "20100301T120000,00Z"));
    ASSERT_TRUE(Convert(1));
    ASSERT_TRUE(Convert(2));
    EXPECT_EQ(Saved(0).postedTime, (platform::SystemTime{2009, 5, 2, 12, 8, 15, 30, 120}));
    EXPECT_EQ(Saved(0).deliveryTime, (platform::SystemTime{2009, 5, 3, 13, 6, 0, 0, 0}));
    EXPECT_EQ(Saved(0).creationTime, (platform::SystemTime{2009, 5, 2, 12, 8, 15, 30, 120}));
    // A DeliveredDate stored as text dates the document by its creation;
    // without PostedDate the posted time is the creation time.
    EXPECT_EQ(Saved(1).deliveryTime, (platform::SystemTime{2010, 3, 1, 1, 12, 0, 0, 0}));
    EXPECT_EQ(Saved(1).postedTime, Saved(1).creationTime);
}

TEST_F(MailConverterTest, DateFilterKeepsDocumentsAtItsBounds) {
    std::optional<test::ScopedEnv> utc(std::in_place, "TZ", "UTC");
    settings.FilterByDate = true;
    settings.FilterFrom = 1262347200;  // 2010-01-01 12:00:00 UTC
    settings.FilterTo = 1262433600;    // 2010-01-02 12:00:00 UTC
    Load(MemoDxl(1, TimeItem("DeliveredDate", "20100101T120000,00Z")) +
         MemoDxl(2, TimeItem("DeliveredDate", "20100101T115959,00Z")) +
         MemoDxl(3, TimeItem("DeliveredDate", "20100102T120000,00Z")) +
         MemoDxl(4, TimeItem("DeliveredDate", "20100102T120001,00Z")));
    EXPECT_TRUE(Convert(1));
    EXPECT_FALSE(Convert(2));
    EXPECT_TRUE(Convert(3));
    EXPECT_FALSE(Convert(4));
    utc.reset();
    EXPECT_EQ(converter->saved.size(), 2u);
    EXPECT_EQ(run.exportedCount, 2);
}

TEST_F(MailConverterTest, StatusLinesAndLogNameTheDocument) {
    Load(MemoDxl(1, TextItem("Subject", "First %s %d") + TimeItem("PostedDate", "20090512T101530,12+02")) +
         MemoDxl(2, TextItem("Subject", "Second")));
    ASSERT_TRUE(Convert(1));
    ASSERT_TRUE(Convert(2));
    const auto& documentLines = progress.secondary[kDocumentLine];
    ASSERT_EQ(documentLines.size(), 2u);
    EXPECT_EQ(documentLines[0], "Exporting Document 1  Subject: First %s %d");
    EXPECT_EQ(documentLines[1], "Exporting Document 2  Subject: Second");
    const std::string text = Log();
    EXPECT_NE(text.find("....Exporting document [1] Subject = First %s %d\n"), std::string::npos) << text;
    EXPECT_NE(text.find("....Exporting document [2] Subject = Second\n"), std::string::npos) << text;
    EXPECT_FALSE(progress.secondary[kDateLine].empty());
}

TEST_F(MailConverterTest, UndecryptableDocumentIsSavedAndLoggedAfterItsSubject) {
    Load(MemoDxl(1, TextItem("Subject", "Secret") + "<item name='$Seal'><rawitemdata type='9'>AAAA</rawitemdata></item>"));
    ASSERT_TRUE(Convert(1));
    EXPECT_EQ(converter->saved.size(), 1u);
    const std::string text = Log();
    const auto subject = text.find("....Exporting document [1] Subject = Secret\n");
    const auto error =
        text.find("....~#>ERROR: Current Lotus Notes ID could not decrypt this encrypted document\n");
    ASSERT_NE(subject, std::string::npos) << text;
    ASSERT_NE(error, std::string::npos) << text;
    EXPECT_LT(subject, error);
}

// A body the reader could only take in part is still saved, and the log
// says so under the document's subject.
TEST_F(MailConverterTest, PartlyReadBodyIsSavedWithAWarning) {
    // One text record whose length runs past the end of the item.
    Load(MemoDxl(1, TextItem("Subject", "Cut short") +
                        "<item name='Body'><rawitemdata type='1'>hf9AAA==</rawitemdata></item>"));
    ASSERT_TRUE(Convert(1));
    EXPECT_EQ(converter->saved.size(), 1u);
    const std::string text = Log();
    const auto subject = text.find("....Exporting document [1] Subject = Cut short\n");
    const auto warning = text.find("....~#>Warning item Body: damaged rich text record at offset 0");
    ASSERT_NE(subject, std::string::npos) << text;
    ASSERT_NE(warning, std::string::npos) << text;
    EXPECT_LT(subject, warning);
}

TEST_F(MailConverterTest, UnreadableDocumentIsALoggedFailure) {
    // The index reads past an external entity; the document itself cannot be read.
    std::string dxl = test::MailboxDxl(MemoDxl(1, TextItem("Subject", "&outside;")));
    const std::string doctype = "<!DOCTYPE database>";
    dxl.replace(dxl.find(doctype), doctype.size(), "<!DOCTYPE database [<!ENTITY outside SYSTEM 'outside.txt'>]>");
    LoadDxl(dxl);

    EXPECT_FALSE(Convert(1));
    EXPECT_TRUE(converter->saved.empty());
    const std::string text = Log();
    EXPECT_NE(text.find("....~#>ERROR Unable to read the document (note id 0x"), std::string::npos) << text;
    EXPECT_NE(text.find("undefined entity"), std::string::npos) << text;
    EXPECT_NE(text.find("[D:200]\n"), std::string::npos) << text;
}

TEST_F(MailConverterTest, FailedSaveIsLoggedAndNotCounted) {
    Load(MemoDxl(1, TextItem("Subject", "Will fail") + test::FileItem("a.txt", test::kAttachmentBase64, 13)));
    converter->failWith = E_FAIL;
    EXPECT_TRUE(Convert(1));
    EXPECT_EQ(run.exportedCount, 0);
    EXPECT_NE(Log().find("....~#>ERROR: Unable to save message to mail store [L:6000:Last Error hr = -1]\n"),
              std::string::npos)
        << Log();
    EXPECT_TRUE(TempFiles().empty()) << "extracted files are removed after a failed save too";
}

TEST_F(MailConverterTest, BodiesByItemType) {
    Load(MemoDxl(1, TextItem("Subject", "none")) + MemoDxl(2, TextItem("Body", "line one<break/>line two")) +
         MemoDxl(3, TextListItem("Body", {"a", "b"})) +
         MemoDxl(4, "<item name='Body'><richtext><par>First part</par></richtext></item>"
                    "<item name='Body'><richtext><par>Second part</par></richtext></item>") +
         MemoDxl(5, "<item name='Body'><number>42</number></item>"));
    for (int memo = 1; memo <= 5; ++memo) ASSERT_TRUE(Convert(memo));
    EXPECT_EQ(Saved(0).bodyText, "(This message contains no body text)");
    EXPECT_FALSE(Saved(0).bodyIsRichText);
    EXPECT_EQ(Saved(1).bodyText, "line one\nline two");
    EXPECT_EQ(Saved(2).bodyText, "a\nb");
    EXPECT_FALSE(Saved(2).bodyIsRichText);
    EXPECT_TRUE(Saved(3).bodyIsRichText);
    EXPECT_NE(Saved(3).bodyText.find("First part"), std::string::npos) << Saved(3).bodyText;
    EXPECT_NE(Saved(3).bodyText.find("Second part"), std::string::npos) << Saved(3).bodyText;
    EXPECT_LT(Saved(3).bodyText.find("First part"), Saved(3).bodyText.find("Second part"));
    EXPECT_EQ(Saved(4).bodyText, "42");
    // Plain text only: no file was written for the rich text body.
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MailConverterTest, UnknownBodyTypeIsCopiedToTheScratchDatabaseThenReadRaw) {
    // 22 bytes of header (the type word and 20 more), then the text with a zero byte.
    const std::string raw = std::string(20, '\x01') + "Hi" + std::string(1, '\0') + "there!!";
    std::string base64;
    {
        static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::size_t i = 0;
        for (; i + 2 < raw.size(); i += 3) {
            const unsigned v = static_cast<unsigned char>(raw[i]) << 16 | static_cast<unsigned char>(raw[i + 1]) << 8 |
                               static_cast<unsigned char>(raw[i + 2]);
            for (int s : {18, 12, 6, 0}) base64 += digits[(v >> s) & 63];
        }
        ASSERT_EQ(i, raw.size()) << "the test value is a multiple of three bytes";
    }
    Load(MemoDxl(1, "<item name='Body'><rawitemdata type='0'>" + base64 + "</rawitemdata></item>"));
    ASSERT_TRUE(Convert(1));
    EXPECT_NE(Log().find("....Error: Unsupported body type - Body not exported\n"), std::string::npos) << Log();
    EXPECT_EQ(Saved().bodyText, "Hi\xFFthere!!");
    // The scratch database lives in the private temporary folder; the copy is gone again.
    ASSERT_TRUE(scratch->IsOpen());
    EXPECT_EQ(scratch->path(), platform::JoinPath(tempFolder, "QuillboxTemp.nsf"));
    EXPECT_EQ(scratch->database().GetNoteCount(), 0);
}

TEST_F(MailConverterTest, AttachmentsGetSafeNamesAndEqualNamesKeepTheirOwnContent) {
    // "Hello, world!" and "Other" under the same name, plus names to make safe.
    Load(MemoDxl(1, test::FileItem("C:\\docs\\report.pdf", test::kAttachmentBase64, 13) +
                        test::FileItem("report.pdf", "T3RoZXI=", 5) + test::FileItem("a:b?.txt", "T3RoZXI=", 5) +
                        test::FileItem("setup.exe", "T3RoZXI=", 5) + test::FileItem("?*", "T3RoZXI=", 5) +
                        test::FileItem("/x/report.pdf", "VGhpcmQ=", 5)));
    ASSERT_TRUE(Convert(1));
    const auto& r = Saved();
    ASSERT_EQ(r.attachmentFiles.size(), 6u);
    EXPECT_EQ(r.attachmentFiles[0], platform::JoinPath(tempFolder, "report.pdf"));
    EXPECT_EQ(r.attachmentFiles[1], platform::JoinPath(tempFolder, "2/report.pdf"));
    EXPECT_EQ(r.attachmentContents[0], "Hello, world!");
    EXPECT_EQ(r.attachmentContents[1], "Other");
    EXPECT_EQ(r.attachmentFiles[2], platform::JoinPath(tempFolder, "a b .txt"));
    EXPECT_EQ(r.attachmentFiles[3], platform::JoinPath(tempFolder, "setup.EX~"));
    EXPECT_EQ(r.attachmentFiles[4], platform::JoinPath(tempFolder, "FILE1.EX~"));
    EXPECT_EQ(r.attachmentFiles[5], platform::JoinPath(tempFolder, "3/report.pdf"));
    EXPECT_EQ(r.attachmentContents[5], "Third");
    // Everything went well, so the extraction lines are not logged; the files are gone.
    EXPECT_EQ(Log().find("Extracting attachment"), std::string::npos);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MailConverterTest, AttachmentsNeverReplaceFilesOfTheTemporaryFolder) {
    const std::string logPath = platform::JoinPath(tempFolder, "exportlog.txt");
    log.SetSingleDatabasePath(logPath);
    log.Write("first line\n");
    Load(MemoDxl(1, test::FileItem("exportlog.txt", test::kAttachmentBase64, 13)));
    ASSERT_TRUE(Convert(1));
    ASSERT_EQ(Saved().attachmentFiles.size(), 1u);
    EXPECT_EQ(Saved().attachmentFiles[0], platform::JoinPath(tempFolder, "2/exportlog.txt"));
    EXPECT_EQ(Saved().attachmentContents[0], "Hello, world!");
    const std::string text = test::ReadFile(logPath);
    EXPECT_EQ(text.substr(0, 11), "first line\n") << "the log is still there";
    EXPECT_FALSE(std::filesystem::exists(platform::JoinPath(tempFolder, "2")));
}

TEST_F(MailConverterTest, PicturesAreNumberedPerDocumentAndFailuresLeaveGaps) {
    settings.AttachImages = true;
    const std::string gif = "<picture width='1' height='1'><gif>R0lGODlhAQABAIAAAAAAAP///ywAAAAAAQABAAACAUwAOw==</gif></picture>";
    const std::string broken = "<picture width='1' height='1'><gif>AAAAAAAA</gif></picture>";
    Load(MemoDxl(1, "<item name='Body'><richtext><par>" + gif + "</par><par>" + broken + "</par><par>" + gif +
                        "</par></richtext></item>") +
         MemoDxl(2, "<item name='Body'><richtext><par>" + gif + "</par></richtext></item>"));
    ASSERT_TRUE(Convert(1));
    ASSERT_TRUE(Convert(2));
    const std::string text = Log();
    auto image = [&](int n) { return platform::JoinPath(tempFolder, fmt::format("_IMAGE{}.tif", n)); };
    for (int n : {1, 2, 3}) EXPECT_NE(text.find("....Extract Image to: " + image(n) + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("_IMAGE4"), std::string::npos);
    // The broken picture keeps its number: the next one is still 3.
    EXPECT_NE(text.find("....Warning Unable to extract IMAGE2: "), std::string::npos) << text;
    EXPECT_EQ(Saved(0).attachmentFiles, (std::vector<std::string>{image(1), image(3)}));
    ASSERT_EQ(Saved(0).attachmentContents.size(), 2u);
    EXPECT_EQ(Saved(0).attachmentContents[0].substr(0, 4), std::string("II*\0", 4)) << "a TIFF file";
    // The second document starts again at 1.
    EXPECT_EQ(Saved(1).attachmentFiles, (std::vector<std::string>{image(1)}));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MailConverterTest, RtfBodyGoesIntoTheMessage) {
    settings.BodyFormat = 1;
    Load(MemoDxl(1, "<item name='Body'><richtext><par>Rich <run><font style='bold'/>text</run></par></richtext></item>"));
    ASSERT_TRUE(Convert(1));
    const std::string text = Log();
    EXPECT_EQ(text.find("Warning unable to export body in RTF format"), std::string::npos) << text;
    EXPECT_EQ(text.find("SaveRTF Error"), std::string::npos) << text;
    MapiPtr<IMessage> message = test::OnlyMessage(folder->folder.get());
    ASSERT_TRUE(message);
    MapiBuffer<SPropValue> rtf;
    EXPECT_TRUE(SUCCEEDED(HrGetOneProp(message.get(), PR_RTF_COMPRESSED, rtf.Put())));
    EXPECT_TRUE(TempFiles().empty()) << "the RTF file is deleted";
}

TEST_F(MailConverterTest, WithoutAPrivateTemporaryFolderNoFileIsWritten) {
    settings.BodyFormat = 1;
    settings.AttachImages = true;
    const std::string gif = "<picture width='1' height='1'><gif>R0lGODlhAQABAIAAAAAAAP///ywAAAAAAQABAAACAUwAOw==</gif></picture>";
    Load(MemoDxl(1, "<item name='Body'><richtext><par>Text" + gif + "</par></richtext></item>" +
                        test::FileItem("a.txt", test::kAttachmentBase64, 13)));
    converter = std::make_unique<test::RecordingMailConverter>(
        MailContext{run, settings, log, progress, outlook, translator, "", *scratch, {}});
    ASSERT_TRUE(Convert(1));
    const std::string text = Log();
    EXPECT_NE(text.find("....~#>Warning unable to export body in RTF format\n"), std::string::npos) << text;
    EXPECT_NE(text.find("....Warning Unable to extract IMAGE1: "), std::string::npos) << text;
    EXPECT_NE(text.find("....ERROR: Unable to extract attachments: no private temporary folder\n"), std::string::npos)
        << text;
    EXPECT_TRUE(Saved().attachmentFiles.empty());
    EXPECT_EQ(Saved().bodyText, "\nText") << "each paragraph starts with a line feed";
    EXPECT_EQ(run.exportedCount, 1);
}

TEST_F(MailConverterTest, FailuresEndOnlyTheirDocumentAndLeaveNothingBehind) {
    Load(MemoDxl(1, TextItem("Subject", "Notes error") + test::FileItem("a.txt", test::kAttachmentBase64, 13)) +
         MemoDxl(2, TextItem("Subject", "Other error") + test::FileItem("b.txt", test::kAttachmentBase64, 13)) +
         MemoDxl(3, TextItem("Subject", "Fine")));
    converter->raise = LNERR_FILE_WRITE;
    EXPECT_FALSE(Convert(1));
    converter->raise = 0;
    EXPECT_FALSE(Convert(2));
    converter->raise.reset();
    EXPECT_TRUE(Convert(3));

    const std::string text = Log();
    const std::string notesText = NotesErrorText(LNERR_FILE_WRITE);
    EXPECT_NE(text.find("....~#>ERROR: " + notesText + " - C1770\n"), std::string::npos) << text;
    EXPECT_EQ(run.notesErrorText, notesText + "\n");
    EXPECT_NE(text.find("....~#>ERROR Unexpected Error [D:1770]\n"), std::string::npos) << text;
    EXPECT_TRUE(TempFiles().empty()) << "extracted files are removed after a failure too";
    EXPECT_EQ(MessageCount(), 1u);
    EXPECT_EQ(run.exportedCount, 1);
}

TEST_F(MailConverterTest, RealMimeMemoFromTheTestData) {
    const std::string file = test::ReadFile(test::TestDataDir() + "/dxl/jnx-memo-mime-spam.xml");
    const auto start = file.find("<document");
    const auto end = file.rfind("</document>");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    Load(file.substr(start, end + 11 - start));
    LNNoteArray notes;
    {
        ScopedNotesThrowMode returnCodes(false);
        ASSERT_EQ(database.Search("SELECT Subject = \"Extra 60% 0ff EVERYTHING + Lots More Summer Savings.\"", &notes),
                  LNNOERROR);
    }
    ASSERT_EQ(notes.GetCount(), 1);
    LNDocument document = notes[0];
    LNITEMTYPE bodyType = 0;
    {
        ScopedNotesThrowMode returnCodes(false);
        ASSERT_EQ(document.Open(), LNNOERROR);
        document.GetItemType("Body", &bodyType);
    }
    ASSERT_TRUE(converter->Convert(*folder, session, document));
    const auto& r = Saved();
    EXPECT_EQ(r.subject, "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
    EXPECT_EQ(r.messageState, kStateSent);
    EXPECT_FALSE(r.senderAddress.empty());
    EXPECT_FALSE(r.toAddresses.empty());
    EXPECT_EQ(r.postedTime, platform::ToUtcSystemTime(1407518313));
    EXPECT_EQ(bodyType, TYPE_COMPOSITE) << "a MIME body reads as rich text";
    EXPECT_TRUE(r.bodyIsRichText);
    EXPECT_GT(r.bodyText.size(), 20u) << r.bodyText;
    EXPECT_EQ(r.bodyText.find("Content-Type"), std::string::npos) << "the body is text, not MIME source";
}

// With the run's kept files, every body, picture and attachment still
// appears under its own name with its own content only, is gone from that
// name once its message is saved (or failed), and the kept files go with
// their owner.
TEST_F(MailConverterTest, KeptFilesCarryEachDocumentsOwnContentAndGoWithTheRun) {
    settings.BodyFormat = 1;
    settings.AttachImages = true;
    const std::string gif = "<picture width='1' height='1'><gif>R0lGODlhAQABAIAAAAAAAP///ywAAAAAAQABAAACAUwAOw==</gif></picture>";
    const std::string body = "<item name='Body'><richtext><par>Rich" + gif + "</par></richtext></item>";
    recycled = std::make_unique<platform::RecycledFiles>(tempFolder);
    Load(MemoDxl(1, body + test::FileItem("report.pdf", test::kAttachmentBase64, 13)) +
         MemoDxl(2, body + test::FileItem("other.txt", "T3RoZXI=", 5)) +
         MemoDxl(3, TextItem("Subject", "Fails") + body + test::FileItem("c.txt", "VGhpcmQ=", 5)));
    ASSERT_TRUE(Convert(1));
    // The RTF body's file, kept once read, was lent to the picture; the
    // picture's and the attachment's are kept after the save.
    EXPECT_EQ(recycled->keptCount(), 2u);
    for (const std::string& file : TempFiles()) EXPECT_TRUE(IsKeptFile(file)) << file;

    ASSERT_TRUE(Convert(2));
    EXPECT_EQ(recycled->keptCount(), 2u) << "the second document's three files took only kept inodes";
    EXPECT_EQ(recycled->lentCount(), 0u) << "every name lent is removed again";
    EXPECT_EQ(Saved(1).attachmentFiles,
              (std::vector<std::string>{platform::JoinPath(tempFolder, "_IMAGE1.tif"),
                                        platform::JoinPath(tempFolder, "other.txt")}));
    ASSERT_EQ(Saved(1).attachmentContents.size(), 2u);
    EXPECT_EQ(Saved(1).attachmentContents[0], Saved(0).attachmentContents[0]) << "the same picture";
    EXPECT_EQ(Saved(1).attachmentContents[1], "Other") << "nothing of the longer file before it";
    EXPECT_EQ(MessageCount(), 2u);

    converter->raise = LNERR_FILE_WRITE;
    EXPECT_FALSE(Convert(3));
    for (const std::string& file : TempFiles()) EXPECT_TRUE(IsKeptFile(file)) << file;
    // Every RTF body went in whole: a kept file's stale bytes are written over and cut.
    EXPECT_EQ(Log().find("RTF format"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("SaveRTF Error"), std::string::npos) << Log();

    recycled.reset();
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MailConverterTest, ConversionSetRoutesMailToTheMailConverter) {
    Load(MemoDxl(1, TextItem("Subject", "Routed")));
    ConversionSet set(ConversionServices{run, settings, log, progress, outlook, translator, session, {}}, tempFolder);
    LNDocument document;
    {
        ScopedNotesThrowMode returnCodes(false);
        ASSERT_EQ(database.GetDocumentByUNID(test::MemoUnid(1), &document), LNNOERROR);
    }
    set.dispatcher().Dispatch(*folder, session, document);
    EXPECT_EQ(run.exportedCount, 1);
    EXPECT_EQ(MessageCount(), 1u);
}

// Two exports at once by one user must not share the fixed file names of
// bodies and pictures: each set works in a folder of its own, gone with it.
TEST_F(MailConverterTest, EachConversionSetWorksInAFolderOfItsOwn) {
    std::string first, second;
    {
        ConversionSet a(ConversionServices{run, settings, log, progress, outlook, translator, session, {}}, tempFolder);
        ConversionSet b(ConversionServices{run, settings, log, progress, outlook, translator, session, {}}, tempFolder);
        first = a.workFolder();
        second = b.workFolder();
        ASSERT_FALSE(first.empty());
        EXPECT_NE(first, second);
        EXPECT_EQ(first.rfind(tempFolder, 0), 0u) << first;
        struct stat st {};
        ASSERT_EQ(::stat(first.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        std::ofstream(first + "/RTF1.rtf") << "left behind by a failed document";
    }
    struct stat st {};
    EXPECT_NE(::stat(first.c_str(), &st), 0);
    EXPECT_NE(::stat(second.c_str(), &st), 0);
}

}  // namespace
}  // namespace qb

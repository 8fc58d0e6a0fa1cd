// The message writer on the in-memory store, read back through MAPI.

#include <gtest/gtest.h>

#include <cstdlib>

#include "SavedMessages.h"
#include "outlook/MessageRecord.h"
#include "outlook/NamedProperties.h"
#include "outlook/RtfBodyWriter.h"
#include "outlook/mapi/CompressedRtf.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "outlook/mapi/OneOffEntryId.h"
#include "outlook/PersonalFolders.h"
#include "SampleMessage.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using namespace qb::mapi;

class MessageWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::OpenMemoryMailFolder(dir.path(), configHome, outlook, folder));
    }
    void TearDown() override {
        folder.reset();
        outlook.Logoff();
        outlook.Uninitialize();
        SetMsgStoreProvider(nullptr);
        configHome.reset();
    }

    std::unique_ptr<MessageRecord> Filled(std::int32_t state) {
        auto record = NewMessageRecord(outlook, *folder);
        test::FillSampleMessage(*record, state);
        record->subject = "Quarterly report ✓";
        return record;
    }

    MapiPtr<IMessage> OnlyMessage() { return test::OnlyMessage(folder->folder.get()); }
    std::optional<LONG> Long(IMessage* m, ULONG tag) {
        MapiBuffer<SPropValue> v;
        if (FAILED(HrGetOneProp(m, tag, v.Put()))) return std::nullopt;
        return v->Value.l;
    }
    std::optional<std::string> String(IMessage* m, ULONG tag) {
        MapiBuffer<SPropValue> v;
        if (FAILED(HrGetOneProp(m, tag, v.Put()))) return std::nullopt;
        return std::string(v->Value.lpszA);
    }

    test::TempDir dir;
    std::optional<test::ScopedEnv> configHome;
    CMapiSession outlook;
    std::optional<FolderHandle> folder;
};

TEST_F(MessageWriterTest, ReceivedMessageCarriesSenderRecipientsAndFlags) {
    auto record = Filled(kStateReceived);
    record->replyToName = "Replies";
    record->replyToAddress = "replies@example.com";
    record->headerText = "Received: by mail";
    ASSERT_EQ(record->SaveMessage(), S_OK) << record->lastError;
    EXPECT_EQ(record->stepCode, 10000);
    record.reset();

    auto message = OnlyMessage();
    EXPECT_EQ(String(message.get(), PR_SUBJECT), "Quarterly report ✓");
    EXPECT_EQ(String(message.get(), PR_MESSAGE_CLASS), "IPM.Note");
    EXPECT_EQ(String(message.get(), PR_SENDER_NAME), "User Two");
    EXPECT_EQ(String(message.get(), PR_SENDER_EMAIL_ADDRESS), "two@example.com");
    EXPECT_EQ(String(message.get(), PR_REPLY_RECIPIENT_NAMES), "replies@example.com");
    EXPECT_EQ(String(message.get(), PR_TRANSPORT_MESSAGE_HEADERS), "Received: by mail");
    EXPECT_TRUE(*Long(message.get(), PR_MESSAGE_FLAGS) & MSGFLAG_READ);

    MapiBuffer<SPropValue> submit;
    ASSERT_EQ(HrGetOneProp(message.get(), PR_CLIENT_SUBMIT_TIME, submit.Put()), S_OK);
    const auto ft = (static_cast<std::uint64_t>(submit->Value.ft.dwHighDateTime) << 32) | submit->Value.ft.dwLowDateTime;
    EXPECT_EQ(platform::FileTimeToUnix(ft), 1709974800);  // 2024-03-09 09:00:00 UTC, unshifted

    MapiPtr<IMAPITable> recipients;
    ASSERT_EQ(message->GetRecipientTable(0, recipients.Put()), S_OK);
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(recipients.get(), nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 3u) << "the recipient without an address is left out";
    std::vector<std::pair<LONG, std::string>> seen;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        seen.emplace_back(PpropFindProp(row.lpProps, row.cValues, PR_RECIPIENT_TYPE)->Value.l,
                          PpropFindProp(row.lpProps, row.cValues, PR_EMAIL_ADDRESS)->Value.lpszA);
        const LPSPropValue id = PpropFindProp(row.lpProps, row.cValues, PR_ENTRYID);
        ASSERT_TRUE(id);
        auto parsed = ParseOneOffEntryId(id->Value.bin.lpb, id->Value.bin.cb);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->addressType, "SMTP");
    }
    EXPECT_EQ(seen, (std::vector<std::pair<LONG, std::string>>{
                        {MAPI_TO, "one@example.com"}, {MAPI_CC, "cc@example.com"}, {MAPI_BCC, "bcc@example.com"}}));
}

TEST_F(MessageWriterTest, DraftWritesNoSenderAndAHalfReplyToWritesNothing) {
    auto record = Filled(kStateDraft);
    record->replyToAddress = "replies@example.com";  // no name
    ASSERT_EQ(record->SaveMessage(), S_OK);
    record.reset();
    auto message = OnlyMessage();
    EXPECT_EQ(*Long(message.get(), PR_MESSAGE_FLAGS) & MSGFLAG_UNSENT, static_cast<LONG>(MSGFLAG_UNSENT));
    EXPECT_FALSE(String(message.get(), PR_SENDER_NAME));
    EXPECT_FALSE(Long(message.get(), PR_CLIENT_SUBMIT_TIME));

    auto sent = Filled(kStateSent);
    sent->replyToAddress = "replies@example.com";
    ASSERT_EQ(sent->SaveMessage(), S_OK);
    EXPECT_FALSE(String(sent->message(), PR_REPLY_RECIPIENT_NAMES));
    EXPECT_FALSE(String(sent->message(), PR_TRANSPORT_MESSAGE_HEADERS)) << "headers belong to received mail only";
}

TEST_F(MessageWriterTest, AttachmentsAndRichTextBody) {
    auto record = Filled(kStateReceived);
    record->attachmentFiles = {dir.Write("report.pdf", std::string(100000, 'x')), dir.Write("a.txt", "")};
    const std::string rtf = dir.Write("body.rtf", "{\\rtf1\\ansi Hello {\\b bold}\\par}");
    ASSERT_EQ(record->WriteRichTextBody(rtf), S_OK) << record->lastError;
    ASSERT_EQ(record->SaveMessage(), S_OK) << record->lastError;
    record.reset();
    auto message = OnlyMessage();

    MapiPtr<IMAPITable> attachments;
    ASSERT_EQ(message->GetAttachmentTable(0, attachments.Put()), S_OK);
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(attachments.get(), nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 2u);
    const SRow& first = rows->aRow[0];
    EXPECT_STREQ(PpropFindProp(first.lpProps, first.cValues, PR_ATTACH_FILENAME)->Value.lpszA, "report.pdf");
    EXPECT_EQ(PpropFindProp(first.lpProps, first.cValues, PR_ATTACH_METHOD)->Value.l, ATTACH_BY_VALUE);

    MapiPtr<IStream> compressed;
    ASSERT_EQ(message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, compressed.PutUnknown()), S_OK);
    MapiPtr<IStream> plain;
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, plain.Put()), S_OK);
    std::vector<BYTE> bytes;
    ASSERT_EQ(ReadWholeStream(*plain, bytes), S_OK);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "{\\rtf1\\ansi Hello {\\b bold}\\par}");

    std::string error;
    EXPECT_EQ(WriteRtfBody(message.get(), "", error), S_OK);
    EXPECT_EQ(error, "no input file name specified");
    EXPECT_TRUE(FAILED(WriteRtfBody(message.get(), dir.File("missing.rtf"), error)));
    EXPECT_EQ(error, "Unable open file '" + dir.File("missing.rtf") + "' for read");
}

TEST_F(MessageWriterTest, NamedPropertiesResolveOnTheStore) {
    ASSERT_TRUE(InitNamedProps(outlook)) << outlook.lastError;
    const NamedPropertyTags& tags = NamedTags();
    EXPECT_EQ(PROP_TYPE(tags.keywords), PT_MV_STRING8);
    EXPECT_GE(PROP_ID(tags.keywords), 0x8000u);
    EXPECT_EQ(tags.appointment.size(), 14u);
    EXPECT_EQ(tags.common.size(), 7u);
    EXPECT_EQ(tags.task.size(), 7u);
    ASSERT_EQ(tags.address.size(), 33u);
    EXPECT_EQ(PROP_TYPE(tags.address[25]), PT_MV_LONG);
    // A second run gets the same identifiers from the name-to-id map.
    const NamedPropertyTags first = tags;
    ASSERT_TRUE(InitNamedProps(outlook));
    EXPECT_EQ(NamedTags().appointment, first.appointment);
}

}  // namespace
}  // namespace qb

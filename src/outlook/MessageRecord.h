#pragma once
// One converted mail document and the writer that saves it as an IPM.Note:
// recipients with one-off SMTP entry identifiers, sender and sent-representing
// identities, reply-to, dates, flags, the plain body, attachments by value
// and the read flag.

#include <memory>
#include <string>
#include <vector>

#include "outlook/OutlookSession.h"
#include "shell/platform/LocalTime.h"

namespace qb {

// Message states of a mail document.
enum MessageState : std::int32_t { kStateDraft = 1, kStateSent = 2, kStateReceived = 3 };

class MessageRecord {
public:
    MessageRecord(CMapiSession& session, mapi::MapiPtr<IMessage> message)
        : session_(session), message_(std::move(message)) {}
    MessageRecord(const MessageRecord&) = delete;
    MessageRecord& operator=(const MessageRecord&) = delete;

    std::int32_t messageState = 0;
    std::string senderAddress, senderName;
    std::string replyToAddress, replyToName;
    std::string principalAddress, principalName;
    std::vector<std::string> toAddresses, toNames;
    std::vector<std::string> ccAddresses, ccNames;
    std::vector<std::string> bccAddresses, bccNames;
    std::string bodyText;
    std::string subject;
    bool markAsRead = false;
    bool bodyIsRichText = false;
    // Calendar fields handed to the writer, which turns them into file times
    // without any zone shift: the converter gives them in UTC.
    platform::SystemTime creationTime{};
    platform::SystemTime deliveryTime{};
    platform::SystemTime postedTime{};
    std::string headerText;
    std::vector<std::string> attachmentFiles;
    std::int32_t stepCode = 0;
    std::string lastError;
    // The attachment files SaveMessage could not attach, each with its cause;
    // the message is saved without them.
    std::vector<std::string> lostAttachments;

    // Writes the record into its message and saves it; 0 on success.
    HRESULT SaveMessage(ULONG_PTR uiHandle = 0);
    // Copies an RTF file into the message's compressed RTF body.
    HRESULT WriteRichTextBody(const std::string& rtfPath);

    IMessage* message() const { return message_.get(); }

private:
    CMapiSession& session_;
    mapi::MapiPtr<IMessage> message_;
};

// A new, empty record on a new message of the folder; null when the folder
// refuses to create a message, `error` then saying why (the store's own text).
std::unique_ptr<MessageRecord> NewMessageRecord(CMapiSession& session, const FolderHandle& folder,
                                                std::string* error = nullptr);

// Attaches a file by value; the attachment is named after the file. On
// failure `error` says why.
HRESULT AttachFile(IMessage* message, const std::string& path, FILETIME creationTime, std::string* error = nullptr);

}  // namespace qb

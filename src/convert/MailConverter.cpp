#include "convert/MailConverter.h"

#include <fmt/format.h>

#include <optional>

#include "convert/AttachmentExtractor.h"
#include "convert/BodyConverter.h"
#include "convert/DateFilter.h"
#include "convert/EntryFields.h"
#include "convert/TimeReaders.h"
#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/FileInfo.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb {
namespace {

constexpr const char* kDateLineFormat = "%A, %B %d, %Y";
constexpr const char* kUnknownSender = "unknown";
constexpr const char* kDecryptError =
    "....~#>ERROR: Current Lotus Notes ID could not decrypt this encrypted document";

std::string DateLineText(const LNDatetime& when) {
    return platform::FormatLocalTime(when.GetUnixTime(), kDateLineFormat);
}

}  // namespace

struct MailConverter::Work {
    LNDocument document;
    std::unique_ptr<MessageRecord> record;
    std::optional<BodyConverter> body;
    std::string bodyText;
    std::optional<AttachmentExtractor> extractor;
};

MailConverter::MailConverter(MailContext context)
    : context_(std::move(context)),
      bodyContext_{context_.settings, context_.log, context_.tempFolder, context_.run.exportedCount, context_.scratch,
                   [this](const std::string& text) { ReportFieldTextFailure(text); }, context_.recycled} {}

bool MailConverter::Convert(const FolderHandle& folder, LNNotesSession&, LNDocument& document) {
    step_ = 0;
    Work work;
    work.document = document;
    try {
        return ConvertSteps(folder, work);
    } catch (const LNStatusError& e) {
        const std::string text = NotesErrorText(e.GetStatus());
        context_.log.Write(fmt::format("....~#>ERROR: {} - C{}\n", text, step_));
        context_.run.notesErrorText += text + "\n";
    } catch (...) {
        context_.log.Write(fmt::format("....~#>ERROR Unexpected Error [D:{}]\n", step_));
    }
    CleanUp(work);
    return false;
}

bool MailConverter::ConvertSteps(const FolderHandle& folder, Work& work) {
    const std::string statusText = fmt::format("Exporting Document {}", context_.run.exportedCount + 1);
    LNDocument& document = work.document;
    if (DocumentSavedBefore(context_.run, context_.log, std::string(document.GetUniversalID()))) return true;

    Step(200);
    if (!document.IsOpen()) {
        ScopedNotesThrowMode returnCodes(false);
        if (const LNSTATUS status = document.Open(); status != LNNOERROR) {
            // The reader could not take the document at all: never a silent skip.
            context_.log.Write(fmt::format("....~#>ERROR Unable to read the document (note id 0x{:X}): {} [D:{}]\n",
                                           document.GetNoteID(), NotesErrorText(status), step_));
            return false;
        }
    }

    const LNDatetime documentDate = DocumentDate(document);
    Step(220);
    const LNDatetimeParts dateParts = documentDate.GetParts();
    if (!DateFilter::FromSettings(context_.settings)
             .Passes(dateParts.year, dateParts.month, dateParts.day, dateParts.hour, dateParts.minute,
                     dateParts.second)) {
        ScopedNotesThrowMode returnCodes(false);
        document.Close();
        ++context_.run.filteredCount;
        return false;
    }

    Step(230);
    std::string createError;
    work.record = NewMessageRecord(context_.outlook, folder, &createError);
    if (!work.record) {
        // Nothing can be written for this document, nor for any after it.
        context_.log.Write(fmt::format("....~#>ERROR Unable to create a message in the Outlook folder: {} [D:{}]\n",
                                       createError, step_));
        StopRun("Unable to create a message in the Outlook store: " + createError);
        CleanUp(work);
        return false;
    }
    MessageRecord& record = *work.record;
    record.universalId = document.GetUniversalID();

    Step(250);
    std::string decryptError;
    if (document.IsEncrypted()) {
        try {
            ScopedNotesThrowMode returnCodes(false);
            if (document.Decrypt() != LNNOERROR) decryptError = kDecryptError;
        } catch (...) {
            decryptError = kDecryptError;
        }
    }

    Step(300);
    record.messageState = document.HasItem("PostedDate")      ? kStateSent
                          : document.HasItem("DeliveredDate") ? kStateReceived
                                                              : kStateDraft;
    FillRecipients(document, record);
    FillSender(document, record);
    LogSubject(document, record, statusText, decryptError);

    work.body.emplace(bodyContext_, step_);
    work.body->ConvertBody(document, record, work.bodyText);

    FillTimes(document, documentDate, record);

    Step(1400);
    work.extractor.emplace(context_.settings.AttachmentsRenameEXEs, record.attachmentFiles, context_.recycled);
    Step(1500);
    if (!work.extractor->Extract(context_.tempFolder, document)) {
        for (const std::string& line : work.extractor->messages()) context_.log.Write(line + "\n");
    }

    Step(1610);
    if (work.body->HasScratchCopy()) work.body->DeleteScratchCopy(document);
    Step(1620);
    {
        ScopedNotesThrowMode returnCodes(false);
        document.Close();
    }

    Step(1720);
    record.bodyText = std::move(work.bodyText);
    Step(1770);
    record.markAsRead = true;

    const bool saved = SaveRecord(record);
    ReportLostParts(work, saved);

    Step(1800);
    work.extractor->RemoveFiles();
    work.extractor.reset();
    Step(1900);
    work.record.reset();
    Step(2000);
    return true;
}

LNDatetime MailConverter::DocumentDate(const LNDocument& document) {
    {
        ScopedNotesThrowMode returnCodes(false);
        Step(1000);
        LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
        LNDatetimes delivered;
        if (document.HasItem("DeliveredDate") && document.GetItemType("DeliveredDate", &type) == LNNOERROR &&
            (type == TYPE_TIME || type == TYPE_TIME_RANGE) &&
            document.GetItem("DeliveredDate", &delivered) == LNNOERROR && delivered.GetCount() > 0) {
            Step(1010);
            const LNDatetime first = delivered[0];
            Step(1030);
            if (!first.IsNull()) {
                Step(1040);
                context_.progress.SetSecondaryText(kDateLine, DateLineText(first));
                return first;
            }
        }
    }
    Step(1060);
    context_.progress.SetSecondaryText(kDateLine, "");
    return document.GetCreated();
}

void MailConverter::FillRecipients(const LNDocument& document, MessageRecord& record) {
    struct Class {
        const char* item;
        std::int32_t step;
        std::vector<std::string>& names;
        std::vector<std::string>& addresses;
    };
    const Class classes[] = {{"SendTo", 400, record.toNames, record.toAddresses},
                             {"CopyTo", 500, record.ccNames, record.ccAddresses},
                             {"BlindCopyTo", 600, record.bccNames, record.bccAddresses}};
    for (const Class& cls : classes) {
        Step(cls.step);
        LNText values;
        bool readable = false;
        {
            ScopedNotesThrowMode returnCodes(false);
            readable = document.HasItem(cls.item) && document.GetItem(cls.item, &values) == LNNOERROR &&
                       !values.IsNull();
        }
        auto add = [&](const std::string& value) {
            Step(cls.step + 4);
            const AddressParts parts = context_.translator.TranslateAddress(value, true);
            Step(cls.step + 5);
            cls.names.push_back(parts.displayName);
            Step(cls.step + 6);
            cls.addresses.push_back(parts.address);
            Step(cls.step + 8);
        };
        if (readable) {
            for (const LNString& value : values.GetTexts()) {
                Step(cls.step + 2);
                add(value);
            }
        } else if (cls.step == 400) {
            // Every message gets at least one To entry.
            add("");
        }
    }
}

void MailConverter::FillSender(const LNDocument& document, MessageRecord& record) {
    Step(700);
    std::string sender;
    if (document.HasItem("From")) {
        sender = FirstText(document, "From").value_or(kUnknownSender);
    } else {
        sender = FirstText(document, "$UpdatedBy").value_or(kUnknownSender);
    }
    const AddressParts from = context_.translator.TranslateAddress(sender, true);
    record.senderName = from.displayName;
    record.senderAddress = from.address;

    const std::string principalText = FirstText(document, "Principal").value_or(sender);
    const AddressParts principal = context_.translator.TranslateAddress(principalText, true);
    record.principalName = principal.displayName;
    record.principalAddress = principal.address;

    if (const auto replyTo = FirstText(document, "ReplyTo")) {
        const AddressParts parts = context_.translator.TranslateAddress(*replyTo, true);
        record.replyToName = parts.displayName;
        record.replyToAddress = parts.address;
    }
}

void MailConverter::LogSubject(const LNDocument& document, MessageRecord& record,
                                      const std::string& statusText, const std::string& decryptError) {
    Step(800);
    record.subject = FirstText(document, "Subject").value_or("");
    context_.log.Write(
        fmt::format("....Exporting document [{}] Subject = {}\n", context_.run.exportedCount + 1, record.subject));
    if (!decryptError.empty()) context_.log.Write(decryptError + "\n");
    // Whatever the reader had to leave out of this document is said here, so
    // that a partly read body is never passed off as whole.
    for (const LNString& warning : document.GetReadWarnings())
        context_.log.Write(fmt::format("....~#>Warning {}\n", warning));
    context_.progress.SetSecondaryText(kDocumentLine, fmt::format("{}  Subject: {}", statusText, record.subject));
}

void MailConverter::FillTimes(const LNDocument& document, const LNDatetime& documentDate, MessageRecord& record) {
    // The writer stores the calendar fields as they are, so every time goes
    // to it in UTC.
    Step(1100);
    const NOTEHANDLE note = document.GetNoteHandle();
    if (const auto created = ReadMailTime(note, kCreatedItemName)) {
        record.creationTime = created->Utc();
    } else {
        record.creationTime = platform::ToUtcSystemTime(document.GetCreated().GetUnixTime());
    }

    Step(1150);
    record.deliveryTime = platform::ToUtcSystemTime(documentDate.GetUnixTime());
    record.deliveryTime.milliseconds = 0;

    Step(1201);
    if (const auto posted = ReadMailTime(note, "PostedDate")) {
        record.postedTime = posted->Utc();
        Step(1250);
        context_.progress.SetSecondaryText(kDateLine, DateLineText(LNDatetime::FromTimedate(posted->stored)));
    } else {
        record.postedTime = record.creationTime;
    }
}

bool MailConverter::SaveRecord(MessageRecord& record) {
    const HRESULT hr = SaveMessage(record);
    for (const std::string& lost : record.lostAttachments)
        context_.log.Write(fmt::format("....~#>ERROR Unable to attach {}\n", lost));
    if (FAILED(hr)) {
        Step(1780);
        context_.log.Write(fmt::format("....~#>ERROR: Unable to save message to mail store [L:{}:{}]\n",
                                       record.stepCode, record.lastError));
        // The store's own save failed (not the message's content): the file
        // cannot take more.
        if (record.stepCode == kSaveChangesStep)
            StopRun("Unable to save a message to the Outlook store: " + record.lastError);
        Step(1790);
        return false;
    }
    ++context_.run.exportedCount;
    return true;
}

void MailConverter::ReportLostParts(const Work& work, bool saved) {
    const bool lost = work.body->lostPart() || work.extractor->lostAttachment() || !work.record->lostAttachments.empty();
    if (saved && lost) {
        ++context_.run.incompleteCount;
        context_.log.Write("....~#>Warning This document was exported without an attachment or part of its body\n");
    }
    if (!work.body->writeFailure().empty()) StopRun(work.body->writeFailure());
    if (!work.extractor->writeFailure().empty()) StopRun(work.extractor->writeFailure());
}

void MailConverter::StopRun(const std::string& text) { qb::StopRun(context_.run, text); }

// After a caught failure: nothing of the document may stay behind, neither
// open nor in the temporary folder nor in the scratch database.
void MailConverter::CleanUp(Work& work) {
    try {
        ScopedNotesThrowMode returnCodes(false);
        if (work.body && work.body->HasScratchCopy()) work.body->DeleteScratchCopy(work.document);
        if (!work.document.IsNull() && work.document.IsOpen()) work.document.Close();
    } catch (...) {
    }
    if (work.extractor) {
        work.extractor->RemoveFiles();
    } else if (work.record) {
        for (const std::string& path : work.record->attachmentFiles) platform::RemoveFile(context_.recycled, path);
    }
    work.extractor.reset();
    work.bodyText.clear();
    work.record.reset();
}

void MailConverter::ReportFieldTextFailure(const std::string& text) {
    context_.log.Write("...." + text + "\n");
    if (context_.showFieldTextFailure) context_.showFieldTextFailure(text);
}

}  // namespace qb

#pragma once
// One Notes mail document into one IPM.Note of the current Outlook folder:
// its state, recipients, sender, principal, reply-to, subject, body,
// pictures, attachments and times, read in a fixed order with fixed
// fallbacks. Nothing that goes wrong with one document stops the run.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "convert/AddressTranslation.h"
#include "convert/BodyConverter.h"
#include "convert/DocumentDispatcher.h"
#include "convert/ExportRun.h"
#include "convert/ScratchDatabase.h"
#include "outlook/MessageRecord.h"

namespace qb {

class ExportLog;
class ProgressSink;
class AttachmentExtractor;
struct ExportSettings;

// What mail conversion works with during a run.
struct MailContext {
    ExportRun& run;  // exportedCount, the collected Notes error texts
    const ExportSettings& settings;
    const ExportLog& log;
    ProgressSink& progress;  // secondary line 1: the document; line 2: its date
    CMapiSession& outlook;
    const AddressTranslator& translator;
    std::string tempFolder;  // the private per-user temporary folder
    ScratchDatabase& scratch;
    // Shown when the plain text reader fails on an item; none: logged only.
    std::function<void(const std::string&)> showFieldTextFailure;
    // The run's kept temporary files (RecycledFiles); null: none kept.
    platform::RecycledFiles* recycled = nullptr;
};

inline constexpr int kDocumentLine = 1;
// The writer's step of the store's own save (SaveChanges).
inline constexpr std::int32_t kSaveChangesStep = 6000;
inline constexpr int kDateLine = 2;

class MailConverter : public DocumentConverter {
public:
    explicit MailConverter(MailContext context);
    MailConverter(const MailConverter&) = delete;
    MailConverter& operator=(const MailConverter&) = delete;

    // True when the document went through conversion (saved or not); false
    // when it could not be opened, the date filter left it out, or a failure
    // was caught.
    bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;
    // Closes the scratch database.
    void EndRun() override { context_.scratch.Close(); }

    // The step the last conversion reached.
    std::int32_t stepCode() const { return step_; }

protected:
    // The message writer's save; a seam for tests that watch what is saved.
    virtual HRESULT SaveMessage(MessageRecord& record) { return record.SaveMessage(); }

private:
    struct Work;
    bool ConvertSteps(const FolderHandle& folder, Work& work);
    LNDatetime DocumentDate(const LNDocument& document);
    void FillRecipients(const LNDocument& document, MessageRecord& record);
    void FillSender(const LNDocument& document, MessageRecord& record);
    void LogSubject(const LNDocument& document, MessageRecord& record, const std::string& statusText,
                           const std::string& decryptError);
    void FillTimes(const LNDocument& document, const LNDatetime& documentDate, MessageRecord& record);
    // True when the message was saved.
    bool SaveRecord(MessageRecord& record);
    // Counts and logs a document saved without an attachment or part of its
    // body; a write failure of the temporary folder stops the run.
    void ReportLostParts(const Work& work, bool saved);
    // Ends the run after this document (the first cause is kept).
    void StopRun(const std::string& text);
    void CleanUp(Work& work);
    void ReportFieldTextFailure(const std::string& text);
    void Step(std::int32_t value) { step_ = value; }

    MailContext context_;
    BodyContext bodyContext_;
    std::int32_t step_ = 0;
};

}  // namespace qb

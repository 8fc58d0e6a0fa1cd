#pragma once
// One Notes person or contact document into one Outlook contact of the
// contacts folder: names, e-mail addresses (an Internet address wins over a
// Notes one), phones, home and business addresses composed from their parts,
// dates, lists, body and attachments. A failure ends that document only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/AddressTranslation.h"
#include "convert/DocumentDispatcher.h"
#include "convert/ExportRun.h"
#include "outlook/ContactRecord.h"
#include "shell/platform/RecycledFiles.h"

namespace qb {

class ExportLog;
class MessageSink;
class ProgressSink;
struct ExportSettings;

// What contact and group conversion work with during a run.
struct AddressBookContext {
    ExportRun& run;  // exportedCount, offsets
    const ExportSettings& settings;
    const ExportLog& log;
    ProgressSink& progress;  // secondary line 2: the document
    CMapiSession& outlook;
    const AddressTranslator& translator;
    std::string tempFolder;  // where attachments are extracted
    // Where a failed SetProps is shown as well as logged; null: logged only.
    // Shown with an OK button only, so an unattended run never waits.
    MessageSink* messages = nullptr;
    platform::RecycledFiles* recycled = nullptr;  // the run's kept temporary files; null: none kept
};

// What the writer said of one saved contact or list, in the log (and the
// message sink for a failed SetProps), naming the item. True when saved.
bool ReportItemSave(const AddressBookContext& context, const char* kind, const std::string& name, HRESULT result,
                    const std::optional<SetPropsFailure>& setPropsFailure, const std::vector<std::string>& dropped,
                    const std::string& lastError);

class ContactConverter : public DocumentConverter {
public:
    explicit ContactConverter(AddressBookContext context) : context_(std::move(context)) {}

    // True when the contact was saved.
    bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;

    std::int32_t stepCode() const { return step_; }

protected:
    // The writer's save; a seam for tests.
    virtual HRESULT SaveContact(ContactRecord& record, const std::string& formName) {
        return record.SaveContact(0, formName);
    }

private:
    bool ConvertSteps(const FolderHandle& folder, LNDocument& document, std::string& nameText);
    void FillBody(const LNDocument& document, ContactRecord& record);
    void FillDates(const LNDocument& document, ContactRecord& record);
    void FillNames(const LNDocument& document, ContactRecord& record, std::string& nameText);
    void FillEmail(const LNDocument& document, ContactRecord& record);
    void FillAddresses(const LNDocument& document, ContactRecord& record);
    void Step(std::int32_t value) { step_ = value; }

    AddressBookContext context_;
    std::int32_t step_ = 0;
};

}  // namespace qb

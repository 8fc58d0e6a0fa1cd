#include "convert/GroupConverter.h"

#include <fmt/format.h>

#include "convert/EntryFields.h"
#include "convert/TimeReaders.h"
#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"
#include "shell/report/ProgressSink.h"

namespace qb {

bool GroupConverter::Convert(const FolderHandle& folder, LNNotesSession&, LNDocument& document) {
    step_ = 0;
    try {
        return ConvertSteps(folder, document);
    } catch (const LNStatusError& e) {
        context_.log.Write(fmt::format("....~#>ERROR DistList LOTUS NOTES ERROR: {} [{}]\n",
                                       NotesErrorText(e.GetStatus()), step_));
    } catch (...) {
        context_.log.Write(fmt::format("....~#>ERROR Unexpected DistList Error [{}]\n", step_));
    }
    return false;
}

bool GroupConverter::ConvertSteps(const FolderHandle& folder, LNDocument& document) {
    const std::string statusText = fmt::format("Exporting Document {}", context_.run.exportedCount + 1);
    const std::string universalId(document.GetUniversalID());
    if (DocumentSavedBefore(context_.run, context_.log, universalId)) return true;
    Step(500);
    std::string createError;
    std::unique_ptr<DistListRecord> record = NewDistListRecord(context_.outlook, folder, &createError);
    if (!record) {
        context_.log.Write(fmt::format(
            "....~#>ERROR Unable to create a distribution list in the Outlook folder: {} [{}]\n", createError, step_));
        return false;
    }
    record->universalId = universalId;
    record->body = PlainBody(document, "Body", context_.log);
    Step(700);
    std::int32_t daylight = 0;
    record->creationTime = platform::ToUtcSystemTime(
        ReadTimeItem(document, TimeFallback::Created, "", context_.run.offsets, daylight));
    record->modificationTime = platform::ToUtcSystemTime(
        ReadTimeItem(document, TimeFallback::Modified, "", context_.run.offsets, daylight));

    Step(1200);
    record->markAsRead = false;
    context_.progress.SetSecondaryText(2, statusText);
    Step(1300);
    record->isPrivate = FirstText(document, "OrgConfidential").value_or("") == "1";

    Step(1600);
    const std::vector<std::string> listName = AllTexts(document, "ListName").value_or(std::vector<std::string>{});
    record->listName = listName.empty() ? kInvalidGroupName
                                        : context_.translator.TranslateAddress(listName.front(), true).address;
    for (const std::string& value : AllTexts(document, "Members").value_or(std::vector<std::string>{})) {
        const AddressParts member = context_.translator.TranslateAddress(value, true);
        record->memberNames.push_back(member.displayName);
        record->memberAddresses.push_back(member.address);
    }
    record->categories = AllTexts(document, "Categories").value_or(std::vector<std::string>{});

    Step(1700);
    const HRESULT hr = SaveDistList(*record);
    Step(1800);
    return ReportItemSave(context_, "distribution list", record->listName, hr, record->setPropsFailure,
                          record->droppedValues, record->lastError);
}

}  // namespace qb

#pragma once
// The Calendar, Tasks, Contacts and Groups components. Each run selects its
// documents with a fixed Notes search formula, makes sure its Outlook folder
// exists with its folder class and takes new items, then hands every selected
// document, one at a time, to its converter. The runs differ only in the
// table of their texts (ComponentDefinition); what goes wrong with one entry
// ends that entry only.

#include <cstdint>
#include <functional>
#include <string>

#include "convert/DocumentDispatcher.h"
#include "convert/ExportRun.h"

namespace qb {

class ExportLog;
class ProgressSink;

// The fixed search formulas of the components.
inline constexpr const char* kCalendarFormula = R"(Form = "Appointment" & @IsAvailable(CalendarDateTime))";
inline constexpr const char* kTaskFormula =
    R"(Form = "Task" & !(ExcludeFromView = "T") & !(@IsAvailable(OrgRepeat) & !@IsResponseDoc))";
inline constexpr const char* kContactFormula = R"(Form = "Contact":"Person")";
inline constexpr const char* kGroupFormula = R"(Form = "Group")";

// What tells one run from another: its formula, folder class and texts. The
// error formats take the Notes error text (and where given the index and the
// run's step) as arguments; the count format takes the count.
struct ComponentDefinition {
    const char* formula;
    const char* folderClass;
    const char* openingLine;
    const char* formulaErrorFormat;  // {}: error text
    const char* nothingFoundLine;
    const char* searchErrorFormat;  // {}: error text
    const char* countFormat;        // {}: count; without the line end the status line shows
    const char* countLineEnd;       // appended for the log
    const char* secondCountLine;    // nullptr for none
    const char* entryLineFormat;    // {}: index; nullptr for none
    // Per entry: {0} index, {1} Notes error text, {2} the run's step.
    const char* entryNotesErrorFormat;
    // Per entry, any other failure: {0} the run's step.
    const char* entryUnexpectedFormat;
    // Set-up (search, folder): {0} index 0, {1} Notes error text / {0} step.
    const char* setupNotesErrorFormat;
    const char* setupUnexpectedFormat;
};

extern const ComponentDefinition kCalendarComponent;
extern const ComponentDefinition kTaskComponent;
extern const ComponentDefinition kContactComponent;
extern const ComponentDefinition kGroupComponent;

struct ComponentContext {
    ExportRun& run;  // processedCount, cancelRequested, lastErrorText
    const ExportLog& log;
    ProgressSink& progress;
    CMapiSession& outlook;
};

class ComponentRunner : public ComponentRuns {
public:
    // The calendar and tasks runs hand their documents to the dispatcher,
    // which routes them by Form. The contacts and groups runs call their
    // converters directly; without one the run says that the component is
    // not available.
    ComponentRunner(const ComponentContext& context, DocumentDispatcher& dispatcher,
                    DocumentConverter* contacts = nullptr, DocumentConverter* groups = nullptr);

    void ExportCalendarEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) override;
    void ExportTaskEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) override;
    void ExportContactEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) override;
    void ExportGroupEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) override;

    // One run: true when it reached the end of its entry loop (also after a
    // cancel), false when it stopped before (formula, search or folder).
    using EntryHandler = std::function<void(const FolderHandle&, LNNotesSession&, LNDocument&)>;
    bool Run(const ComponentDefinition& definition, LNNotesSession& session, LNDatabase& database,
             const std::string& folderName, const EntryHandler& convert);

    // The step the last run reached (printed by its error lines).
    std::int32_t stepCode() const { return step_; }

private:
    struct Selection;
    bool Select(const ComponentDefinition& definition, LNDatabase& database, Selection& selection);
    bool OpenDestination(const ComponentDefinition& definition, const std::string& folderName, FolderHandle& folder);
    void ExportEntries(const ComponentDefinition& definition, LNNotesSession& session, const Selection& selection,
                       const FolderHandle& folder, const EntryHandler& convert);
    void ExportEntry(const ComponentDefinition& definition, LNNotesSession& session, LNDocument document,
                     std::int32_t index, const FolderHandle& folder, const EntryHandler& convert);
    void Step(std::int32_t value) { step_ = value; }

    ComponentContext context_;
    DocumentDispatcher& dispatcher_;
    DocumentConverter* contacts_;
    DocumentConverter* groups_;
    UnavailableComponents unavailable_;
    std::int32_t step_ = 0;
};

}  // namespace qb

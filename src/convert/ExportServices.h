#pragma once
// The collaborators of the export run, as interfaces: the converters are
// filled in by their own components, the recovery journal may be off, and
// tests put fault-injecting stand-ins in their place.

#include <cstddef>
#include <cstdint>
#include <string>

#include "notes/api/LNNotesSession.h"
#include "outlook/OutlookSession.h"

namespace qb {

// Routes one document of a mail view or folder to its converter.
class DocumentDispatcher {
public:
    virtual ~DocumentDispatcher() = default;
    virtual void Dispatch(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) = 0;
    // At the end of every run, however it ended: releases what the
    // converters keep open for a run (the scratch database).
    virtual void EndRun() {}
};

// The store commits after this many saved items or this much time,
// whichever comes first, and at the end of every view and component; the
// journal records a document once its items are committed.
// Each commit waits for the disk twice (the data, then the header): a batch
// of 512 keeps that wait to a few percent of the run on an ordinary disk,
// where 128 made it an eighth.
inline constexpr std::uint32_t kCommitBatchMessages = 512;
inline constexpr std::uint32_t kCommitBatchIntervalMs = 1000;
// How many items at the end of a folder a resumed view or component reads
// back. The journal records a batch once it is durable, which is at the
// next commit's sync; by then that next batch may be on the disk too (the
// kernel writes its header back whenever it likes), and the store learns
// that a sync written behind has finished only at its next step, one batch
// later. So an interruption leaves up to three batches committed and
// unrecorded, and the store stretches a batch to at most twice its size on
// a slow disk (CommitPolicy::kMaxStretch): 6 batches. One stretched batch
// more is margin for the items of the document in progress.
inline constexpr std::size_t kMaxUnrecordedItems = 8 * kCommitBatchMessages;

// Where the export of a view or component begins.

struct ResumePoint {
    std::int32_t startIndex = 0;
    // The view or component was the one in progress when an earlier run
    // ended: items saved after its last recorded document may already be in
    // the Outlook folder.
    bool resumed = false;
    std::string lastUniversalId;  // of that last recorded document; may be empty
};

// The journal operations of a run; failures never stop it. The Calendar,
// Tasks, Contacts and Groups runs are journaled as views with the identifier
// kComponentViewId and the component's name.
class RecoveryHooks {
public:
    static constexpr std::uint32_t kComponentViewId = 0;  // no Notes note has the id 0

    virtual ~RecoveryHooks() = default;
    virtual bool IsOn() const = 0;
    // False: the view is finished, skip it. True: export it from `point`.
    virtual bool ShouldExportView(std::uint32_t viewId, const std::string& viewName, ResumePoint& point) = 0;
    virtual bool StartView(std::uint32_t viewId, const std::string& viewName) = 0;
    // After the document at `index` was handed to conversion (and, when it
    // was saved, after the save returned).
    virtual bool RecordDocument(std::int32_t index, std::uint32_t noteId, const std::string& universalId) = 0;
    virtual bool MarkViewFolderComplete() = 0;
    virtual bool MarkComplete() = 0;
};

class RecoveryOff final : public RecoveryHooks {
public:
    bool IsOn() const override { return false; }
    bool ShouldExportView(std::uint32_t, const std::string&, ResumePoint& point) override {
        point = ResumePoint();
        return true;
    }
    bool StartView(std::uint32_t, const std::string&) override { return false; }
    bool RecordDocument(std::int32_t, std::uint32_t, const std::string&) override { return false; }
    bool MarkViewFolderComplete() override { return false; }
    bool MarkComplete() override { return false; }
};

// The Calendar, Tasks and Contacts & Groups components.
class ComponentRuns {
public:
    virtual ~ComponentRuns() = default;
    // Before each of the four runs (with a start of 0 when the journal is
    // off): a run that journals its entries starts at point.startIndex
    // (skipping the entries whose universal id is in the Outlook folder when
    // point.resumed) and records each entry with journal.RecordDocument,
    // which keeps the count of what the store committed. Runs that do not
    // journal ignore it and are exported whole again after an interruption.
    virtual void ResumeAt(RecoveryHooks& /*journal*/, const ResumePoint& /*point*/) {}
    virtual void ExportCalendarEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) = 0;
    virtual void ExportTaskEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) = 0;
    virtual void ExportContactEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) = 0;
    virtual void ExportGroupEntries(LNNotesSession& session, LNDatabase& database, const std::string& folder) = 0;
};

// Resolves the Outlook named properties of the session once per run.
class NamedPropertySetup {
public:
    virtual ~NamedPropertySetup() = default;
    // False leaves the reason in the session's lastError.
    virtual bool Setup(CMapiSession& session) = 0;
};

// The writers' named properties, resolved on the store of the run.
class InitNamedPropsSetup : public NamedPropertySetup {
public:
    bool Setup(CMapiSession& session) override;
};

// The window's side of a running export.
class ExportWindow {
public:
    virtual ~ExportWindow() = default;
    // Disables the controls that must not change while an export runs
    // (exporting) or enables them again.
    virtual void SetExportingState(bool exporting) = 0;
    // The modal "Export Error" message at the end of a failed worker.
    virtual void ShowExportError(const std::string& text) = 0;
};

}  // namespace qb

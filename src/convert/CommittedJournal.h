#pragma once
// The recovery journal as the export run sees it once the store commits in
// batches: a document is recorded only when every item saved for it is
// durable (its commit synced, so that even a power loss keeps it), so that a
// crash loses at most the batches not yet durable and the journal never
// names a document whose items the file lost. A commit becomes durable with
// the next commit's sync, so no sync is added per batch; the syncs run on a
// second thread while the export goes on (the counts follow them). A resume starts
// after the last recorded document and finds, by universal id among the
// folder's last kMaxUnrecordedItems items, those committed but not yet
// recorded: nothing is written twice, nothing lost.
//
// Invariants: records reach the journal in document order and only for
// documents whose items are all durable; the store is committed and made
// durable (and the records written) before a view or the whole run is
// marked complete and before another view starts; a failed commit stops
// the run, and the documents it lost are no longer counted as exported.

#include <cstdint>
#include <deque>
#include <string>

#include "convert/ExportRun.h"
#include "convert/ExportServices.h"
#include "outlook/StoreCommits.h"

namespace qb {

class ExportLog;

class CommittedJournal final : public RecoveryHooks {
public:
    CommittedJournal(RecoveryHooks& journal, CMapiSession& outlook, ExportRun& run, const ExportLog& log);

    // At the start of a run, on the open store: commits in batches of
    // kCommitBatchMessages saves (or QUILLBOX_COMMIT_BATCH, 1 to that,
    // for tests) or kCommitBatchIntervalMs, whichever comes first.
    void BeginRun();
    // Commits what the store holds uncommitted, makes the commit durable and
    // records the documents that now are; false when that failed (the run stops).
    bool Settle();

    // RecoveryHooks. RecordDocument is called for every document whether
    // the journal is on or not: it also keeps the count of documents that
    // are durable.
    bool IsOn() const override { return journal_.IsOn(); }
    bool ShouldExportView(std::uint32_t viewId, const std::string& viewName, ResumePoint& point) override;
    bool StartView(std::uint32_t viewId, const std::string& viewName) override;
    bool RecordDocument(std::int32_t index, std::uint32_t noteId, const std::string& universalId) override;
    bool MarkViewFolderComplete() override;
    bool MarkComplete() override;

    // The batch size of this process.
    static std::uint32_t BatchMessages();

private:
    struct Pending {
        std::int32_t index;
        std::uint32_t noteId;
        std::string universalId;
        std::uint64_t savedAfter;        // the store's saved-message count once the document was done
        std::int32_t exportedAfter;      // the run's exported count then
    };
    // The store's counts; without a store that counts, every save is durable.
    CommitCounts Counts() const;
    // Counts the pending documents whose saves are committed.
    void CountCommitted(std::uint64_t committed);
    // Records the last of the pending documents whose saves are durable.
    void RecordDurable(std::uint64_t durable);
    // After a failed commit: the documents saved since the last commit are
    // not in the file; the run stops and no longer counts them.
    void LoseUncommitted(const std::string& reason);

    RecoveryHooks& journal_;
    CMapiSession& outlook_;
    ExportRun& run_;
    const ExportLog& log_;
    std::deque<Pending> pending_;        // done, not yet durable, in document order
    std::size_t committedPending_ = 0;  // how many at the front of pending_ are committed
    std::int32_t committedExported_ = 0;  // the run's exported count at the last committed document
    bool commitFailed_ = false;
};

}  // namespace qb

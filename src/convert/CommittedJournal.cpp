#include "convert/CommittedJournal.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "convert/EntryFields.h"
#include "shell/log/ExportLog.h"

namespace qb {

CommittedJournal::CommittedJournal(RecoveryHooks& journal, CMapiSession& outlook, ExportRun& run,
                                   const ExportLog& log)
    : journal_(journal), outlook_(outlook), run_(run), log_(log) {}

std::uint32_t CommittedJournal::BatchMessages() {
    // Tests make the batches small to put their boundaries inside a small sample.
    if (const char* text = std::getenv("QUILLBOX_COMMIT_BATCH"); text && *text) {
        const long value = std::strtol(text, nullptr, 10);
        if (value >= 1 && value <= static_cast<long>(kCommitBatchMessages)) return static_cast<std::uint32_t>(value);
    }
    return kCommitBatchMessages;
}

void CommittedJournal::BeginRun() {
    pending_.clear();
    committedPending_ = 0;
    committedExported_ = run_.exportedCount;
    commitFailed_ = false;
    if (outlook_.store) UseBatchedCommits(*outlook_.store, BatchMessages(), kCommitBatchIntervalMs);
}

CommitCounts CommittedJournal::Counts() const {
    if (outlook_.store) {
        if (auto counts = ReadCommitCounts(*outlook_.store)) return *counts;
    }
    constexpr auto kAll = std::numeric_limits<std::uint64_t>::max();
    return CommitCounts{0, kAll, kAll};
}

void CommittedJournal::CountCommitted(std::uint64_t committed) {
    while (committedPending_ < pending_.size() && pending_[committedPending_].savedAfter <= committed) {
        committedExported_ = pending_[committedPending_].exportedAfter;
        ++committedPending_;
    }
}

void CommittedJournal::RecordDurable(std::uint64_t durable) {
    if (pending_.empty() || pending_.front().savedAfter > durable) return;
    Pending last = std::move(pending_.front());
    pending_.pop_front();
    std::size_t popped = 1;
    while (!pending_.empty() && pending_.front().savedAfter <= durable) {
        last = std::move(pending_.front());
        pending_.pop_front();
        ++popped;
    }
    // Durable documents are committed ones: they were all in the counted front.
    committedPending_ -= std::min(popped, committedPending_);
    // The journal keeps only its last document: the latest durable one says it all.
    if (journal_.IsOn()) journal_.RecordDocument(last.index, last.noteId, last.universalId);
}

bool CommittedJournal::RecordDocument(std::int32_t index, std::uint32_t noteId, const std::string& universalId) {
    const CommitCounts counts = Counts();
    pending_.push_back(Pending{index, noteId, universalId, counts.saved, run_.exportedCount});
    CountCommitted(counts.committed);
    // Committed is not enough: until the next commit's sync the header may
    // still be only in memory, and a power loss would take the batch the
    // journal already named.
    RecordDurable(counts.durable);
    return true;
}

bool CommittedJournal::Settle() {
    if (commitFailed_) return false;
    CommitCounts counts = Counts();
    if (counts.durable < counts.saved) {
        std::string error;
        if (!CommitStore(*outlook_.store, error, /*durable=*/true)) {
            CountCommitted(Counts().committed);  // the commit may have gone through, its sync not
            LoseUncommitted(error);
            return false;
        }
        counts = Counts();
    }
    CountCommitted(counts.committed);
    RecordDurable(counts.durable);
    return true;
}

void CommittedJournal::LoseUncommitted(const std::string& reason) {
    commitFailed_ = true;
    outlook_.storeWriteFailed = true;
    StopRun(run_, "Unable to save a message to the Outlook store: " + reason);
    pending_.clear();
    committedPending_ = 0;
    // The documents of the last commit stay counted even when its sync
    // failed: the file holds them unless the machine loses power, and a
    // resume finds them among the folder's last items.
    if (run_.exportedCount > committedExported_) {
        log_.Write(fmt::format("..~#>ERROR {} exported document(s) saved since the store's last commit are not in "
                               "the file: {}\n",
                               run_.exportedCount - committedExported_, reason));
        run_.exportedCount = committedExported_;
    }
}

bool CommittedJournal::ShouldExportView(std::uint32_t viewId, const std::string& viewName, ResumePoint& point) {
    return journal_.ShouldExportView(viewId, viewName, point);
}

bool CommittedJournal::StartView(std::uint32_t viewId, const std::string& viewName) {
    // The documents of the view before are recorded as that view's.
    Settle();
    return journal_.StartView(viewId, viewName);
}

bool CommittedJournal::MarkViewFolderComplete() {
    if (!Settle()) return false;
    return journal_.MarkViewFolderComplete();
}

bool CommittedJournal::MarkComplete() {
    if (!Settle()) return false;
    return journal_.MarkComplete();
}

}  // namespace qb

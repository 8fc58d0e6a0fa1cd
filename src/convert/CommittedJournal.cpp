#include "convert/CommittedJournal.h"

#include <fmt/format.h>

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
    durableExported_ = run_.exportedCount;
    commitFailed_ = false;
    if (outlook_.store) UseBatchedCommits(*outlook_.store, BatchMessages(), kCommitBatchIntervalMs);
}

CommitCounts CommittedJournal::Counts() const {
    if (outlook_.store) {
        if (auto counts = ReadCommitCounts(*outlook_.store)) return *counts;
    }
    constexpr auto kAll = std::numeric_limits<std::uint64_t>::max();
    return CommitCounts{0, kAll};
}

void CommittedJournal::RecordCommitted(std::uint64_t committed) {
    if (pending_.empty() || pending_.front().savedAfter > committed) return;
    Pending last = std::move(pending_.front());
    pending_.pop_front();
    while (!pending_.empty() && pending_.front().savedAfter <= committed) {
        last = std::move(pending_.front());
        pending_.pop_front();
    }
    durableExported_ = last.exportedAfter;
    // The journal keeps only its last document: the latest durable one says it all.
    if (journal_.IsOn()) journal_.RecordDocument(last.index, last.noteId, last.universalId);
}

bool CommittedJournal::RecordDocument(std::int32_t index, std::uint32_t noteId, const std::string& universalId) {
    const CommitCounts counts = Counts();
    pending_.push_back(Pending{index, noteId, universalId, counts.saved, run_.exportedCount});
    RecordCommitted(counts.committed);
    return true;
}

bool CommittedJournal::Settle() {
    if (commitFailed_) return false;
    CommitCounts counts = Counts();
    if (counts.committed < counts.saved) {
        std::string error;
        if (!CommitStore(*outlook_.store, error)) {
            LoseUncommitted(error);
            return false;
        }
        counts = Counts();
    }
    RecordCommitted(counts.committed);
    return true;
}

void CommittedJournal::LoseUncommitted(const std::string& reason) {
    commitFailed_ = true;
    outlook_.storeWriteFailed = true;
    StopRun(run_, "Unable to save a message to the Outlook store: " + reason);
    pending_.clear();
    if (run_.exportedCount > durableExported_) {
        log_.Write(fmt::format("..~#>ERROR {} exported document(s) saved since the store's last commit are not in "
                               "the file: {}\n",
                               run_.exportedCount - durableExported_, reason));
        run_.exportedCount = durableExported_;
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

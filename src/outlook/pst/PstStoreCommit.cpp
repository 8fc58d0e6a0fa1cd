// PstStore's commits: the commit policy, writing changed folders and their
// tables, then the B-trees and last the header, so that a crash before the
// header keeps the last commit; closing the store.

#include "outlook/pst/PstStore.h"

#include <chrono>

#include "outlook/pst/PstStoreInternal.h"
#include "outlook/pst/PstTags.h"

namespace qb::pst {

using namespace store_detail;

// ---------------------------------------------------------------- commit

void PstStore::SetCommitPolicy(const CommitPolicy& policy) {
    policy_ = policy;
    FailingOnError([&] { db_->SetSyncOnCommit(policy.sync, policy.writeBehind); });
    UpdateCounts();
}

void PstStore::MessageSaved() {
    UpdateCounts();
    ++savedMessages_;
    ++savedSinceCommit_;
    const auto since = std::chrono::steady_clock::now() - lastCommit_;
    const bool due = savedSinceCommit_ >= policy_.messages || since >= policy_.interval;
    const bool stretchedEnough = savedSinceCommit_ >= policy_.messages * CommitPolicy::kMaxStretch;
    if (due && (!policy_.adaptive || since >= lastCommitCost_ * 8 || stretchedEnough)) Commit();
}

void PstStore::WriteFolder(FolderState& f) {
    if (f.dirty) {
        if (f.pcFromDisk) {
            db_->ReleaseTree(f.diskData);
            db_->ReleaseTree(f.diskSub);
            f.diskSub = 0;
            f.pcFromDisk = false;
        }
        SubnodeMap subs;
        std::uint32_t next = 0;
        LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
        Bid bid = WritePropertyContext(ctx, f.props, &f.pcCache);
        Bid sub = db_->WriteSubnodes(subs);
        if (f.diskSub) db_->ReleaseTree(f.diskSub);
        f.diskSub = sub;
        db_->PutNode(NbtEntry{f.nid, bid, sub, f.parent});
        f.dirty = false;
    }
    for (int which = 0; which < 3; ++which) WriteTable(f, which);
}

void PstStore::WriteTable(FolderState& f, int which) {
    TableState& t = f.tables[which];
    if (!t.dirty) return;
    if (t.appender) {
        t.appender->Flush(TableNid(f.nid, which));
        t.dirty = false;
        return;
    }
    if (t.loadedFromDisk) {
        db_->ReleaseTree(t.diskData);
        db_->ReleaseTree(t.diskSub);
        t.loadedFromDisk = false;
    }
    for (const auto& [nid, e] : t.lastSubnodes) {
        if (nid == kNidRowMatrix) continue;
        db_->ReleaseTree(e.bidData);
        db_->ReleaseTree(e.bidSub);
    }
    db_->ReleaseSubnodeBlocks(t.lastSubBid);
    SubnodeMap subs;
    std::uint32_t next = 1;
    LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
    Bid bid = WriteTableContextPacked(ctx, t.columns, t.rows, &t.heap, &t.matrix);
    t.lastSubBid = db_->WriteSubnodes(subs);
    t.lastSubnodes = subs;
    db_->PutNode(NbtEntry{TableNid(f.nid, which), bid, t.lastSubBid, 0});
    t.dirty = false;
}

void PstStore::Commit() {
    RequireWritable();
    const auto started = std::chrono::steady_clock::now();
    try {
        if (storeDirty_) {
            if (const std::optional<NbtEntry> old = db_->FindNode(kNidMessageStore); old && storeCache_.root == 0) {
                db_->ReleaseTree(old->bidData);
                db_->ReleaseTree(old->bidSub);
            }
            SubnodeMap subs;
            std::uint32_t next = 0;
            LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
            Bid bid = WritePropertyContext(ctx, storeProps_, &storeCache_);
            db_->PutNode(NbtEntry{kNidMessageStore, bid, db_->WriteSubnodes(subs), 0});
            storeDirty_ = false;
        }
        if (names_.dirty()) {
            if (const std::optional<NbtEntry> old = db_->FindNode(kNidNameToIdMap); old && nameCache_.root == 0) {
                db_->ReleaseTree(old->bidData);
                db_->ReleaseTree(old->bidSub);
            }
            SubnodeMap subs;
            std::uint32_t next = 0;
            LtpContext ctx{*db_, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
            const std::optional<NbtEntry> old = db_->FindNode(kNidNameToIdMap);
            Bid oldSub = old ? old->bidSub : 0;
            Bid bid = WritePropertyContext(ctx, names_.Build(), &nameCache_);
            if (nameCache_.root != 0 && oldSub) db_->ReleaseTree(oldSub);
            db_->PutNode(NbtEntry{kNidNameToIdMap, bid, db_->WriteSubnodes(subs), 0});
            names_.MarkClean();
        }
        for (auto& [nid, folder] : folders_) WriteFolder(*folder);
        db_->Commit();
    } catch (...) {
        MarkFailed();
        throw;
    }
    if (!published_.empty() && published_.back().header == db_->headersMade())
        published_.back().messages = savedMessages_;  // nothing new to publish
    else
        published_.push_back(PublishedCount{savedMessages_, db_->headersMade()});
    UpdateCounts();
    savedSinceCommit_ = 0;
    lastCommit_ = std::chrono::steady_clock::now();
    lastCommitCost_ = lastCommit_ - started;
    ++commitCount_;
}

void PstStore::MarkFailed() noexcept {
    failed_ = true;
    try {
        db_->CollectWriteBehind(true);
    } catch (...) {
        // The failure already reported is the one that counts.
    }
    UpdateCountsFromDatabase();
}

void PstStore::UpdateCounts() {
    FailingOnError([&] { db_->CollectWriteBehind(); });
    UpdateCountsFromDatabase();
}

void PstStore::UpdateCountsFromDatabase() noexcept {
    while (!published_.empty() && published_.front().header <= db_->headersDurable()) {
        durableMessages_ = published_.front().messages;
        published_.pop_front();
    }
    committedMessages_ = durableMessages_;
    for (const PublishedCount& p : published_)
        if (p.header <= db_->headersWritten()) committedMessages_ = p.messages;
}

void PstStore::MakeDurable() {
    RequireWritable();
    FailingOnError([&] { db_->MakeDurable(); });
    UpdateCounts();
}

void PstStore::Close() {
    if (closed_) return;
    if (writable_ && !failed_) {
        Commit();
        FailingOnError([&] { db_->PublishFreedSpace(); });
        UpdateCounts();
    }
    closed_ = true;
}

}  // namespace qb::pst

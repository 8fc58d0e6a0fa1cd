#include "outlook/StoreCommits.h"

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {

bool UseBatchedCommits(IMsgStore& store, std::uint32_t messages, std::uint32_t intervalMs) {
    SPropValue values[2] = {};
    values[0].ulPropTag = PR_QB_COMMIT_BATCH_MESSAGES;
    values[0].Value.l = static_cast<LONG>(messages);
    values[1].ulPropTag = PR_QB_COMMIT_BATCH_INTERVAL;
    values[1].Value.l = static_cast<LONG>(intervalMs);
    mapi::MapiBuffer<SPropProblemArray> problems;
    if (FAILED(store.SetProps(2, values, problems.Put())) || (problems && problems->cProblem > 0)) return false;
    // Another provider may keep the values as plain properties: only a store
    // that counts its commits batches them.
    return ReadCommitCounts(store).has_value();
}

std::optional<CommitCounts> ReadCommitCounts(IMsgStore& store) {
    SizedSPropTagArray(3, tags) = {3, {PR_QB_SAVED_MESSAGES, PR_QB_COMMITTED_MESSAGES, PR_QB_DURABLE_MESSAGES}};
    ULONG count = 0;
    mapi::MapiBuffer<SPropValue> values;
    if (FAILED(store.GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put())) || count != 3 ||
        !values || values.get()[0].ulPropTag != PR_QB_SAVED_MESSAGES ||
        values.get()[1].ulPropTag != PR_QB_COMMITTED_MESSAGES)
        return std::nullopt;
    const auto saved = static_cast<std::uint32_t>(values.get()[0].Value.l);
    const auto committed = static_cast<std::uint32_t>(values.get()[1].Value.l);
    // A store that counts commits but not their durability: its commits are.
    const bool countsDurable = values.get()[2].ulPropTag == PR_QB_DURABLE_MESSAGES;
    const std::uint64_t durable = countsDurable ? static_cast<std::uint32_t>(values.get()[2].Value.l) : committed;
    return CommitCounts{saved, committed, durable};
}

bool CommitStore(IMsgStore& store, std::string& error, bool durable) {
    const HRESULT hr = store.SaveChanges(KEEP_OPEN_READWRITE | (durable ? FORCE_SAVE : 0));
    if (SUCCEEDED(hr)) return true;
    error = mapi::LastErrorText(store, hr, "the store could not commit its changes");
    return false;
}

}  // namespace qb

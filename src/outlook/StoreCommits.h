#pragma once
// Batched commits of the open store, for a run that keeps its own record of
// what is durable (the recovery journal): switching a store to commit after
// a batch of saved messages, reading how many saved messages a crash can no
// longer lose, and committing at once. A store without the batch settings
// (another provider) commits every message as it is saved: its counts read
// as "everything committed".

#include <cstdint>
#include <optional>
#include <string>

#include "outlook/mapi/MapiInterfaces.h"

namespace qb {

struct CommitCounts {
    std::uint64_t saved = 0;      // messages saved since the store was opened
    std::uint64_t committed = 0;  // of them, those a process kill can no longer lose
    std::uint64_t durable = 0;    // of those, the ones a power loss can no longer lose
};

// Asks the store to commit after `messages` saved messages or once
// `intervalMs` passed at a save; false when it does not batch (it then
// commits every message).
bool UseBatchedCommits(IMsgStore& store, std::uint32_t messages, std::uint32_t intervalMs);

// The store's counts; none when it does not keep them.
std::optional<CommitCounts> ReadCommitCounts(IMsgStore& store);

// Commits every saved message now, and with `durable` makes the commit
// durable too; false with the store's reason in `error`.
bool CommitStore(IMsgStore& store, std::string& error, bool durable = false);

}  // namespace qb

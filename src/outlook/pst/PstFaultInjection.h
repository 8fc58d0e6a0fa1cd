#pragma once
// A test hook of the file layer: the k-th write, sync, create or read of any
// PstFile in the process fails with a chosen errno, as if the system had
// refused it. Tests set it directly; a test that runs a whole program sets
// QUILLBOX_FAULT_PST="write:K:ENOSPC" (or "sync:K:EIO", "create:1:EACCES",
// "read:K:EIO"),
// read once at the first file operation. Counting starts when the fault is
// set; one fault fires once. Without a fault the hook costs one atomic load.

#include <cstdint>
#include <string>

namespace qb::pst {

enum class PstFaultOp { Write, Sync, Create, Read };

// The next `k`-th operation of that kind fails with `error` (k >= 1).
void SetPstFaultForTest(PstFaultOp op, std::uint64_t k, int error);
void ClearPstFaultForTest();
// Operations of each kind counted since the fault was last set or cleared.
std::uint64_t PstFaultCountForTest(PstFaultOp op);
// Parses "write:K:ENOSPC"; false when the text is not such a fault.
bool ParsePstFault(const std::string& text, PstFaultOp& op, std::uint64_t& k, int& error);

namespace fault_detail {
// Counts one operation; returns the errno to fail it with, or 0.
int Tick(PstFaultOp op);
}  // namespace fault_detail

}  // namespace qb::pst

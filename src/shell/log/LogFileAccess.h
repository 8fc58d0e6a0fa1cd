#pragma once
// What the writers of log files share: who may write a read-only file, and
// writing a text whole with as few system calls as the system allows.

#include <string_view>

namespace qb::log_detail {

// Only the administrator may open a read-only file for writing; anyone else
// is refused by the open itself and needs no further look at the file.
bool MayWriteReadOnlyFiles();

// Writes all of `text` (one write unless the system takes less); gives up
// silently on an error, as a log line that cannot be written is dropped.
void WriteAll(int fd, std::string_view text);

}  // namespace qb::log_detail

#pragma once
// Writes a store of sample content: a nested folder tree and messages of
// varied content (every property type the writers use, three recipient
// classes, attachments from empty to several MB, embedded messages,
// non-ASCII text). Used by `quillbox-cli pst-sample`, the tests and the bench.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "outlook/pst/PstStore.h"

namespace qb::pst {

// Content of the bench shape made ahead of writing, so that a measurement
// of the writer does not include making random text and data.
struct BenchContent {
    std::vector<std::string> bodies;  // 5,000-character texts, used in turn
    Bytes data;                       // random bytes; attachments are slices of it
};
BenchContent PrepareBenchContent(std::uint32_t seed);

struct SampleOptions {
    PstFormat format = PstFormat::Unicode;
    std::size_t messages = 10;
    std::uint32_t seed = 1;
    // Bench shape: ~10 KB messages (5,000-character bodies as UTF-16), every tenth with one 100 KB attachment.
    bool benchShape = false;
    // Bench shape only: content prepared by PrepareBenchContent (made on the spot when null).
    const BenchContent* benchContent = nullptr;
    CommitPolicy policy;
};

struct SampleSummary {
    std::map<std::string, std::size_t> folders;  // path below the mail root ("\" between levels) -> messages
    std::size_t attachments = 0;
    std::size_t emptyAttachments = 0;
    std::size_t embeddedMessages = 0;
    std::size_t messages = 0;
    std::uint64_t attachmentBytes = 0;
    std::uint64_t bodyBytes = 0;
};

SampleSummary WriteSampleStore(const std::string& path, const SampleOptions& options);
std::string SampleSummaryJson(const SampleSummary& summary, const SampleOptions& options);

// The exact subject of sample message `index` (tests look messages up by it).
std::string SampleSubject(std::size_t index);

}  // namespace qb::pst

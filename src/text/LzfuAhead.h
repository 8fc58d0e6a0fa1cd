#pragma once
// Compressed RTF made ahead. The thread that reads notes ahead renders a
// body to RTF and compresses it while the export thread is still busy with
// earlier documents; when the export thread writes that body out, it offers
// the compressed form here, and the stream that is about to compress exactly
// the same bytes into the message takes it instead of compressing again.
//
// Invariants: a compressed form is handed out only for raw bytes equal to
// the ones it was offered with, so what is stored never depends on whether
// it came from here; an offer is taken at most once; at most kMaxEntries
// offers are held, the oldest dropped first. Safe from any thread.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb::text::lzfu {

class CompressedAhead {
public:
    static constexpr std::size_t kMaxEntries = 4;

    static CompressedAhead& Shared();

    // `compressed` is Compress(raw).
    void Offer(std::string_view raw, std::span<const std::uint8_t> compressed);
    // The compressed form offered for exactly `raw`, taken out; nullopt when none.
    std::optional<std::vector<std::uint8_t>> Take(std::span<const std::uint8_t> raw);
    void Clear();

private:
    struct Entry {
        std::string raw;
        std::vector<std::uint8_t> compressed;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;  // oldest first
};

// Compress(raw), from an offer when there is one for these bytes.
std::vector<std::uint8_t> CompressTakingAhead(std::span<const std::uint8_t> raw);

}  // namespace qb::text::lzfu

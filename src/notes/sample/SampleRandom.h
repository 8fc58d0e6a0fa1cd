#pragma once
// The sample generator's random numbers: SplitMix64, so that one seed gives
// the same data directory on every platform and library (the standard
// distributions are not specified bit for bit).

#include <cstdint>
#include <string>
#include <vector>

namespace qb::notes::sample {

class SampleRandom {
public:
    explicit SampleRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [0, bound); bound > 0.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }
    // A number in [low, high].
    int Between(int low, int high) { return low + static_cast<int>(Below(static_cast<std::uint32_t>(high - low + 1))); }
    bool Chance(int percent) { return Below(100) < static_cast<std::uint32_t>(percent); }
    template <typename T>
    const T& Pick(const std::vector<T>& items) { return items[Below(static_cast<std::uint32_t>(items.size()))]; }

private:
    std::uint64_t state_;
};

}  // namespace qb::notes::sample

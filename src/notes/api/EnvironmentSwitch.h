#pragma once
// A feature of the Notes layer that is on unless its environment variable is
// "0" (for comparisons and tests); a test may force it either way. The
// variable is read once, at the first question.

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace qb::notes {

class EnvironmentSwitch {
public:
    explicit EnvironmentSwitch(const char* variable) : variable_(variable) {}

    bool Enabled() const {
        const int forced = forced_.load(std::memory_order_relaxed);
        if (forced >= 0) return forced == 1;
        int fromEnvironment = fromEnvironment_.load(std::memory_order_relaxed);
        if (fromEnvironment < 0) {
            const char* value = std::getenv(variable_);
            fromEnvironment = !value || std::strcmp(value, "0") != 0 ? 1 : 0;
            fromEnvironment_.store(fromEnvironment, std::memory_order_relaxed);
        }
        return fromEnvironment == 1;
    }
    void Force(std::optional<bool> enabled) {
        forced_.store(enabled ? (*enabled ? 1 : 0) : -1, std::memory_order_relaxed);
    }

private:
    const char* variable_;
    std::atomic<int> forced_{-1};                   // -1: follow the environment; 0 off; 1 on
    mutable std::atomic<int> fromEnvironment_{-1};  // -1: not read yet
};

}  // namespace qb::notes

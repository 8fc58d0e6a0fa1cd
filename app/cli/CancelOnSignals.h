#pragma once
// Ctrl-C, SIGTERM and SIGHUP as "Cancel Export": while a CancelOnSignals
// lives they set a flag instead of ending the process, so that a run can
// say how far it came and clean up (the export's journal, the batch's
// temporary profile).

#include <signal.h>

#include <array>
#include <atomic>

namespace qb::cli {

class CancelOnSignals {
public:
    // The handler does nothing but store true into `cancel`.
    explicit CancelOnSignals(std::atomic<bool>& cancel);
    ~CancelOnSignals();
    CancelOnSignals(const CancelOnSignals&) = delete;
    CancelOnSignals& operator=(const CancelOnSignals&) = delete;

private:
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> previous_{};
};

}  // namespace qb::cli

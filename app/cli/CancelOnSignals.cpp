#include "CancelOnSignals.h"

namespace qb::cli {
namespace {

// Set before the handlers are installed and cleared after they are restored;
// the handler does nothing but store the lock-free flag.
std::atomic<bool>* g_cancel = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestCancel(int) {
    if (std::atomic<bool>* cancel = g_cancel) cancel->store(true);
}

}  // namespace

CancelOnSignals::CancelOnSignals(std::atomic<bool>& cancel) {
    g_cancel = &cancel;
    struct sigaction action {};
    action.sa_handler = RequestCancel;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
}

CancelOnSignals::~CancelOnSignals() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
    g_cancel = nullptr;
}

}  // namespace qb::cli

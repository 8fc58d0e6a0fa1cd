// The process-wide fault of the file layer (see PstFaultInjection.h).

#include "outlook/pst/PstFaultInjection.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace qb::pst {
namespace {

struct Fault {
    std::mutex lock;
    bool armed = false;
    PstFaultOp op = PstFaultOp::Write;
    std::uint64_t at = 0;
    int error = 0;
    std::uint64_t counts[4] = {};
};

// Whether a fault or counting is active: the fast path of every operation.
std::atomic<bool> g_active{false};

Fault& TheFault() {
    static Fault fault;
    return fault;
}

struct ErrnoName {
    const char* name;
    int value;
};
constexpr ErrnoName kErrnos[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},     {"EACCES", EACCES}, {"EROFS", EROFS},
                                 {"EDQUOT", EDQUOT}, {"EFBIG", EFBIG}, {"EPERM", EPERM},   {"EINTR", EINTR}};

void ReadEnvironmentOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* text = std::getenv("QUILLBOX_FAULT_PST");
        PstFaultOp op;
        std::uint64_t k;
        int error;
        if (text && ParsePstFault(text, op, k, error)) SetPstFaultForTest(op, k, error);
    });
}

}  // namespace

bool ParsePstFault(const std::string& text, PstFaultOp& op, std::uint64_t& k, int& error) {
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) return false;
    const std::string name = text.substr(0, first);
    if (name == "write") op = PstFaultOp::Write;
    else if (name == "sync") op = PstFaultOp::Sync;
    else if (name == "create") op = PstFaultOp::Create;
    else if (name == "read") op = PstFaultOp::Read;
    else return false;
    const std::string count = text.substr(first + 1, second - first - 1);
    if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos || count.size() > 18) return false;
    k = std::strtoull(count.c_str(), nullptr, 10);
    if (k == 0) return false;
    const std::string errorName = text.substr(second + 1);
    for (const ErrnoName& e : kErrnos) {
        if (errorName == e.name) {
            error = e.value;
            return true;
        }
    }
    return false;
}

void SetPstFaultForTest(PstFaultOp op, std::uint64_t k, int error) {
    Fault& f = TheFault();
    std::lock_guard<std::mutex> guard(f.lock);
    f.armed = true;
    f.op = op;
    f.at = k;
    f.error = error;
    for (auto& c : f.counts) c = 0;
    g_active = true;
}

void ClearPstFaultForTest() {
    Fault& f = TheFault();
    std::lock_guard<std::mutex> guard(f.lock);
    f.armed = false;
    for (auto& c : f.counts) c = 0;
    g_active = true;  // keep counting, so that a test can measure a run
}

std::uint64_t PstFaultCountForTest(PstFaultOp op) {
    Fault& f = TheFault();
    std::lock_guard<std::mutex> guard(f.lock);
    return f.counts[int(op)];
}

namespace fault_detail {
int Tick(PstFaultOp op) {
    ReadEnvironmentOnce();
    if (!g_active.load(std::memory_order_relaxed)) return 0;
    Fault& f = TheFault();
    std::lock_guard<std::mutex> guard(f.lock);
    const std::uint64_t n = ++f.counts[int(op)];
    if (!f.armed || f.op != op || n != f.at) return 0;
    f.armed = false;
    return f.error;
}
}  // namespace fault_detail

}  // namespace qb::pst

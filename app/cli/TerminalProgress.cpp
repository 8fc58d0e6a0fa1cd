#include "TerminalProgress.h"

#include <unistd.h>

#include <algorithm>

namespace qb::cli {
namespace {
constexpr int kBarWidth = 30;
constexpr std::size_t kMaxLine = 100;
}  // namespace

TerminalProgress::TerminalProgress(std::FILE* out) : out_(out), interactive_(::isatty(::fileno(out)) == 1) {}

TerminalProgress::~TerminalProgress() { Finish(); }

void TerminalProgress::SetStatusText(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (text == status_) return;
    status_ = std::string(text);
    if (status_.empty()) return;
    ClearBar();
    std::fprintf(out_, "%s\n", status_.c_str());
    // Piped into a log or a pager, each line shows as it happens.
    std::fflush(out_);
    Redraw();
}

void TerminalProgress::SetSecondaryText(int line, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (line < 1 || line > 2) return;
    secondary_[line - 1] = std::string(text);
    Redraw();
}

void TerminalProgress::SetProgressRange16(std::uint16_t low, std::uint16_t high) {
    SetProgressRange32(low, high);
}

void TerminalProgress::SetProgressRange32(std::int32_t low, std::int32_t high) {
    std::lock_guard lock(mutex_);
    low_ = low;
    high_ = high;
    Redraw();
}

void TerminalProgress::SetProgressPosition(std::int32_t position) {
    std::lock_guard lock(mutex_);
    position_ = position;
    Redraw();
}

void TerminalProgress::Finish() {
    std::lock_guard lock(mutex_);
    ClearBar();
    std::fflush(out_);
}

void TerminalProgress::ClearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", out_);
    barShown_ = false;
}

void TerminalProgress::Redraw() {
    if (!interactive_) return;
    const std::int64_t span = std::max<std::int64_t>(1, high_ - low_);
    const std::int64_t done = std::clamp<std::int64_t>(position_ - low_, 0, span);
    const int filled = static_cast<int>(done * kBarWidth / span);
    std::string line = "\r\033[K[" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] " +
                       std::to_string(done) + "/" + std::to_string(span);
    for (const std::string& text : secondary_)
        if (!text.empty()) line += "  " + text;
    if (line.size() > kMaxLine) line.resize(kMaxLine);
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    barShown_ = true;
}

}  // namespace qb::cli

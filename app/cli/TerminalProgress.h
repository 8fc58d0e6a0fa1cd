#pragma once
// The export's status lines and progress bar on a terminal: a bar redrawn in
// place when the output is a terminal, plain status lines otherwise (logs,
// pipes, CI).

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "shell/report/ProgressSink.h"

namespace qb::cli {

class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(std::FILE* out);
    ~TerminalProgress() override;

    void SetStatusText(std::string_view text) override;
    void SetSecondaryText(int line, std::string_view text) override;
    void SetProgressRange16(std::uint16_t low, std::uint16_t high) override;
    void SetProgressRange32(std::int32_t low, std::int32_t high) override;
    void SetProgressPosition(std::int32_t position) override;

    // Ends the bar line so that what follows starts on a fresh line.
    void Finish();

private:
    void Redraw();
    void ClearBar();

    std::FILE* out_;
    bool interactive_;
    std::mutex mutex_;
    std::string status_;
    std::string secondary_[2];
    std::int64_t low_ = 0, high_ = 1, position_ = 0;
    bool barShown_ = false;
};

}  // namespace qb::cli

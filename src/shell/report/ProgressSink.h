#pragma once
// How the core shows where an export is: the status line, two secondary status
// lines and a progress bar. The window, the command line and the tests each
// implement it. Calls come from the export worker and return only once the
// receiver has handled them, so what is shown never runs behind the log.

#include <cstdint>
#include <string_view>

namespace qb {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetStatusText(std::string_view text) = 0;
    // line is 1 or 2.
    virtual void SetSecondaryText(int line, std::string_view text) = 0;
    // The bar's range as the 16-bit pair of the control's older message.
    virtual void SetProgressRange16(std::uint16_t low, std::uint16_t high) = 0;
    virtual void SetProgressRange32(std::int32_t low, std::int32_t high) = 0;
    virtual void SetProgressPosition(std::int32_t position) = 0;
};

// Shows nothing; for runs without a front end.
class NullProgressSink : public ProgressSink {
public:
    void SetStatusText(std::string_view) override {}
    void SetSecondaryText(int, std::string_view) override {}
    void SetProgressRange16(std::uint16_t, std::uint16_t) override {}
    void SetProgressRange32(std::int32_t, std::int32_t) override {}
    void SetProgressPosition(std::int32_t) override {}
};

}  // namespace qb

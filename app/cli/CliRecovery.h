#pragma once
// The command line's answers to the recovery questions of the launch:
// "--resume [N]" and "--restart" answer them in advance; without either an
// interactive terminal is asked, and a run without a terminal refuses to
// guess. What was decided is kept, so that the command can choose its exit
// status and message when the launch ended on it.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "launch/LaunchRecovery.h"

namespace qb::cli {

class CliRecoveryQuestions : public RecoveryQuestions {
public:
    enum class Mode { Ask, Resume, Restart };
    // Why the launch ended on a recovery question, if it did.
    enum class Outcome { None, AlreadyExported, NeedsChoice, Unusable, Declined };

    CliRecoveryQuestions(std::ostream& err, std::istream& in, bool interactive, Mode mode,
                         std::optional<std::int64_t> offset)
        : err_(err), in_(in), interactive_(interactive), mode_(mode), offset_(offset) {}

    bool ExportAgain() override;
    RecoveryAnswer ExportRecovery(std::int64_t& offset) override;
    bool StartOverUnusable(const std::string& reason) override;

    Outcome outcome() const { return outcome_; }
    const std::string& reason() const { return reason_; }

private:
    // One line from the terminal; nullopt at its end.
    std::optional<std::string> AskLine(const std::string& prompt);

    std::ostream& err_;
    std::istream& in_;
    bool interactive_;
    Mode mode_;
    std::optional<std::int64_t> offset_;
    Outcome outcome_ = Outcome::None;
    std::string reason_;
};

}  // namespace qb::cli

#include "CliRecovery.h"

#include <iostream>

#include "CliCommands.h"

namespace qb::cli {
namespace {

bool IsYes(const std::string& answer) { return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes"; }

}  // namespace

std::optional<std::string> CliRecoveryQuestions::AskLine(const std::string& prompt) {
    err_ << prompt << std::flush;
    std::string answer;
    if (!std::getline(in_, answer)) return std::nullopt;
    return answer;
}

bool CliRecoveryQuestions::ExportAgain() {
    if (mode_ == Mode::Restart) return true;
    if (mode_ == Mode::Ask && interactive_) {
        const auto answer = AskLine(
            "Confirm: This database has aleady been exported successfully. Do you wish to export it again? [y/N] ");
        if (answer && IsYes(*answer)) return true;
    }
    outcome_ = Outcome::AlreadyExported;
    return false;
}

RecoveryAnswer CliRecoveryQuestions::ExportRecovery(std::int64_t& offset) {
    if (mode_ == Mode::Restart) return RecoveryAnswer::StartOver;
    if (mode_ == Mode::Resume) {
        if (offset_) offset = *offset_;
        return RecoveryAnswer::Recover;
    }
    if (!interactive_) {
        outcome_ = Outcome::NeedsChoice;
        return RecoveryAnswer::Cancel;
    }
    err_ << "Export Recovery: Recovery information for a cancelled or failed export was found for this database. "
            "Please choose the appropriate action:\n"
            "  1  Recover from last point\n"
            "  2  Don't recover. Start exporting from scratch\n";
    const auto choice = AskLine("Choice [1, 2, anything else cancels] (1): ");
    if (choice && *choice == "2") return RecoveryAnswer::StartOver;
    if (!choice || !(choice->empty() || *choice == "1")) {
        outcome_ = Outcome::Declined;
        return RecoveryAnswer::Cancel;
    }
    const auto typed = AskLine("Recovery Offset (" + std::to_string(offset) + "): ");
    if (!typed) {
        outcome_ = Outcome::Declined;
        return RecoveryAnswer::Cancel;
    }
    if (!typed->empty()) {
        // A sign is allowed here; the launch clamps what is out of range.
        const bool negative = typed->front() == '-';
        const auto digits = ParseNumber(negative ? typed->substr(1) : *typed, 0, std::uint64_t(1) << 40);
        if (!digits) {
            err_ << "not a number: " << *typed << "\n";
            outcome_ = Outcome::Declined;
            return RecoveryAnswer::Cancel;
        }
        offset = negative ? -static_cast<std::int64_t>(*digits) : static_cast<std::int64_t>(*digits);
    }
    return RecoveryAnswer::Recover;
}

bool CliRecoveryQuestions::StartOverUnusable(const std::string& reason) {
    reason_ = reason;
    if (mode_ == Mode::Restart) return true;
    if (mode_ == Mode::Ask && interactive_) {
        err_ << reason << "\n";
        const auto answer = AskLine("Start exporting from scratch? [y/N] ");
        if (answer && IsYes(*answer)) return true;
        outcome_ = Outcome::Declined;
        return false;
    }
    outcome_ = Outcome::Unusable;
    return false;
}

}  // namespace qb::cli

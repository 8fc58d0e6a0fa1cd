#include "notes/FolderRule.h"

namespace qb {
namespace {

constexpr std::string_view kOr = "<~OR~>";
constexpr std::string_view kTo = "<~TO~>";

RuleMatch MatchAlternative(std::string_view alternative, std::string_view notesName) {
    const auto star = alternative.find('*');
    if (star == std::string_view::npos) return alternative == notesName ? RuleMatch::Exact : RuleMatch::None;
    return notesName.starts_with(alternative.substr(0, star)) ? RuleMatch::Prefix : RuleMatch::None;
}

}  // namespace

FolderRule ParseFolderRule(std::string_view text) {
    FolderRule rule;
    std::string_view match = text;
    bool hasTarget = false;
    // A "<~TO~>" at the very start is part of the match text, not a target.
    if (const auto to = text.find(kTo, 1); to != std::string_view::npos) {
        match = text.substr(0, to);
        rule.target = std::string(text.substr(to + kTo.size()));
        hasTarget = true;
    }
    std::size_t start = 0;
    for (std::size_t at; (at = match.find(kOr, start)) != std::string_view::npos; start = at + kOr.size())
        rule.alternatives.emplace_back(match.substr(start, at - start));
    if (start < match.size()) rule.alternatives.emplace_back(match.substr(start));
    if (!hasTarget) rule.target = rule.alternatives.empty() ? "<unknown>" : rule.alternatives.front();
    return rule;
}

RuleMatch MatchFolderRule(const FolderRule& rule, std::string_view notesName) {
    for (const std::string& alternative : rule.alternatives)
        if (RuleMatch m = MatchAlternative(alternative, notesName); m != RuleMatch::None) return m;
    return RuleMatch::None;
}

}  // namespace qb

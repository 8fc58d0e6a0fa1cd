#pragma once
// The include and exclude rules of the settings that decide which views and
// folders are exported and where to.
//
// Syntax: alternatives separated by "<~OR~>", optionally followed by
// "<~TO~>" and a target Outlook path. In an alternative the first "*" ends a
// prefix that every matching Notes title must begin with; without "*" the
// title must equal the alternative exactly (case counts).

#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct FolderRule {
    std::vector<std::string> alternatives;
    std::string target;
};

enum class RuleMatch { None, Exact, Prefix };

FolderRule ParseFolderRule(std::string_view text);

// How the first matching alternative of the rule matches the Notes title.
RuleMatch MatchFolderRule(const FolderRule& rule, std::string_view notesName);

}  // namespace qb

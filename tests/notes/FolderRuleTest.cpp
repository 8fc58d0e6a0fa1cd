#include <gtest/gtest.h>

#include "notes/FolderRule.h"

using qb::MatchFolderRule;
using qb::ParseFolderRule;
using qb::RuleMatch;

TEST(FolderRule, ParsesAlternativesAndTarget) {
    auto rule = ParseFolderRule("($Inbox)<~OR~>Old Inbox<~TO~>Inbox");
    EXPECT_EQ(rule.alternatives, (std::vector<std::string>{"($Inbox)", "Old Inbox"}));
    EXPECT_EQ(rule.target, "Inbox");

    auto noTarget = ParseFolderRule("Projects\\2024<~OR~>");
    EXPECT_EQ(noTarget.alternatives, std::vector<std::string>{"Projects\\2024"});
    EXPECT_EQ(noTarget.target, "Projects\\2024");

    EXPECT_EQ(ParseFolderRule("").target, "<unknown>");
    EXPECT_TRUE(ParseFolderRule("").alternatives.empty());
    // "<~TO~>" at the very start belongs to the match text.
    auto leading = ParseFolderRule("<~TO~>x");
    EXPECT_EQ(leading.alternatives, std::vector<std::string>{"<~TO~>x"});
    auto emptyFirst = ParseFolderRule("<~OR~>b");
    EXPECT_EQ(emptyFirst.alternatives, (std::vector<std::string>{"", "b"}));
}

TEST(FolderRule, MatchesExactlyOrByPrefixBeforeTheFirstStar) {
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("($Inbox)"), "($Inbox)"), RuleMatch::Exact);
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("($inbox)"), "($Inbox)"), RuleMatch::None) << "case counts";
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("($*"), "($Sent)"), RuleMatch::Prefix);
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("($*ignored"), "($Sent)"), RuleMatch::Prefix);
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("*"), "anything"), RuleMatch::Prefix);
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("Proj*"), "Pro"), RuleMatch::None);
    EXPECT_EQ(MatchFolderRule(ParseFolderRule(""), ""), RuleMatch::None) << "no alternatives never match";
    EXPECT_EQ(MatchFolderRule(ParseFolderRule("a<~OR~>b*"), "bob"), RuleMatch::Prefix);
}

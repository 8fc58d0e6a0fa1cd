#include "notes/sample/SampleExportSettings.h"

#include <algorithm>

namespace qb::notes::sample {

std::string SampleExportSettings::ExcludeSetting() const {
    std::string text;
    for (const std::string& rule : excludeRules) text += rule + ",";
    return text;
}

std::string SampleExportSettings::IncludeSetting() const {
    std::string text;
    for (const SampleIncludeRule& rule : includeRules) {
        for (std::size_t i = 0; i < rule.notesNames.size(); ++i) text += (i ? "<~OR~>" : "") + rule.notesNames[i];
        text += "<~TO~>" + rule.outlookPath + ",";
    }
    return text;
}

std::optional<std::string> SampleExportSettings::OutlookPathOf(const std::string& notesTitle) const {
    for (const SampleIncludeRule& rule : includeRules)
        if (std::find(rule.notesNames.begin(), rule.notesNames.end(), notesTitle) != rule.notesNames.end())
            return rule.outlookPath;
    for (const std::string& rule : excludeRules) {
        const bool prefix = !rule.empty() && rule.back() == '*';
        if (prefix ? notesTitle.starts_with(rule.substr(0, rule.size() - 1)) : notesTitle == rule) return std::nullopt;
    }
    return notesTitle;
}

const SampleExportSettings& ShippedExportSettings() {
    // System views hold copies of what the folders hold; the special mail
    // folders go to their Outlook counterparts.
    static const SampleExportSettings settings{
        {"($*", "(Discussion Threads)"},
        {{{"($Inbox)"}, "Inbox"},
         {{"($Sent)"}, "Sent Items"},
         {{"($Drafts)"}, "Drafts"},
         {{"($SoftDeletions)", "($Trash)"}, "Deleted Items"}},
    };
    return settings;
}

}  // namespace qb::notes::sample

#pragma once
// The export settings the sample ships in its Quillbox.ini, kept as data so
// that the ini text and the sample's promises about the export (which Outlook
// folders get which documents, what a converted memo looks like) come from
// one place.

#include <optional>
#include <string>
#include <vector>

namespace qb::notes::sample {

struct SampleIncludeRule {
    std::vector<std::string> notesNames;  // exact Notes titles
    std::string outlookPath;
};

struct SampleExportSettings {
    // A rule ending in "*" excludes every title that begins with the text
    // before it; any other rule excludes the title equal to it.
    std::vector<std::string> excludeRules;
    std::vector<SampleIncludeRule> includeRules;
    bool renameExecutables = true;
    bool exportDocLinks = true;
    bool richTextBodies = true;  // BodyFormat 1: the RTF body too
    bool attachImages = true;

    // The setting values as the ini file holds them.
    std::string ExcludeSetting() const;
    std::string IncludeSetting() const;

    // Where the export puts the documents of a view or folder: the Outlook
    // folder path ("\" between levels), or nothing when the rules leave it
    // out. An include rule names its target; the title itself is the path
    // otherwise.
    std::optional<std::string> OutlookPathOf(const std::string& notesTitle) const;
};

const SampleExportSettings& ShippedExportSettings();

}  // namespace qb::notes::sample

#pragma once
// The export log: a plain text file written one line at a time, each line
// with one write as it comes, so that everything logged survives a crash and
// the log can be read while an export runs. Between lines the file stays
// open (KeptLogFile); a fresh start and the single writes of AppendToFile
// open and close it.

#include <string>
#include <string_view>

#include "shell/log/KeptLogFile.h"

namespace qb {

inline constexpr const char* kExportLogFileName = "exportlog.txt";

// Appends (or, with overwrite, replaces the file with) the text exactly as
// given. A file that cannot be opened drops the text; nothing is reported.
void AppendToFile(const std::string& path, std::string_view text, bool overwrite);

class ExportLog {
public:
    // Set at each launch from the "Log" check box; while clear nothing is written.
    bool logToFile = false;

    // "exportlog.txt" in the temporary folder, fixed at start-up (may be empty).
    void SetSingleDatabasePath(std::string path) { singlePath_ = std::move(path); }
    const std::string& SingleDatabasePath() const { return singlePath_; }

    // The batch export's log for one database, and the flag that selects it.
    void SetPerDatabasePath(std::string path) { perDatabasePath_ = std::move(path); }
    void UsePerDatabasePath(bool use) { usePerDatabase_ = use; }
    bool UsesPerDatabasePath() const { return usePerDatabase_; }

    // The file that Write goes to now.
    const std::string& CurrentPath() const { return usePerDatabase_ ? perDatabasePath_ : singlePath_; }

    // With truncate the file is emptied first. The text is never a format.
    void Write(std::string_view text, bool truncate = false) const;
    // Lets go of the file held open between lines (at the end of a run).
    void CloseFile() const { file_.Close(); }

private:
    mutable KeptLogFile file_;
    std::string singlePath_;
    std::string perDatabasePath_;
    bool usePerDatabase_ = false;
};

}  // namespace qb

#pragma once
// The batch export's list of Notes mailboxes, each with its Outlook target
// and its last result, and the comma-separated file that keeps it between
// runs ("QuillboxM.csv" beside the settings).
//
// Invariants: the list keeps insertion order; the file is always replaced
// whole (temporary file, rename), so a crash leaves the old or the new list,
// and a new file is private (0600): it holds profile passwords. Any field
// written (commas, quotes, line breaks, any length) reads back unchanged.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/report/MessageSink.h"

namespace qb {

struct DatabaseListItem {
    std::string title;         // "Notes Title"
    std::string server;        // "Notes Server"; empty for a local database
    std::string filePath;      // "Notes Filepath"
    std::string outputFolder;  // "Output Mail Folder": store or new file's display name
    std::string pstFileName;   // "PST Filename": a plain file name
    bool done = false;         // exported with result 0; skipped until reset
    std::int32_t exportedCount = 0;
    std::int32_t processedCount = 0;
    std::string statusText;  // "OK" or the last failure
    std::int32_t resultCode = 0;
    std::string addressBookServer;
    std::string addressBookPath;
    std::string profile;   // Outlook profile of an Exchange target
    std::string password;  // its password
    // Not stored in the file.
    bool pstNameChanged = false;

    // The rows show an error icon for these.
    bool HasError() const { return resultCode != 0; }
};

// The switches of AddDatabaseListItem.
struct AddSwitches {
    bool allowDuplicateDatabase = false;
    bool allowDuplicatePst = false;
    bool renameDuplicatePst = true;
};

class DatabaseList {
public:
    static constexpr const char* kDefaultFileName = "QuillboxM.csv";
    // A list file is names and results; anything larger is not one.
    static constexpr std::size_t kMaxFileBytes = 64u << 20;

    // The default file lies in `folder` (that of the settings file).
    explicit DatabaseList(std::string defaultPath = {}) : defaultPath_(std::move(defaultPath)) {}
    static std::string DefaultPathBeside(const std::string& settingsPath);
    const std::string& defaultPath() const { return defaultPath_; }

    // Writes every item, replacing the file (empty path: the default). A
    // failure shows "ExportDatabaseListToCSV ERROR: ..." (title "Export Error").
    bool ExportDatabaseListToCSV(const std::string& path, MessageSink& messages);
    // The same; a failure's text is appended to `collected` instead.
    bool ExportDatabaseListToCSV_V2(const std::string& path, std::vector<std::string>& collected);
    // Replaces the list by the file's items. A file that cannot be read
    // shows "Unable to open file " + path (title "Error") and leaves the list.
    bool ImportDatabaseList(const std::string& path, MessageSink& messages);

    // Adds a database. Empty PST name: the file path's base name with
    // ".pst"; empty output folder: the title. Returns the new item's index,
    // or nothing with `message` saying which item it repeats.
    std::optional<std::size_t> AddDatabaseListItem(const std::string& title, const std::string& server,
                                                   const std::string& filePath, const std::string& outputFolder,
                                                   const std::string& pstName, const AddSwitches& switches,
                                                   std::string& message);

    // "Reset Flags": clears `done` on every item.
    void ResetFlags();

    std::vector<DatabaseListItem> items;
    std::string lastErrorText;

private:
    // 0 when written; else the writer's step number.
    int Write(const std::string& path, std::size_t& written);
    std::string PathOr(const std::string& path) const { return path.empty() ? defaultPath_ : path; }

    std::string defaultPath_;
};

// The file's text of a list, and a list from a file's text.
std::string DatabaseListText(const std::vector<DatabaseListItem>& items);
std::vector<DatabaseListItem> ParseDatabaseList(const std::string& text);

// The PST name a database gets by default: its path's base name (cut at
// "\" or "/") without its extension, with ".pst".
std::string DefaultPstFileName(const std::string& filePath);

// Why `name` cannot be a PST file name inside the chosen folder (a path
// separator, "." or "..", empty), or empty when it can.
std::string PstFileNameProblem(const std::string& name);

}  // namespace qb

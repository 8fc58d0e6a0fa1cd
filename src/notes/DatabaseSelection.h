#pragma once
// What the "Select Database" dialog shows and does, without the window: the
// servers (from notes.ini and the address books' locations), and the rows of
// one directory of a server (an "up" row below the root, the databases by
// title, the subdirectories by name), with "up" and "enter" navigation.
// A window (or the command line) reads rows() and the texts and calls
// Activate / UpdateDatabaseList; errors come back as texts, never boxes.
//
// Invariants: after a failed listing the directory, depth, history and rows
// are those of the last listing that succeeded, so what is shown always
// matches where the selection is; the server "LOCAL" and "" both mean the
// local data directory.

#include <cstddef>
#include <string>
#include <vector>

#include "notes/api/LNNotesSession.h"

namespace qb {

struct DatabaseRow {
    enum class Kind { Up, Database, Folder };
    // The icon of the dialog's image list for each kind.
    static constexpr int kDatabaseIcon = 0, kUpIcon = 2, kFolderIcon = 3;

    Kind kind = Kind::Database;
    std::string text;      // title, folder name; empty for "up"
    std::string filePath;  // databases only: the path as the Notes API gives it
    int icon = kDatabaseIcon;
};

class DatabaseSelection {
public:
    static constexpr const char* kLocal = "Local";
    static constexpr const char* kRootLabel = "<root of the Lotus Notes data directory>";
    static constexpr const char* kServerUnreachable = "Unable to find path to server";
    static constexpr const char* kServerUnreachableTitle = "Lotus Notes Error";

    explicit DatabaseSelection(LNNotesSession& session) : session_(session) {}

    // "Local", then the servers of notes.ini and of the address books'
    // "($Locations)" ($SavedServers, abbreviated), sorted ignoring case. A
    // Notes error leaves `error` with its text and gives the list read so
    // far without the names of the failing book.
    std::vector<std::string> ListServers(std::string& error);

    // step -1: up one level; 0: the current directory (or, with reset, the
    // server's root); +1: into `subdirectory`. False when the location could
    // not be listed: errorText() says why, the state stays as it was.
    bool UpdateDatabaseList(int step, const std::string& server, const std::string& subdirectory, bool reset);

    // Activates a row: "up" lists the parent, a folder is entered. False for
    // a database row, an unknown row, while the last listing failed, or
    // when the listing fails.
    bool Activate(std::size_t row);

    const std::vector<DatabaseRow>& rows() const { return rows_; }
    const std::string& server() const { return server_; }
    const std::string& directory() const { return directory_; }
    int depth() const { return depth_; }
    bool listingFailed() const { return failed_; }
    const std::string& errorText() const { return error_; }
    // The "Directory:" label: the directory with "\", or kRootLabel.
    std::string DirectoryLabel() const;
    // The "Filename:" field after a listing: the first database's path.
    std::string FirstFilePath() const;

    // The title of a database picked by "Browse Folders" (or named on a
    // command line): "!Could not get database!" when it cannot be reached,
    // "!Could not open database!" when it does not open.
    std::string DatabaseTitle(const std::string& path, const std::string& server = "") const;

    // Multi-selection's "Filename:" text: each path in double quotes, one
    // space between them.
    static std::string FilenameText(const std::vector<std::string>& paths);

private:
    struct Place {
        std::string server, directory;
        int depth = 0;
        std::vector<std::string> history;
        std::vector<DatabaseRow> rows;
    };
    Place Current() const;
    void Restore(Place place);
    bool List();
    void AddSavedServers(const std::string& book, std::vector<std::string>& names);

    LNNotesSession& session_;
    std::string server_;
    std::string directory_;
    int depth_ = 0;
    std::vector<std::string> history_;
    std::vector<DatabaseRow> rows_;
    bool failed_ = false;
    std::string error_;
};

}  // namespace qb

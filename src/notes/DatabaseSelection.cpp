#include "notes/DatabaseSelection.h"

#include <algorithm>

#include "notes/NotesErrorText.h"
#include "notes/api/LNViewFolder.h"
#include "text/TextCase.h"

namespace qb {
namespace {

bool IsLocal(const std::string& server) { return server.empty() || server == "LOCAL"; }

// The Notes API raises or returns its status, depending on the global mode.
template <class Operation>
LNSTATUS StatusOf(Operation&& operation) {
    try {
        return operation();
    } catch (const LNStatusError& e) {
        return e.GetStatus();
    }
}

void AddUnique(std::vector<std::string>& names, const std::string& name) {
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

}  // namespace

void DatabaseSelection::AddSavedServers(const std::string& book, std::vector<std::string>& names) {
    LNDatabase database;
    if (LNSTATUS status = StatusOf([&] { return session_.GetDatabase(book, &database); }); status != LNNOERROR)
        throw LNStatusError(status);
    if (StatusOf([&] { return database.Open(); }) != LNNOERROR) return;  // a book that does not open is left out
    LNViewFolder locations;
    if (StatusOf([&] { return database.GetViewFolder("($Locations)", &locations); }) == LNNOERROR &&
        StatusOf([&] { return locations.Open(); }) == LNNOERROR) {
        for (LNINT i = 0; i < locations.GetEntryCount(); ++i) {
            ScopedNotesThrowMode returnCodes(false);
            LNVFEntry entry;
            LNDocument document;
            if (locations.GetEntry(i, &entry) != LNNOERROR || entry.GetDocument(&document) != LNNOERROR ||
                document.Open() != LNNOERROR)
                continue;
            LNText saved;
            if (document.HasItem("$SavedServers") && document.GetItem("$SavedServers", &saved) == LNNOERROR)
                for (const LNString& server : saved.GetTexts()) AddUnique(names, session_.AbbreviateName(server));
            document.Close();
        }
        locations.Close();
    }
    database.Close();
}

std::vector<std::string> DatabaseSelection::ListServers(std::string& error) {
    error.clear();
    std::vector<std::string> names;
    for (const LNString& server : session_.GetServerNames()) AddUnique(names, session_.AbbreviateName(server));
    std::vector<LNString> books;
    try {
        if (LNSTATUS status = StatusOf([&] { return session_.GetAddressBooks(&books); }); status != LNNOERROR)
            throw LNStatusError(status);
        for (const LNString& book : books) AddSavedServers(book, names);
    } catch (const LNStatusError& e) {
        error = NotesErrorText(e.GetStatus());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return text::CompareIgnoreCase(a, b) < 0; });
    names.insert(names.begin(), kLocal);
    return names;
}

DatabaseSelection::Place DatabaseSelection::Current() const {
    return Place{server_, directory_, depth_, history_, rows_};
}

void DatabaseSelection::Restore(Place place) {
    server_ = std::move(place.server);
    directory_ = std::move(place.directory);
    depth_ = place.depth;
    history_ = std::move(place.history);
    rows_ = std::move(place.rows);
}

bool DatabaseSelection::UpdateDatabaseList(int step, const std::string& server, const std::string& subdirectory,
                                           bool reset) {
    Place before = Current();
    server_ = IsLocal(server) ? std::string() : server;
    if (reset) {
        directory_.clear();
        depth_ = 0;
        history_.clear();
    }
    if (step < 0) {
        directory_ = history_.empty() ? std::string() : history_.back();
        if (!history_.empty()) history_.pop_back();
    } else if (step > 0) {
        history_.push_back(directory_);
        directory_ = subdirectory;
    }
    depth_ = std::max(0, depth_ + (step < 0 ? -1 : step > 0 ? 1 : 0));
    try {
        if (List()) {
            failed_ = false;
            error_.clear();
            return true;
        }
    } catch (...) {
        error_ = "Unexpected Error Occured in DlgOpenDatabase::UpdateDatabaseList. You should stop and start Quillbox";
    }
    Restore(std::move(before));
    failed_ = true;
    return false;
}

bool DatabaseSelection::List() {
    if (!session_.IsThreadInitialized() && session_.InitThread() != LNNOERROR) {
        error_ = "The Notes session could not be started for this thread.";
        return false;
    }
    LNDatabaseArray databases;
    if (LNSTATUS status = StatusOf([&] { return session_.GetDatabases(&databases, server_, 5, directory_); });
        status != LNNOERROR) {
        error_ = NotesErrorText(status);
        return false;
    }
    std::vector<DatabaseRow> found;
    std::vector<std::string> folders;
    const std::string prefix = directory_.empty() ? std::string() : directory_ + "\\";
    for (LNINT i = 0; i < databases.GetCount(); ++i) {
        const LNDatabaseEntry& entry = databases[i];
        std::string rest = entry.filepath;
        if (!prefix.empty() && text::StartsWithIgnoreCase(rest, prefix)) rest.erase(0, prefix.size());
        const std::size_t cut = rest.find('\\');
        if (cut == std::string::npos) {
            found.push_back({DatabaseRow::Kind::Database, entry.title, entry.filepath, DatabaseRow::kDatabaseIcon});
            continue;
        }
        const std::string folder = rest.substr(0, cut);
        const bool known = std::any_of(folders.begin(), folders.end(),
                                       [&](const std::string& f) { return text::EqualsIgnoreCase(f, folder); });
        if (!known) folders.push_back(folder);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const DatabaseRow& a, const DatabaseRow& b) { return a.text < b.text; });
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return text::CompareIgnoreCase(a, b) < 0; });
    rows_.clear();
    if (depth_ >= 1) rows_.push_back({DatabaseRow::Kind::Up, "", "", DatabaseRow::kUpIcon});
    rows_.insert(rows_.end(), found.begin(), found.end());
    for (const std::string& folder : folders)
        rows_.push_back({DatabaseRow::Kind::Folder, folder, "", DatabaseRow::kFolderIcon});
    return true;
}

bool DatabaseSelection::Activate(std::size_t row) {
    if (failed_ || row >= rows_.size()) return false;
    const DatabaseRow chosen = rows_[row];
    switch (chosen.kind) {
        case DatabaseRow::Kind::Up:
            return UpdateDatabaseList(-1, server_, "", false);
        case DatabaseRow::Kind::Folder:
            return UpdateDatabaseList(1, server_, directory_.empty() ? chosen.text : directory_ + "\\" + chosen.text,
                                      false);
        case DatabaseRow::Kind::Database:
            break;
    }
    return false;
}

std::string DatabaseSelection::DirectoryLabel() const { return directory_.empty() ? kRootLabel : directory_ + "\\"; }

std::string DatabaseSelection::FirstFilePath() const {
    for (const DatabaseRow& row : rows_)
        if (row.kind == DatabaseRow::Kind::Database) return row.filePath;
    return {};
}

std::string DatabaseSelection::DatabaseTitle(const std::string& path, const std::string& server) const {
    ScopedNotesThrowMode returnCodes(false);
    LNDatabase database;
    if (session_.GetDatabase(path, &database, server) != LNNOERROR) return "!Could not get database!";
    if (database.Open() != LNNOERROR) return "!Could not open database!";
    std::string title = database.GetTitle();
    database.Close();
    return title;
}

std::string DatabaseSelection::FilenameText(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "\"" : " \"") + path + "\"";
    return text;
}

}  // namespace qb

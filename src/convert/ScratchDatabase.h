#pragma once
// A local Notes database that a document is copied into when its body has a
// type the reader does not know, so that the body can be read again from the
// copy. Opened or created on first need and kept open for the run.

#include <string>

#include "notes/api/LNDatabase.h"
#include "notes/api/LNNotesSession.h"

namespace qb {

inline constexpr const char* kScratchDatabaseName = "QuillboxTemp.nsf";

class ScratchDatabase {
public:
    // `folder` is where the database file lives: a folder only this user can
    // write (the program's folder is not writable for the user on most
    // installs). Empty: the database cannot be opened.
    ScratchDatabase(LNNotesSession& session, std::string folder) : session_(session), folder_(std::move(folder)) {}
    ~ScratchDatabase() { Close(); }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    // True when the database is open for use, creating it when needed.
    bool Open();
    void Close();
    bool IsOpen() const { return open_; }
    LNDatabase& database() { return database_; }
    const std::string& path() const { return path_; }

private:
    LNNotesSession& session_;
    std::string folder_;
    std::string path_;
    LNDatabase database_;
    bool open_ = false;
};

}  // namespace qb

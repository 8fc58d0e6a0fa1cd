#pragma once
// The Notes session: configuration from notes.ini, servers, databases.
//
// notes.ini (section [Notes]) gives Directory (the local data directory;
// database paths are relative to it), Names (address books, comma
// separated), MailFile, MailServer and the user's name (UserName, else the
// first part of KeyFilename's base name). A server is a name that notes.ini
// maps to a data directory of its own with a key "Server_<name>" (or a
// [Servers] section "<name>=<directory>"); the abbreviated and canonical
// forms of the name both answer. An empty server, or "Local", is the local
// data directory.

#include <string>
#include <vector>

#include "notes/api/LNDatabase.h"

// One database found by GetDatabases.
struct LNDatabaseEntry {
    LNString title;
    LNString filepath;  // relative to the data directory, "\" between levels
    LNString server;
};

class LNDatabaseArray {
public:
    LNINT GetCount() const { return static_cast<LNINT>(entries_.size()); }
    const LNDatabaseEntry& operator[](LNINT index) const { return entries_.at(static_cast<std::size_t>(index)); }
    void Append(LNDatabaseEntry entry) { entries_.push_back(std::move(entry)); }
    void Clear() { entries_.clear(); }

private:
    std::vector<LNDatabaseEntry> entries_;
};

class LNNotesSession {
public:
    LNNotesSession();
    ~LNNotesSession();
    LNNotesSession(const LNNotesSession&) = delete;
    LNNotesSession& operator=(const LNNotesSession&) = delete;

    // Reads notes.ini (the program folder's notes.ini when none is given).
    // The calling thread counts as initialised.
    LNSTATUS Initialize(int apiVersion = 230, int argc = 0, char** argv = nullptr, int flags = 1,
                        const char* notesIniPath = nullptr);
    LNSTATUS Initialize(const LNString& notesIniPath) { return Initialize(230, 0, nullptr, 1, notesIniPath.c_str()); }
    // A session without notes.ini: the given folder is the local data
    // directory (tools that open one database file).
    LNSTATUS InitializeWithDataDirectory(const LNString& directory);
    bool IsInitialized() const { return initialized_; }
    LNSTATUS Term();

    // Per-thread initialisation; every thread but the one that called
    // Initialize calls InitThread before its first operation.
    LNSTATUS InitThread();
    bool IsThreadInitialized() const;
    LNSTATUS TermThread();

    // A database handle (not open). Paths may use "\" or "/"; an absolute
    // path is taken as it is. An unknown server fails with
    // LNERR_SERVER_NOT_REACHABLE.
    LNSTATUS GetDatabase(const LNString& path, LNDatabase* database, const LNString& server = "") const;
    LNSTATUS GetMailDatabase(LNDatabase* database, bool open = false) const;
    LNString GetMailServer() const;
    LNString GetMailFile() const;
    LNString GetUserName() const;
    LNString GetDataDirectory() const;
    // The address books named by notes.ini, as database paths.
    LNSTATUS GetAddressBooks(std::vector<LNString>* paths, bool serverBooks = false) const;
    // Every database below a directory of a server (recursively), with its
    // title. The type selector (5: databases and templates) is accepted as
    // given; every DXL database is listed.
    LNSTATUS GetDatabases(LNDatabaseArray* databases, const LNString& server = "", int typeSelector = 5,
                          const LNString& directory = "") const;
    // Creates a new, empty local database file and returns it open.
    LNSTATUS CreateDatabase(const LNString& path, LNDatabase* database, const LNString& server = "");

    // "CN=User One/OU=Unit/O=Org" -> "User One/Unit/Org"; other text unchanged.
    LNString AbbreviateName(const LNString& name) const;
    LNSTATUS AbbreviateName(const LNString& name, LNString* abbreviated) const;

    // The servers notes.ini names, as written there, in its order.
    std::vector<LNString> GetServerNames() const;

    // The data directory of a server ("" or "Local" for the local one).
    LNSTATUS ResolveServer(const LNString& server, LNString* directory) const;

private:
    LNSTATUS RequireThread() const;
    LNString ResolvePath(const LNString& directory, const LNString& path) const;

    bool initialized_ = false;
    LNString iniPath_;
    LNString dataDirectory_;
    LNString names_;
    LNString mailFile_;
    LNString mailServer_;
    LNString userName_;
    std::vector<std::pair<LNString, LNString>> servers_;  // name, directory
};

// AbbreviateName without a session.
LNString LNAbbreviateName(const LNString& name);

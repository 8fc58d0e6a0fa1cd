#include "notes/api/LNNotesSession.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "notes/api/DatabaseImpl.h"
#include "notes/api/DxlWriter.h"
#include "shell/platform/Paths.h"
#include "shell/platform/PrivateProfile.h"
#include "text/TextCase.h"

using namespace qb::notes;
namespace fs = std::filesystem;

namespace {

thread_local int t_threadInit = 0;

std::string Trim(std::string text) {
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::string ToSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool IsDatabaseFile(const fs::path& path) {
    std::string extension = path.extension().string();
    return qb::text::EqualsIgnoreCase(extension, ".dxl") || qb::text::EqualsIgnoreCase(extension, ".xml");
}

bool IsLocal(const std::string& server) { return server.empty() || qb::text::EqualsIgnoreCase(server, "Local"); }

}  // namespace

LNString LNAbbreviateName(const LNString& name) {
    if (name.find('=') == std::string::npos) return name;
    std::string result;
    std::size_t begin = 0;
    while (begin <= name.size()) {
        std::size_t end = name.find('/', begin);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(begin, end - begin);
        std::size_t equals = part.find('=');
        if (equals != std::string::npos && equals <= 2) part = part.substr(equals + 1);
        if (!result.empty()) result.push_back('/');
        result += part;
        begin = end + 1;
    }
    return result;
}

LNNotesSession::LNNotesSession() = default;

LNNotesSession::~LNNotesSession() {
    if (initialized_) Term();
}

LNSTATUS LNNotesSession::Initialize(int, int, char**, int, const char* notesIniPath) {
    std::string path = notesIniPath && *notesIniPath ? std::string(notesIniPath)
                                                     : qb::platform::JoinPath(qb::platform::ProgramFolder(), "notes.ini");
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(LNERR_FILE_NOT_FOUND, "notes.ini " + path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto ini = qb::platform::ProfileDocument::Parse(text);
    auto get = [&](const char* key) { return Trim(ini.Get("Notes", key).value_or("")); };
    std::string directory = get("Directory");
    std::string iniFolder = fs::path(path).parent_path().string();
    if (directory.empty()) directory = iniFolder.empty() ? "." : iniFolder;
    directory = ToSlashes(directory);
    if (fs::path(directory).is_relative() && !iniFolder.empty()) directory = (fs::path(iniFolder) / directory).string();
    dataDirectory_ = directory;
    names_ = get("Names");
    mailFile_ = get("MailFile");
    mailServer_ = get("MailServer");
    userName_ = get("UserName");
    if (userName_.empty()) {
        std::string key = get("KeyFilename");
        userName_ = fs::path(ToSlashes(key)).stem().string();
    }
    servers_.clear();
    // Servers: "Server_<name>=<directory>" in [Notes], or entries of [Servers].
    std::istringstream lines(text);
    std::string currentSection;
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            currentSection = line.substr(1, line.find(']') - 1);
            continue;
        }
        // Server names hold "=" themselves ("CN=Hub/O=Org"): the directory follows the last one.
        std::size_t equals = line.rfind('=');
        if (equals == std::string::npos) continue;
        std::string key = Trim(line.substr(0, equals)), value = Trim(line.substr(equals + 1));
        std::string name;
        if (qb::text::EqualsIgnoreCase(currentSection, "Notes") && qb::text::StartsWithIgnoreCase(key, "Server_"))
            name = key.substr(7);
        else if (qb::text::EqualsIgnoreCase(currentSection, "Servers"))
            name = key;
        if (name.empty()) continue;
        std::string serverDirectory = ToSlashes(value);
        if (fs::path(serverDirectory).is_relative() && !iniFolder.empty())
            serverDirectory = (fs::path(iniFolder) / serverDirectory).string();
        servers_.emplace_back(name, serverDirectory);
    }
    iniPath_ = path;
    initialized_ = true;
    ++t_threadInit;
    return LNNOERROR;
}

LNSTATUS LNNotesSession::InitializeWithDataDirectory(const LNString& directory) {
    std::error_code error;
    if (!fs::is_directory(directory, error)) return Fail(LNERR_DIRECTORY_NOT_FOUND, directory);
    dataDirectory_ = ToSlashes(directory);
    names_.clear();
    mailFile_.clear();
    mailServer_.clear();
    userName_.clear();
    servers_.clear();
    iniPath_.clear();
    initialized_ = true;
    ++t_threadInit;
    return LNNOERROR;
}

LNSTATUS LNNotesSession::Term() {
    if (!initialized_) return Fail(LNERR_NOT_INITIALIZED);
    initialized_ = false;
    if (t_threadInit > 0) --t_threadInit;
    return LNNOERROR;
}

LNSTATUS LNNotesSession::InitThread() {
    if (!initialized_) return Fail(LNERR_NOT_INITIALIZED);
    ++t_threadInit;
    return LNNOERROR;
}

bool LNNotesSession::IsThreadInitialized() const { return initialized_ && t_threadInit > 0; }

LNSTATUS LNNotesSession::TermThread() {
    if (t_threadInit == 0) return Fail(LNERR_THREAD_NOT_INITIALIZED);
    --t_threadInit;
    return LNNOERROR;
}

LNSTATUS LNNotesSession::RequireThread() const {
    if (!initialized_) return Fail(LNERR_NOT_INITIALIZED);
    if (t_threadInit == 0) return Fail(LNERR_THREAD_NOT_INITIALIZED);
    return LNNOERROR;
}

LNSTATUS LNNotesSession::ResolveServer(const LNString& server, LNString* directory) const {
    if (IsLocal(server)) {
        *directory = dataDirectory_;
        return LNNOERROR;
    }
    std::string abbreviated = LNAbbreviateName(server);
    for (const auto& [name, folder] : servers_)
        if (qb::text::EqualsIgnoreCase(LNAbbreviateName(name), abbreviated)) {
            *directory = folder;
            return LNNOERROR;
        }
    return LNERR_SERVER_NOT_REACHABLE;
}

LNString LNNotesSession::ResolvePath(const LNString& directory, const LNString& path) const {
    std::string relative = ToSlashes(path);
    if (fs::path(relative).is_absolute()) return relative;
    return (fs::path(directory) / relative).string();
}

LNSTATUS LNNotesSession::GetDatabase(const LNString& path, LNDatabase* database, const LNString& server) const {
    if (LNSTATUS status = RequireThread()) return status;
    if (path.empty()) return Fail(LNERR_INVALID_PARAMETER, "empty database path");
    std::string directory;
    if (ResolveServer(server, &directory) != LNNOERROR) return Fail(LNERR_SERVER_NOT_REACHABLE, server);
    auto impl = std::make_shared<DatabaseImpl>();
    impl->notesPath = path;
    impl->filePath = ResolvePath(directory, path);
    impl->server = IsLocal(server) ? std::string() : server;
    *database = LNDatabase(std::move(impl));
    return LNNOERROR;
}

LNSTATUS LNNotesSession::GetMailDatabase(LNDatabase* database, bool open) const {
    if (LNSTATUS status = RequireThread()) return status;
    if (mailFile_.empty()) return Fail(LNERR_FILE_NOT_FOUND, "notes.ini names no MailFile");
    if (LNSTATUS status = GetDatabase(mailFile_, database, mailServer_)) return status;
    return open ? database->Open() : LNNOERROR;
}

LNString LNNotesSession::GetMailServer() const { return mailServer_; }
LNString LNNotesSession::GetMailFile() const { return mailFile_; }
LNString LNNotesSession::GetUserName() const { return userName_; }
LNString LNNotesSession::GetDataDirectory() const { return dataDirectory_; }

LNSTATUS LNNotesSession::GetAddressBooks(std::vector<LNString>* paths, bool) const {
    if (LNSTATUS status = RequireThread()) return status;
    paths->clear();
    std::size_t begin = 0;
    while (begin < names_.size()) {
        std::size_t end = names_.find(',', begin);
        if (end == std::string::npos) end = names_.size();
        std::string name = Trim(names_.substr(begin, end - begin));
        if (!name.empty()) {
            if (fs::path(ToSlashes(name)).extension().empty()) name += ".dxl";
            paths->push_back(name);
        }
        begin = end + 1;
    }
    return LNNOERROR;
}

std::vector<LNString> LNNotesSession::GetServerNames() const {
    std::vector<LNString> names;
    for (const auto& server : servers_) names.push_back(server.first);
    return names;
}

LNSTATUS LNNotesSession::GetDatabases(LNDatabaseArray* databases, const LNString& server, int,
                                      const LNString& directory) const {
    if (LNSTATUS status = RequireThread()) return status;
    databases->Clear();
    std::string root;
    if (ResolveServer(server, &root) != LNNOERROR) return Fail(LNERR_SERVER_NOT_REACHABLE, server);
    fs::path start = fs::path(root) / ToSlashes(directory);
    std::error_code error;
    if (!fs::is_directory(start, error)) return Fail(LNERR_DIRECTORY_NOT_FOUND, start.string());
    std::vector<LNDatabaseEntry> found;
    for (auto it = fs::recursive_directory_iterator(start, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error) || !IsDatabaseFile(it->path())) continue;
        std::string relative = fs::relative(it->path(), root, error).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        LNDatabaseEntry entry;
        entry.filepath = relative;
        entry.server = IsLocal(server) ? std::string() : server;
        entry.title = ReadDxlTitle(it->path().string());
        if (entry.title.empty()) entry.title = it->path().stem().string();
        found.push_back(std::move(entry));
    }
    if (error) return Fail(LNERR_FILE_READ, start.string() + ": " + error.message());
    std::sort(found.begin(), found.end(),
              [](const LNDatabaseEntry& a, const LNDatabaseEntry& b) { return a.filepath < b.filepath; });
    for (LNDatabaseEntry& entry : found) databases->Append(std::move(entry));
    return LNNOERROR;
}

LNSTATUS LNNotesSession::CreateDatabase(const LNString& path, LNDatabase* result, const LNString& server) {
    LNDatabase created;
    LNDatabase* database = &created;
    if (LNSTATUS status = GetDatabase(path, database, server)) return status;
    std::string file = database->GetSystemPath();
    std::error_code error;
    if (fs::exists(file, error)) return Fail(LNERR_DATABASE_EXISTS, file);
    if (fs::path(file).has_parent_path()) fs::create_directories(fs::path(file).parent_path(), error);
    {
        std::ofstream out(file, std::ios::binary);
        if (!out) return Fail(LNERR_FILE_WRITE, file);
        DxlDatabaseInfo info;
        info.title = fs::path(ToSlashes(path)).stem().string();
        char replica[20];
        std::snprintf(replica, sizeof replica, "%08X%08X", static_cast<unsigned>(std::time(nullptr)),
                      static_cast<unsigned>(std::hash<std::string>()(file)));
        info.replicaId = replica;
        info.defaultAccess = LNACCESSLEVEL_NO_ACCESS + 4;  // editor, until the creator says otherwise
        WriteDatabaseStart(out, info);
        WriteDatabaseEnd(out);
        if (!out) return Fail(LNERR_FILE_WRITE, file);
    }
    if (LNSTATUS status = database->Open()) return status;
    *result = created;
    return LNNOERROR;
}

LNString LNNotesSession::AbbreviateName(const LNString& name) const { return LNAbbreviateName(name); }

LNSTATUS LNNotesSession::AbbreviateName(const LNString& name, LNString* abbreviated) const {
    *abbreviated = LNAbbreviateName(name);
    return LNNOERROR;
}

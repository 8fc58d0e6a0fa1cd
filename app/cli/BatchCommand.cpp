// quillbox-cli batch: the multi-database export from the command line.
//
//   batch add [DB...] [--server S] [--dir D]   add mailboxes (files, or paths as
//                                             notes.ini's MailFile; --dir lists a
//                                             directory of the server's data)
//       [--pst-name FILE] [--output-folder NAME]  the item's .pst file name (one
//                                             database only) and top folder name
//       [--address-book DB [--address-book-server S]]  the items' address book
//   batch list                                 the list with each item's last result
//   batch run [--pst-dir DIR] [--format unicode|ansi|exchange] [--yes] [--shard I/N]
//       [--make-smtp DOMAIN]                  as export's: Notes names become
//                                             addresses in DOMAIN
//   batch reset                                every item to be exported again
//   batch merge FILE...                        fold shard results into the list
//
// Every action takes --ini FILE (the settings) and --list FILE (the list,
// by default QuillboxM.csv beside the settings). The list file is the one
// record of progress: a run skips the items marked done.
//
// "--shard I/N" exports the items whose position modulo N is I and keeps
// their results in a list file of its own ("<list>.shard-I-of-N.csv"), so
// any runner can spread a batch over processes or machines; "merge" then
// folds those files into the list. Each process has its own temporary
// profile and temporary folder.
//
// Exit statuses of run: 0 every item exported; 1 an item failed (or the batch
// could not start); 2 bad command line or settings; 3 cancelled; 4 every
// item exported, but some left documents out (their logs say which).

#include <fmt/format.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include "CancelOnSignals.h"
#include "CliCommands.h"
#include "CliFrontEnd.h"
#include "batch/BatchExport.h"
#include "launch/ExportParts.h"
#include "notes/DatabaseSelection.h"
#include "notes/NotesErrorText.h"
#include "shell/platform/Paths.h"
#include "shell/platform/PrivateProfile.h"
#include "shell/platform/WholeFile.h"
#include "shell/settings/SettingsStore.h"

namespace qb::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kExitCancelled = 3;
constexpr int kExitIncomplete = 4;

// A temporary folder of this process only, made the process's TMPDIR for
// the run and removed afterwards: the conversion's fixed temporary names
// (the scratch database) are then never shared with another batch process.
class PrivateTempFolder {
public:
    PrivateTempFolder() {
        const std::string base = platform::TempFolder();
        if (base.empty()) return;
        std::string pattern = platform::JoinPath(base, "batch-XXXXXX");
        if (!::mkdtemp(pattern.data())) return;
        path_ = pattern;
        if (const char* old = std::getenv("TMPDIR")) previous_ = old;
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    ~PrivateTempFolder() {
        if (path_.empty()) return;
        if (previous_) ::setenv("TMPDIR", previous_->c_str(), 1);
        else ::unsetenv("TMPDIR");
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
    bool ok() const { return !path_.empty(); }

private:
    std::string path_;
    std::optional<std::string> previous_;
};

struct Shard {
    unsigned index = 0, count = 1;
    bool On() const { return count > 1; }
};

struct BatchOptions {
    std::string action;
    std::string iniPath = SettingsStore::DefaultPath();
    std::string listPath;
    std::vector<std::string> databases;  // add: DB...; merge: FILE...
    std::string server, directory;
    bool directoryGiven = false;
    std::string pstDir, format;
    std::string pstName, outputFolder, addressBook, addressBookServer;  // add
    std::string smtpDomain;                                            // run
    bool yes = false;
    Shard shard;
};

std::optional<Shard> ParseShard(const std::string& text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return std::nullopt;
    const auto index = ParseNumber(text.substr(0, slash), 0, 1u << 20);
    const auto count = ParseNumber(text.substr(slash + 1), 1, 1u << 20);
    if (!index || !count || *index >= *count) return std::nullopt;
    return Shard{static_cast<unsigned>(*index), static_cast<unsigned>(*count)};
}

// Empty on success, else the usage problem.
std::string ParseOptions(std::span<const std::string> args, BatchOptions& o) {
    ArgReader reader(args);
    std::string arg;
    if (!reader.Next(o.action)) return "give one of add, list, run, reset, merge";
    while (reader.Next(arg)) {
        std::string* value = arg == "--ini"       ? &o.iniPath
                             : arg == "--list"    ? &o.listPath
                             : arg == "--server"  ? &o.server
                             : arg == "--dir"     ? &o.directory
                             : arg == "--pst-dir" ? &o.pstDir
                             : arg == "--format"  ? &o.format
                             : arg == "--pst-name" ? &o.pstName
                             : arg == "--output-folder"       ? &o.outputFolder
                             : arg == "--address-book"        ? &o.addressBook
                             : arg == "--address-book-server" ? &o.addressBookServer
                             : arg == "--make-smtp"           ? &o.smtpDomain
                                                  : nullptr;
        if (value) {
            if (!reader.Value(*value) || (arg == "--make-smtp" && value->empty()))
                return arg == "--make-smtp" ? "--make-smtp needs the SMTP Internet domain, e.g. example.com"
                                            : arg + " needs a value";
            o.directoryGiven = o.directoryGiven || arg == "--dir";
        } else if (arg == "--yes" || arg == "-y") {
            o.yes = true;
        } else if (arg == "--shard") {
            std::string text;
            const std::optional<Shard> shard = reader.Value(text) ? ParseShard(text) : std::nullopt;
            if (!shard) return "--shard needs I/N with 0 <= I < N, e.g. 0/4";
            o.shard = *shard;
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else {
            o.databases.push_back(arg);
        }
    }
    if (o.listPath.empty()) o.listPath = DatabaseList::DefaultPathBeside(o.iniPath);
    if (!o.addressBookServer.empty() && o.addressBook.empty()) return "--address-book-server needs --address-book";
    if (!o.format.empty() && o.format != "unicode" && o.format != "ansi" && o.format != "exchange")
        return "--format is unicode, ansi or exchange";
    return {};
}

// The items of a shard: those at positions I, I+N, ...; an item already in
// the shard's own file keeps the result it has there.
DatabaseList ShardList(const DatabaseList& main, Shard shard, const std::string& shardPath,
                       std::vector<std::size_t>& positions) {
    DatabaseList own(shardPath);
    const platform::BoundedRead read = platform::ReadBoundedFile(shardPath, DatabaseList::kMaxFileBytes);
    if (read.status == platform::BoundedRead::Status::Read) own.items = ParseDatabaseList(read.data);
    DatabaseList result(shardPath);
    for (std::size_t i = shard.index; i < main.items.size(); i += shard.count) {
        DatabaseListItem item = main.items[i];
        for (const DatabaseListItem& kept : own.items)
            if (kept.server == item.server && kept.filePath == item.filePath && kept.pstFileName == item.pstFileName &&
                !item.done)
                item = kept;
        result.items.push_back(std::move(item));
        positions.push_back(i);
    }
    return result;
}

std::string ShardPath(const std::string& listPath, Shard shard) {
    const fs::path path(listPath);
    return (path.parent_path() / fmt::format("{}.shard-{}-of-{}{}", path.stem().string(), shard.index, shard.count,
                                             path.extension().string()))
        .string();
}

// Loads the list; a missing list is an empty one.
bool LoadList(DatabaseList& list, CliFrontEnd& frontEnd) {
    std::error_code ec;
    if (!fs::exists(list.defaultPath(), ec)) return true;
    return list.ImportDatabaseList("", frontEnd);
}

bool StartNotes(LNNotesSession& session, const ExportSettings& settings, CliContext& context) {
    if (LNSTATUS status = session.Initialize(settings.IniFilePath); status != LNNOERROR) {
        context.err << "Unable to initialize Lotus Notes session.\nError:" << NotesErrorText(status) << "\n";
        return false;
    }
    return true;
}

int Add(const BatchOptions& o, const ExportSettings& settings, CliContext& context) {
    CliFrontEnd frontEnd(context.err, std::cin, true);
    DatabaseList list(o.listPath);
    if (!LoadList(list, frontEnd)) return kExitFailure;
    LNNotesSession session;
    if (!StartNotes(session, settings, context)) return kExitFailure;
    std::vector<std::pair<std::string, std::string>> chosen;  // title, path
    DatabaseSelection selection(session);
    if (o.directoryGiven || (o.databases.empty() && !o.server.empty())) {
        bool listed = selection.UpdateDatabaseList(0, o.server, "", true);
        if (listed && !o.directory.empty()) listed = selection.UpdateDatabaseList(1, o.server, o.directory, false);
        if (!listed) {
            context.err << "quillbox-cli batch: " << DatabaseSelection::kServerUnreachable << " "
                        << (o.server.empty() ? DatabaseSelection::kLocal : o.server) << " \\" << o.directory << ": "
                        << selection.errorText() << "\n";
            return kExitFailure;
        }
        for (const DatabaseRow& row : selection.rows())
            if (row.kind == DatabaseRow::Kind::Database) chosen.emplace_back(row.text, row.filePath);
    }
    for (const std::string& path : o.databases) chosen.emplace_back(selection.DatabaseTitle(path, o.server), path);
    if (chosen.empty()) {
        context.err << "quillbox-cli batch add: no databases given or found\n";
        return kExitUsage;
    }
    if (!o.pstName.empty() && chosen.size() > 1) {
        context.err << "quillbox-cli batch add: --pst-name names the file of one database, not of "
                    << chosen.size() << "\n";
        return kExitUsage;
    }
    if (const std::string problem = o.pstName.empty() ? std::string() : PstFileNameProblem(o.pstName);
        !problem.empty()) {
        context.err << "quillbox-cli batch add: --pst-name: " << problem << "\n";
        return kExitUsage;
    }
    const std::string server = o.server == "Local" || o.server == "LOCAL" ? std::string() : o.server;
    for (const auto& [title, path] : chosen) {
        std::string message;
        const auto added =
            list.AddDatabaseListItem(title, server, path, o.outputFolder, o.pstName, AddSwitches{}, message);
        if (!added) {
            context.err << message << "\n";
            continue;
        }
        list.items[*added].addressBookServer = o.addressBookServer;
        list.items[*added].addressBookPath = o.addressBook;
        context.out << "added \"" << title << "\" " << path << " -> " << list.items[*added].pstFileName << "\n";
    }
    context.out << "Total selected: " << list.items.size() << " \n";
    return list.ExportDatabaseListToCSV("", frontEnd) ? kExitOk : kExitFailure;
}

int List(const BatchOptions& o, CliContext& context) {
    CliFrontEnd frontEnd(context.err, std::cin, true);
    DatabaseList list(o.listPath);
    if (!LoadList(list, frontEnd)) return kExitFailure;
    std::size_t position = 0;
    for (const DatabaseListItem& item : list.items) {
        context.out << fmt::format("{:>4} {}{} \"{}\" {}{} -> \"{}\" {} exp={} tot={} rc={} {}\n", position++,
                                   item.done ? "done " : "", item.HasError() ? "error" : "", item.title,
                                   item.server.empty() ? "" : item.server + "!!", item.filePath, item.outputFolder,
                                   item.pstFileName, item.exportedCount, item.processedCount, item.resultCode,
                                   item.statusText);
    }
    context.out << list.items.size() << " item(s) in " << list.defaultPath() << "\n";
    return kExitOk;
}

int Reset(const BatchOptions& o, CliContext& context) {
    CliFrontEnd frontEnd(context.err, std::cin, true);
    DatabaseList list(o.listPath);
    if (!LoadList(list, frontEnd)) return kExitFailure;
    list.ResetFlags();
    context.out << "Total Processed 0\n";
    return list.ExportDatabaseListToCSV("", frontEnd) ? kExitOk : kExitFailure;
}

int Merge(const BatchOptions& o, CliContext& context) {
    CliFrontEnd frontEnd(context.err, std::cin, true);
    DatabaseList list(o.listPath);
    if (!LoadList(list, frontEnd)) return kExitFailure;
    if (o.databases.empty()) {
        context.err << "quillbox-cli batch merge: name the shard list files\n";
        return kExitUsage;
    }
    int unmatched = 0, merged = 0;
    for (const std::string& file : o.databases) {
        DatabaseList shard(file);
        if (!shard.ImportDatabaseList("", frontEnd)) return kExitFailure;
        for (const DatabaseListItem& result : shard.items) {
            DatabaseListItem* target = nullptr;
            for (DatabaseListItem& item : list.items)
                if (item.server == result.server && item.filePath == result.filePath &&
                    item.pstFileName == result.pstFileName)
                    target = &item;
            if (!target) {
                context.err << "quillbox-cli batch merge: " << file << ": \"" << result.title << "\" " << result.filePath
                            << " is not in " << list.defaultPath() << "\n";
                ++unmatched;
                continue;
            }
            // A shard never undoes an item the list has done.
            if (target->done && !result.done) continue;
            *target = result;
            ++merged;
        }
    }
    context.out << "merged " << merged << " result(s) into " << list.defaultPath() << "\n";
    if (!list.ExportDatabaseListToCSV("", frontEnd)) return kExitFailure;
    return unmatched ? kExitFailure : kExitOk;
}

// The batch on a terminal: a line per finished mailbox, nothing while it runs.
class CliBatchWindow final : public BatchWindow, public ExportWindow {
public:
    // `positions`: each item's place in the whole list (a shard's items are a part of it).
    CliBatchWindow(const DatabaseList& list, std::vector<std::size_t> positions, std::ostream& out)
        : list_(list), positions_(std::move(positions)), out_(out) {}
    void SetBatchRunningState(bool) override {}
    void ShowDatabase(const std::string&, const std::string&, const std::string&) override {}
    void ShowItem(std::size_t index) override {
        const DatabaseListItem& item = list_.items[index];
        const std::size_t position = index < positions_.size() ? positions_[index] : index;
        out_ << fmt::format("[{}] \"{}\" {} -> {}: {}", position, item.title, item.filePath, item.pstFileName,
                            item.done ? "OK" : "FAILED")
             << fmt::format(" ({} exported of {}, rc {}){}\n", item.exportedCount, item.processedCount,
                            item.resultCode, item.done ? "" : ": " + item.statusText)
             << std::flush;
    }
    void SetExportingState(bool) override {}
    void ShowExportError(const std::string& text) override { out_ << "Export Error: " << text << "\n"; }

private:
    const DatabaseList& list_;
    std::vector<std::size_t> positions_;
    std::ostream& out_;
};

std::string ServiceFor(const BatchOptions& o, const ExportSettings& settings) {
    if (o.format == "unicode") return "MSUPST MS";
    if (o.format == "ansi") return "MSPST MS";
    if (o.format == "exchange") return kExchangeTarget;
    if (settings.ServiceName == kExchangeTarget || settings.ServiceName == "MSUPST MS") return settings.ServiceName;
    return "MSPST MS";
}

int Run(const BatchOptions& o, ExportSettings& settings, CliContext& context) {
    CliFrontEnd frontEnd(context.err, std::cin, o.yes);
    DatabaseList main(o.listPath);
    if (!LoadList(main, frontEnd)) return kExitFailure;
    // Two items of one file would overwrite each other, and shards would
    // write it at the same time.
    if (const std::string shared = SharedFileProblem(main.items); !shared.empty()) {
        context.err << "quillbox-cli batch: " << o.listPath << ": " << shared << "\n";
        return kExitUsage;
    }
    std::vector<std::size_t> positions;
    DatabaseList list =
        o.shard.On() ? ShardList(main, o.shard, ShardPath(o.listPath, o.shard), positions) : std::move(main);
    BatchTarget target;
    target.serviceName = ServiceFor(o, settings);
    target.pstFolder = !o.pstDir.empty()         ? o.pstDir
                       : !settings.PSTPath.empty() ? settings.PSTPath
                                                   : fs::path(o.listPath).parent_path().string();
    if (target.pstFolder.empty()) target.pstFolder = ".";

    PrivateTempFolder temp;
    if (!temp.ok()) {
        context.err << "quillbox-cli batch: no private temporary folder could be made\n";
        return kExitFailure;
    }
    LNNotesSession session;
    if (!StartNotes(session, settings, context)) return kExitFailure;

    NullProgressSink progress, batchStatus;
    RecoveryOff journal;
    CMapiSession outlook;
    ViewFolderCatalogue catalogue;
    ExportParts parts(ExportPartsInputs{settings, progress, outlook, session, catalogue, journal, &frontEnd,
                                        !o.smtpDomain.empty(), o.smtpDomain});
    ExportEnvironment env = parts.env();
    CliBatchWindow window(list, positions, context.out);
    BatchExport batch(BatchServices{env, settings, session, batchStatus, frontEnd, frontEnd, window, window}, list,
                      target);
    if (!batch.ExportSelected()) return kExitFailure;

    std::atomic<bool> signalled{false};
    {
        CancelOnSignals signals(signalled);
        std::thread worker = batch.Start();
        // The handler only sets a flag; the batch is told from here, again
        // while it runs, as each mailbox's run clears a request when it starts.
        std::atomic<bool> finished{false};
        std::thread watcher([&] {
            while (!finished) {
                if (signalled) batch.Cancel();
                ::usleep(20000);
            }
        });
        worker.join();
        finished = true;
        watcher.join();
    }
    for (const std::string& message : batch.collectedMessages()) context.err << message << "\n";

    int done = 0, failed = 0;
    for (const DatabaseListItem& item : list.items) (item.done ? done : failed) += 1;
    context.out << fmt::format("Batch: {} of {} mailbox(es) done, {} not done; list {}\n", done, list.items.size(),
                               failed, list.defaultPath());
    if (batch.cancelled()) return kExitCancelled;
    if (failed > 0) return kExitFailure;
    if (!batch.incompleteItems().empty()) {
        context.err << "quillbox-cli batch: " << batch.incompleteItems().size()
                    << " mailbox(es) were exported with documents left out; see their logs\n";
        return kExitIncomplete;
    }
    return kExitOk;
}

}  // namespace

int RunBatch(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("batch");
    BatchOptions o;
    if (const std::string problem = ParseOptions(args, o); !problem.empty()) return UsageError(context, self, problem);
    ExportSettings settings;
    SettingsStore(o.iniPath).Load(settings);
    if (o.action == "add") return Add(o, settings, context);
    if (o.action == "list") return List(o, context);
    if (o.action == "reset") return Reset(o, context);
    if (o.action == "merge") return Merge(o, context);
    if (o.action == "run") return Run(o, settings, context);
    return UsageError(context, self, "unknown action '" + o.action + "'");
}

}  // namespace qb::cli

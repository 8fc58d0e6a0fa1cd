#pragma once
// The multi-database export: the export run once per mailbox of the list,
// in list order, each into a new personal folders file of a temporary
// profile or into a named store of the mailbox's own profile, with a log
// file per mailbox and the list saved after every mailbox, so a later batch
// skips what is done.
//
// It has no window and no terminal: it reports through the sinks the single
// export uses (status lines and progress bars, message boxes, the export
// confirmation) and through BatchWindow, so the batch window and the command
// line drive this same class.
//
// Invariants: an item becomes done only by a result of 0; the temporary
// profile, whose name is unique to the process, is removed on every way
// out; no item writes outside the chosen folder or into a file left by an
// earlier attempt; no message of the worker waits for an answer, and each
// is also written to the log; no status text holds a password.

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/DatabaseList.h"
#include "convert/ExportDriver.h"
#include "launch/ExportLaunch.h"
#include "outlook/ProfileOperations.h"
#include "shell/report/MessageSink.h"
#include "shell/report/ProgressSink.h"

namespace qb {

// Result codes of an item besides those of the export run.
enum BatchResult : int {
    kBatchStoreNotOpened = 51,
    kBatchFoldersNotOpened = 52,
    kBatchStoreOpenFailed = 53,
    kBatchSpecialFoldersFailed = 597,
    kBatchStoreNotFound = 598,
    kBatchStoreNotOpenedByName = 599,
    kBatchLogonFailed = 999,
    kBatchTargetNotPrepared = 5000,
};

// The dialog's "Format" group.
inline constexpr const char* kExchangeTarget = "Exchange";

struct BatchTarget {
    std::string serviceName = "MSUPST MS";  // "MSPST MS", "MSUPST MS" or kExchangeTarget
    std::string pstFolder;                  // the folder of the new personal folders files
    bool IsExchange() const { return serviceName == kExchangeTarget; }
};

// The batch window's side of a running batch.
class BatchWindow {
public:
    virtual ~BatchWindow() = default;
    // Running: list editing, format, path and "Export Selected" disabled,
    // "Cancel" enabled; not running: the reverse.
    virtual void SetBatchRunningState(bool running) = 0;
    // The main window's title, server and file fields show the mailbox
    // being exported (all empty: restore what they showed before).
    virtual void ShowDatabase(const std::string& title, const std::string& server, const std::string& filePath) = 0;
    // The item's row changed: result, counts, status text.
    virtual void ShowItem(std::size_t index) = 0;
};

// What a batch works with; all owned by the caller.
struct BatchServices {
    ExportEnvironment env;      // the main window's run, log, status, session...
    ExportSettings& settings;   // the same settings the environment reads
    LNNotesSession& notes;
    // The dialog's status line, progress bar (0 to the number of items) and,
    // as secondary line 1, its "Total Processed %d".
    ProgressSink& batchStatus;
    MessageSink& messages;
    ExportConfirmation& confirmation;
    ExportWindow& mainWindow;
    BatchWindow& window;
};

class BatchExport {
public:
    static constexpr const char* kProfileBaseName = "Quillbox Multi-Export";

    BatchExport(BatchServices services, DatabaseList& list, BatchTarget target);
    ~BatchExport();
    BatchExport(const BatchExport&) = delete;
    BatchExport& operator=(const BatchExport&) = delete;

    // "Export Selected" on the window thread: checks the folder, asks about
    // address books and for confirmation. True when the worker may start.
    bool ExportSelected();
    // The worker: 1 when it ran, 2 when the Notes thread session could not
    // be started.
    int Run();
    std::thread Start();
    // From any thread: the current mailbox ends as cancelled (2000), no next
    // starts. The export run clears the request as it starts, so a caller
    // that cannot tell when that is (a signal) repeats it until Run returns.
    void Cancel();

    // After the run.
    bool cancelled() const { return cancelled_; }
    // Items whose run finished but left documents, attachments or views out.
    const std::vector<std::size_t>& incompleteItems() const { return incomplete_; }
    const std::vector<std::string>& collectedMessages() const { return collected_; }
    const std::string& profileName() const { return profileName_; }

    // "<base> <host>-<pid>": never the same for two live processes.
    static std::string UniqueProfileName();

private:
    class TemporaryProfile;
    bool ConnectOutlook();
    void ExportItems();
    void ExportItem(std::size_t index);
    bool LogOn(DatabaseListItem& item);
    bool PrepareTarget(DatabaseListItem& item, const std::string& pstPath);
    int RunItem(DatabaseListItem& item, const std::string& logPath, std::string& resultText);
    int OpenNewStore(const std::string& storeName, std::string& resultText);
    void FinishItem(std::size_t index);
    void Status(const std::string& text);
    void BothStatus(const std::string& text);
    void Box(const std::string& text, const char* title = "Error");
    void Step(std::int32_t value) { step_ = value; }

    static BatchServices WithoutRecovery(BatchServices services, RecoveryHooks& off);

    // The batch never offers recovery: its runs keep no journal, whatever
    // journal the window's environment holds.
    RecoveryOff noRecovery_;
    BatchServices s_;
    DatabaseList& list_;
    BatchTarget target_;
    std::string profileName_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::int32_t> step_{0};
    bool cancelled_ = false;
    int handled_ = 0;
    int attempted_ = 0;
    std::string previousProfile_;
    std::vector<std::string> collected_;
    std::vector<std::size_t> incomplete_;
    PstServiceResult service_;
    // The worker's message boxes: logged, and never waiting for an answer.
    std::unique_ptr<MessageSink> workerMessages_;
};

// The item's log: the .pst path with its file name's own extension replaced
// by "log" ("log" appended when it has none), never the .pst path itself.
std::string BatchLogPath(const std::string& pstPath);

// Two items that would write one file (their .pst or their log, compared
// without case: one folder holds them all, and shards write side by side):
// "items 0 and 2 both write x.pst: give one of them another PST Filename".
// Empty when every item writes files of its own.
std::string SharedFileProblem(const std::vector<DatabaseListItem>& items);

// A file already at `pstPath` (left by an earlier attempt) is renamed to
// "<name>.<n>.pst" with the first free n. Empty when nothing was there; the
// new name when it was kept; `error` set when it could not be moved.
std::string KeepEarlierFile(const std::string& pstPath, std::string& error);

}  // namespace qb

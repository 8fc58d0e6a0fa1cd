#include "batch/BatchExport.h"

#include <fmt/format.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <unordered_map>

#include "notes/NotesErrorText.h"
#include "shell/settings/Component.h"
#include "text/TextCase.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kTemporaryProfileLogon = 3;  // MAPI_LOGON_UI | MAPI_NEW_SESSION
constexpr ULONG kItemProfileLogon = 0x12;    // MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE
constexpr int kBelowNormalNice = 5;

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "host";
    return name;
}

// The profile names this program gave to batches on this host.
std::string ProfilePrefix() { return std::string(BatchExport::kProfileBaseName) + " " + HostName() + "-"; }

// Profiles of batches on this host whose process is gone (killed before it
// could remove its own).
std::vector<std::string> StaleBatchProfiles() {
    std::vector<std::string> stale;
    ProfileList list;
    std::string current;
    if (!FillProfileList(list, "", current)) return stale;
    const std::string prefix = ProfilePrefix();
    for (const std::string& name : list.names) {
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string pid = name.substr(prefix.size());
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9) continue;
        if (::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH) stale.push_back(name);
    }
    return stale;
}

// The boxes of the worker: written to the log as well, and never asking,
// so that nobody has to be there to answer.
class WorkerMessages final : public MessageSink {
public:
    WorkerMessages(MessageSink& sink, const ExportLog& log) : sink_(sink), log_(log) {}
    MessageResult ShowMessage(std::string_view text, std::string_view title, MessageIcon icon,
                              MessageButtons) override {
        log_.Write(fmt::format("~#>ERROR {}: {}\n", title, text));
        sink_.ShowMessage(text, title, icon, MessageButtons::Ok);
        return MessageResult::Ok;
    }

private:
    MessageSink& sink_;
    const ExportLog& log_;
};

}  // namespace

// The batch's temporary profile: made when the batch starts, removed with
// this object, whichever way the batch ends.
class BatchExport::TemporaryProfile {
public:
    TemporaryProfile(std::string name, MessageSink& messages) : name_(std::move(name)), messages_(messages) {}
    ~TemporaryProfile() {
        if (created_) RemoveProfile(name_, messages_);
    }
    TemporaryProfile(const TemporaryProfile&) = delete;
    TemporaryProfile& operator=(const TemporaryProfile&) = delete;
    bool Create() {
        for (const std::string& stale : StaleBatchProfiles()) RemoveProfile(stale, messages_);
        RemoveProfile(name_, messages_);
        created_ = AddProfile(name_, messages_);
        return created_;
    }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    MessageSink& messages_;
    bool created_ = false;
};

std::string BatchLogPath(const std::string& pstPath) {
    const std::size_t slash = pstPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = pstPath.rfind('.');
    std::string log = (dot == std::string::npos || dot < nameStart || dot == nameStart) ? pstPath + ".log"
                                                                                       : pstPath.substr(0, dot + 1) + "log";
    if (log == pstPath) log += ".log";
    return log;
}

std::string SharedFileProblem(const std::vector<DatabaseListItem>& items) {
    std::unordered_map<std::string, std::size_t> writers;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const std::string& pst = items[k].pstFileName;
        if (pst.empty()) continue;
        for (const std::string& name : {pst, BatchLogPath(pst)}) {
            const auto [first, fresh] = writers.emplace(text::ToLower(name), k);
            if (!fresh && first->second != k)
                return fmt::format("items {} and {} both write {}: give one of them another PST Filename",
                                   first->second, k, name);
        }
    }
    return {};
}

std::string KeepEarlierFile(const std::string& pstPath, std::string& error) {
    error.clear();
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(pstPath, ec))) return {};
    const fs::path path(pstPath);
    const std::string stem = path.stem().string(), extension = path.extension().string();
    // Bounded: one of the first 10000 names is free unless the folder is full of them.
    for (int n = 1; n <= 10000; ++n) {
        const fs::path kept = path.parent_path() / fmt::format("{}.{}{}", stem, n, extension);
        if (fs::exists(fs::symlink_status(kept, ec))) continue;
        fs::rename(path, kept, ec);
        if (ec) {
            error = fmt::format("Unable to move the earlier file {} aside: {}", pstPath, ec.message());
            return {};
        }
        return kept.string();
    }
    error = fmt::format("Unable to move the earlier file {} aside: no free name", pstPath);
    return {};
}

std::string BatchExport::UniqueProfileName() { return ProfilePrefix() + std::to_string(::getpid()); }

BatchServices BatchExport::WithoutRecovery(BatchServices s, RecoveryHooks& off) {
    const ExportEnvironment& e = s.env;
    return BatchServices{ExportEnvironment{e.run, e.settings, e.log, e.progress, e.outlook, e.catalogue, e.dispatcher,
                                           e.components, off, e.translator, e.namedProperties},
                         s.settings,
                         s.notes,
                         s.batchStatus,
                         s.messages,
                         s.confirmation,
                         s.mainWindow,
                         s.window};
}

BatchExport::BatchExport(BatchServices services, DatabaseList& list, BatchTarget target)
    : s_(WithoutRecovery(services, noRecovery_)),
      list_(list),
      target_(std::move(target)),
      profileName_(UniqueProfileName()),
      workerMessages_(std::make_unique<WorkerMessages>(services.messages, services.env.log)) {}

BatchExport::~BatchExport() = default;

void BatchExport::Cancel() {
    cancel_ = true;
    s_.env.run.cancelRequested = true;
}

void BatchExport::Status(const std::string& text) { s_.env.progress.SetStatusText(text); }

void BatchExport::BothStatus(const std::string& text) {
    s_.env.progress.SetStatusText(text);
    s_.batchStatus.SetStatusText(text);
}

void BatchExport::Box(const std::string& text, const char* title) {
    workerMessages_->ShowMessage(text, title, MessageIcon::Error, MessageButtons::Ok);
}

bool BatchExport::ExportSelected() {
    ExportSettings& settings = s_.settings;
    ExportDriver::PrepareComponentFlags(settings, s_.env.run);
    std::error_code ec;
    // An Exchange target writes no file: its folder is not needed.
    if (!target_.IsExchange() && (target_.pstFolder.empty() || !fs::is_directory(target_.pstFolder, ec))) {
        s_.messages.ShowMessage("Invalid path: " + target_.pstFolder, "Error", MessageIcon::Error);
        return false;
    }
    if (const std::string shared = SharedFileProblem(list_.items); !shared.empty()) {
        s_.messages.ShowMessage("Unable to export the list: " + shared, "Error", MessageIcon::Error);
        return false;
    }
    int books = 0;
    for (const DatabaseListItem& item : list_.items) books += item.addressBookPath.empty() ? 0 : 1;
    if (books > 0 && !IsComponentSelected(settings.Components, Component::Contacts)) {
        const std::string question = fmt::format(
            "You have {} address books selected but you do not have Contacts & Groups checked for export in "
            "components.\nDo you want to select Contacts & Groups and Continue?",
            books);
        if (s_.messages.ShowMessage(question, "Confirm", MessageIcon::Question, MessageButtons::OkCancel) !=
            MessageResult::Ok)
            return false;
        settings.Components.emplace_back(ComponentName(Component::Contacts));
        ExportDriver::PrepareComponentFlags(settings, s_.env.run);
    }
    const std::string text = "Please confirm you want to export " + ConfirmationComponentText(settings) +
                             "for all selected mailboxes and you have made a prior backup of any existing "
                             "Outlook/Exchange data for disaster recover purposes.";
    if (!s_.confirmation.Confirm(text, settings)) {
        Status("Export Cancelled!");
        return false;
    }
    return true;
}

std::thread BatchExport::Start() {
    return std::thread([this] {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kBelowNormalNice);
        Run();
    });
}

int BatchExport::Run() {
    ExportRun& run = s_.env.run;
    ExportLog& log = s_.env.log;
    collected_.clear();
    incomplete_.clear();
    cancelled_ = false;
    handled_ = attempted_ = 0;
    previousProfile_.clear();
    run.logToFile = s_.settings.LogExport ? 1 : 0;
    log.logToFile = s_.settings.LogExport;

    bool startedThread = false;
    if (!s_.notes.IsThreadInitialized()) {
        Status("Thread Session NOT Initiated");
        if (const LNSTATUS status = s_.notes.InitThread(); status != LNNOERROR) {
            Status(NotesErrorText(status));
            return 2;
        }
        startedThread = true;
        Status("Initiated Thread Session");
    }
    s_.window.SetBatchRunningState(true);
    s_.batchStatus.SetProgressRange32(0, static_cast<std::int32_t>(list_.items.size()));
    s_.batchStatus.SetProgressPosition(0);
    s_.batchStatus.SetSecondaryText(1, "Total Processed 0");
    s_.mainWindow.SetExportingState(true);

    log.UsePerDatabasePath(true);
    run.subfolderName = s_.settings.ExportAllUnderSubfolder.substr(0, 255);
    s_.env.outlook.subfolderName = run.subfolderName;
    s_.env.outlook.runErrorText = &run.lastErrorText;
    s_.env.outlook.log = &log;
    try {
        if (ConnectOutlook()) {
            std::optional<TemporaryProfile> profile;
            bool ready = true;
            if (!target_.IsExchange()) {
                Step(1100);
                Status("Creating Temporary Profile");
                profile.emplace(profileName_, *workerMessages_);
                ready = profile->Create();
                if (ready) {
                    Status("Created Temporary Profile");
                    Status("Logon To Profile " + profileName_);
                    Step(1200);
                    ready = SUCCEEDED(s_.env.outlook.Logon(profileName_, "", kTemporaryProfileLogon, 0));
                }
                if (!ready) {
                    Box("Unable to Login to Temporary Outlook Profile " + profileName_);
                    BothStatus("...Terminating Outlook/Exchange Session");
                }
            }
            if (ready) ExportItems();
            s_.env.outlook.Logoff();
            Step(2700);
            profile.reset();
            Step(2900);
            BothStatus("...Terminating Outlook/Exchange Session");
            s_.env.outlook.Uninitialize();
        }
    } catch (...) {
        s_.env.outlook.Logoff();
        Box(fmt::format("EXMLTT Unexpected Exception: {}, MSESS:", step_.load()) + s_.env.outlook.lastError);
        s_.env.outlook.Uninitialize();
    }

    run.exportInProgress = false;
    log.UsePerDatabasePath(false);
    log.CloseFile();
    if (startedThread && s_.notes.IsThreadInitialized()) {
        s_.notes.TermThread();
        Status("Thread Session Terminated");
    }
    if (!collected_.empty()) {
        std::string text;
        for (const std::string& message : collected_) text += message + "\n";
        Box(text);
    }
    s_.window.ShowDatabase("", "", "");
    s_.mainWindow.SetExportingState(false);
    s_.window.SetBatchRunningState(false);
    BothStatus("Multi-database Export Complete");
    return 1;
}

bool BatchExport::ConnectOutlook() {
    CMapiSession& outlook = s_.env.outlook;
    Step(1000);
    outlook.Logoff();
    Step(1010);
    outlook.Uninitialize();
    Step(1020);
    Status("...Attempting to connect to Outlook");
    Step(1030);
    if (FAILED(outlook.Initialize())) {
        Box("Unable to initilize Outlook connection");
        return false;
    }
    Step(1040);
    Status("Connected to Outlook");
    return true;
}

void BatchExport::ExportItems() {
    ExportRun& run = s_.env.run;
    run.cancelRequested = false;
    run.exportInProgress = true;
    for (std::size_t i = 0; i < list_.items.size() && !cancel_; ++i) {
        Step(1600);
        if (!list_.items[i].done) ExportItem(i);
        ++attempted_;
        s_.batchStatus.SetProgressPosition(attempted_);
    }
    if (cancel_) cancelled_ = true;
}

void BatchExport::ExportItem(std::size_t index) {
    DatabaseListItem& item = list_.items[index];
    ExportLog& log = s_.env.log;
    s_.window.ShowDatabase("", item.server, item.filePath);
    Step(1700);
    const std::string folder = target_.pstFolder.empty() ? std::string(".") : target_.pstFolder;
    const std::string pstPath = (fs::path(folder) / item.pstFileName).string();
    Step(1750);
    // The log lies beside the file; an Exchange item without a folder keeps
    // it beside the list.
    std::error_code ec;
    const std::string logFolder = fs::is_directory(folder, ec) ? folder : fs::path(list_.defaultPath()).parent_path().string();
    const std::string logPath =
        BatchLogPath((fs::path(logFolder.empty() ? "." : logFolder) / fs::path(item.pstFileName).filename()).string());
    Step(1760);
    log.SetPerDatabasePath(logPath);
    if (log.logToFile) log.Write("Exporting: " + item.pstFileName + "\n", true);

    Step(1800);
    const std::string problem = PstFileNameProblem(item.pstFileName);
    if (!target_.IsExchange() && !problem.empty()) {
        item.resultCode = kBatchTargetNotPrepared;
        item.exportedCount = item.processedCount = 0;
        item.statusText = "Unable to create PST file: " + problem + " (" + item.pstFileName + ")";
        log.Write("~#>ERROR " + item.statusText + "\n");
    } else if (LogOn(item) && PrepareTarget(item, pstPath)) {
        std::string resultText;
        const int result = RunItem(item, logPath, resultText);
        item.resultCode = result;
        item.exportedCount = s_.env.run.exportedCount;
        item.processedCount = s_.env.run.processedCount;
        if (result == kRunCompleted) {
            item.statusText = "OK";
            item.done = true;
            if (!s_.env.run.exportedInFull()) incomplete_.push_back(index);
        } else {
            item.done = false;
            item.statusText = !resultText.empty()              ? resultText
                              : !s_.env.run.lastErrorText.empty() ? s_.env.run.lastErrorText
                                                                  : fmt::format("Export failed with result {}", result);
            if (result == kRunCancelled) cancel_ = true;
        }
    }
    FinishItem(index);
}

bool BatchExport::LogOn(DatabaseListItem& item) {
    CMapiSession& outlook = s_.env.outlook;
    std::string failure;
    if (!target_.IsExchange()) {
        if (FAILED(outlook.Logon(profileName_, "", kTemporaryProfileLogon, 0)))
            failure = "Unable to login to temporary profile: " + profileName_;
    } else if (item.profile.empty() || item.profile != previousProfile_ || !(outlook.flags & CMapiSession::kLoggedOn)) {
        if (FAILED(outlook.Logon(item.profile, item.password, kItemProfileLogon, 0)))
            // The password stays out of the text: the list and the log are read by others.
            failure = "Unable to login to profile: " + item.profile;
    }
    if (failure.empty()) {
        previousProfile_ = item.profile;
        return true;
    }
    item.resultCode = kBatchLogonFailed;
    item.statusText = failure;
    item.done = false;
    previousProfile_.clear();
    s_.env.log.Write("~#>ERROR " + failure + "\n");
    return false;
}

bool BatchExport::PrepareTarget(DatabaseListItem& item, const std::string& pstPath) {
    CMapiSession& outlook = s_.env.outlook;
    std::string failure;
    service_ = PstServiceResult();
    if (!target_.IsExchange()) {
        std::string error;
        const std::string kept = KeepEarlierFile(pstPath, error);
        if (!error.empty()) failure = "Unable to create PST file: " + error;
        else if (!kept.empty())
            s_.env.log.Write(fmt::format("~#>Warning {} was left by an earlier attempt: it is kept as {} and this "
                                         "export starts a new file\n",
                                         pstPath, kept));
        if (failure.empty()) {
            if (!CreatePstService(target_.serviceName, profileName_, item.outputFolder, fs::absolute(pstPath).string(),
                                  outlook, service_, *workerMessages_))
                failure = "Unable to create PST file";
            else if (service_.storeEntryId.empty())
                failure = "Unable to create PST file (lpb is NULL)";
        }
    } else if (FAILED(outlook.GetStores(nullptr)) || outlook.stores.empty()) {
        failure = "Unable to get any folders for profile: " + item.profile;
    } else {
        const StoreInfo* found = nullptr;
        for (const StoreInfo& store : outlook.stores)
            if (store.displayName == item.outputFolder) {
                found = &store;
                break;
            }
        if (!found) failure = "Unable to find folder: " + item.outputFolder;
        else service_.storeEntryId = found->entryId;
    }
    if (failure.empty()) return true;
    item.resultCode = kBatchTargetNotPrepared;
    item.exportedCount = item.processedCount = 0;
    item.statusText = failure;
    item.done = false;
    s_.env.log.Write("~#>ERROR " + failure + "\n");
    return false;
}

int BatchExport::OpenNewStore(const std::string& storeName, std::string& resultText) {
    CMapiSession& outlook = s_.env.outlook;
    ExportRun& run = s_.env.run;
    const bool exchange = target_.IsExchange();
    try {
        run.runStep = 20000;
        outlook.OpenStore(service_.storeEntryId);
        if (!outlook.store) {
            resultText = exchange ? "Unable to Open Store named: " + storeName : "Unable to Open Message Store";
            if (!outlook.lastError.empty()) resultText += " (" + outlook.lastError + ")";
            return exchange ? kBatchStoreNotOpenedByName : kBatchStoreNotOpened;
        }
        run.runStep = 20200;
        if (outlook.OpenIpmSubtree() < 0) {
            resultText = exchange ? "IPMSTR folder: " + storeName + " Error: " + outlook.lastError
                                  : "Unable to get Folders File.";
            return exchange ? kBatchSpecialFoldersFailed : kBatchFoldersNotOpened;
        }
        run.runStep = 20400;
    } catch (...) {
        resultText = fmt::format("~#>ERROR EDSBEID Unexpected Error {}", run.runStep.load());
        return kBatchStoreOpenFailed;
    }
    return kRunCompleted;
}

int BatchExport::RunItem(DatabaseListItem& item, const std::string& logPath, std::string& resultText) {
    ExportRun& run = s_.env.run;
    Step(1900);
    run.exportedCount = run.processedCount = 0;
    run.errorRaised = false;
    run.lastErrorText.clear();
    s_.env.catalogue.loaded = false;
    Status("About to export database \"" + item.title + "\"");
    s_.batchStatus.SetStatusText("Exporting database \"" + item.title + "\"");
    Step(1925);
    if (const int opened = OpenNewStore(item.outputFolder, resultText); opened != kRunCompleted) {
        s_.env.log.Write("~#>ERROR " + resultText + "\n");
        return opened;
    }
    Step(1930);
    // A cancel that came while the target was prepared ends the mailbox
    // here: the run would clear the request as it starts.
    if (cancel_) {
        resultText = "Export cancelled (0 exported from 0 before cancel).";
        s_.env.log.Write(resultText + "\n");
        return kRunCancelled;
    }
    RunInputs inputs{item.server, item.filePath, item.addressBookServer, item.addressBookPath, logPath};
    ExportDriver driver(s_.env);
    const int result = driver.RunExport(inputs, s_.notes, resultText);
    Step(1940);
    return result;
}

void BatchExport::FinishItem(std::size_t index) {
    const DatabaseListItem& item = list_.items[index];
    Step(1990);
    list_.ExportDatabaseListToCSV_V2("", collected_);
    Step(1992);
    Status(item.statusText);
    Step(1993);
    s_.window.ShowItem(index);
    CMapiSession& outlook = s_.env.outlook;
    const bool nextSameProfile = index + 1 < list_.items.size() && list_.items[index + 1].profile == item.profile;
    if (!target_.IsExchange()) {
        // The file is closed before its service leaves the profile.
        outlook.Logoff();
        Step(2000);
        if (service_.serviceUid) RemoveService(profileName_, *service_.serviceUid, *workerMessages_);
    }
    Step(2100);
    ++handled_;
    s_.batchStatus.SetSecondaryText(1, fmt::format("Total Processed {}", handled_));
    BothStatus("Logoff Outlook/Exchange Profile: " + item.profile + ", Folder: " + item.outputFolder);
    if (target_.IsExchange() && !(nextSameProfile && !item.profile.empty())) {
        outlook.Logoff();
        previousProfile_.clear();
    }
    service_ = PstServiceResult();
}

}  // namespace qb

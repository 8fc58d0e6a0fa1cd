#include "outlook/mapi/PstStoreProvider.h"

#include <map>
#include <mutex>

#include "outlook/mapi/PstStoreObjects.h"
#include "outlook/pst/PstTags.h"
#include "shell/platform/EnvironmentSwitch.h"
#include "shell/platform/FileInfo.h"

namespace qb::mapi {
namespace {

pst::PstFormat EngineFormat(StoreFormat format) {
    return format == StoreFormat::Ansi ? pst::PstFormat::Ansi : pst::PstFormat::Unicode;
}

const char* FormatName(pst::PstFormat format) {
    return format == pst::PstFormat::Ansi ? "an ANSI (Outlook 97-2002)" : "a Unicode (Outlook 2003 and later)";
}

// Every saved message is durable when SaveChanges returns, unless the
// caller keeps its own record of what is durable and batches commits
// (PR_QB_COMMIT_BATCH_MESSAGES, PR_QB_COMMITTED_MESSAGES on the store), as
// the export does for its recovery journal.
constexpr pst::CommitPolicy kCommitEachMessage{1, std::chrono::hours(24 * 365), true, false};

platform::EnvironmentSwitch writeBehindSwitch("QUILLBOX_COMMIT_WRITE_BEHIND");

HRESULT ResultOf(const pst::PstError& error) {
    switch (error.kind()) {
        case pst::PstErrorKind::InUse: return MAPI_E_BUSY;
        case pst::PstErrorKind::NoAccess: return MAPI_E_NO_ACCESS;
        case pst::PstErrorKind::Damaged: return MAPI_E_CORRUPT_STORE;
        case pst::PstErrorKind::Io: return MAPI_E_DISK_ERROR;
        case pst::PstErrorKind::General: break;
    }
    return MAPI_E_CALL_FAILED;
}

}  // namespace

// The files open in this process, by path; a file closes when its last
// object is released.
struct PstStoreProvider::Open {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<PstStoreShared>> byPath;
};

PstStoreProvider::PstStoreProvider() : open_(std::make_unique<Open>()) {}
PstStoreProvider::~PstStoreProvider() = default;

HRESULT PstStoreProvider::PrepareStore(const StoreLocation& location, std::string& errorText) {
    std::lock_guard<std::mutex> guard(open_->lock);
    const pst::PstFormat format = EngineFormat(location.format);
    if (auto open = open_->byPath[location.path].lock()) {
        auto storeGuard = open->Lock();
        if (open->engine->format() == format) return S_OK;
        errorText = "'" + location.path + "' is " + FormatName(open->engine->format()) + " personal folders file.";
        return MAPI_E_CALL_FAILED;
    }
    try {
        std::unique_ptr<pst::PstStore> engine;
        if (platform::FileExists(location.path)) {
            engine = pst::PstStore::Open(location.path, true);
            if (engine->format() != format) {
                errorText = "'" + location.path + "' is " + FormatName(engine->format()) + " personal folders file.";
                return MAPI_E_CALL_FAILED;
            }
        } else {
            engine = pst::PstStore::Create(location.path, format, location.displayName);
        }
        EnsureStandardFolders(*engine);
        EnsureNameMap(*engine);
        engine->Close();
        return S_OK;
    } catch (const pst::PstError& e) {
        errorText = e.what();
        return ResultOf(e);
    } catch (const std::exception& e) {
        errorText = "'" + location.path + "' cannot be used as a personal folders file: " + e.what();
        return MAPI_E_CALL_FAILED;
    }
}

HRESULT PstStoreProvider::OpenStore(const StoreLocation& location, ULONG flags, IMsgStore** out,
                                    std::string& errorText) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    const bool write = (flags & MDB_WRITE) != 0;
    std::lock_guard<std::mutex> guard(open_->lock);
    std::shared_ptr<PstStoreShared> store = open_->byPath[location.path].lock();
    if (store && write && !store->engine->writable()) {
        errorText = "The personal folders file '" + location.path + "' is open for reading only.";
        return MAPI_E_NO_ACCESS;
    }
    if (!store) {
        store = std::make_shared<PstStoreShared>();
        try {
            if (!platform::FileExists(location.path)) {
                errorText = "The personal folders file '" + location.path + "' does not exist.";
                return MAPI_E_NOT_FOUND;
            }
            // Never silently read-only: an export into a file it may not
            // write would end as if it had written nothing wrong.
            store->engine = pst::PstStore::Open(location.path, write);
            if (store->engine->writable()) {
                store->engine->SetCommitPolicy(kCommitEachMessage);
                EnsureStandardFolders(*store->engine);
                EnsureNameMap(*store->engine);
            }
            const pst::Properties storeProps = store->engine->StoreProperties();
            const pst::PropValue* key = pst::FindProp(storeProps, pst::tags::kRecordKey);
            if (!key || key->data.size() != 16) {
                errorText = "The personal folders file '" + location.path + "' has no valid record key.";
                return MAPI_E_CORRUPT_STORE;
            }
            store->recordKey.assign(key->data.begin(), key->data.end());
            store->inbox = FindInbox(*store->engine);
        } catch (const pst::PstError& e) {
            errorText = e.what();
            return ResultOf(e);
        } catch (const std::exception& e) {
            errorText = "The personal folders file '" + location.path + "' cannot be opened: " + e.what();
            return MAPI_E_CORRUPT_STORE;
        }
        open_->byPath[location.path] = store;
    }
    {
        auto storeGuard = store->Lock();
        store->location = location;
    }
    return CreatePstMsgStore(std::move(store), out);
}

void RegisterPstStoreProvider() { SetMsgStoreProvider(std::make_shared<PstStoreProvider>()); }

bool CommitWriteBehindEnabled() { return writeBehindSwitch.Enabled(); }
void SetCommitWriteBehindEnabled(std::optional<bool> enabled) { writeBehindSwitch.Force(enabled); }

}  // namespace qb::mapi

#include "outlook/mapi/StoreProvider.h"

#include <cstring>
#include <mutex>

namespace qb::mapi {
namespace {

std::mutex& ProviderLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<MsgStoreProvider>& Provider() {
    static std::shared_ptr<MsgStoreProvider> provider;
    return provider;
}

}  // namespace

void SetMsgStoreProvider(std::shared_ptr<MsgStoreProvider> provider) {
    std::lock_guard<std::mutex> guard(ProviderLock());
    Provider() = std::move(provider);
}

std::shared_ptr<MsgStoreProvider> GetMsgStoreProvider() {
    std::lock_guard<std::mutex> guard(ProviderLock());
    return Provider();
}

std::vector<BYTE> BuildStoreEntryId(const std::string& path) {
    std::vector<BYTE> id(20 + path.size() + 1, 0);
    std::memcpy(id.data() + 4, kStoreProviderUid.ab, 16);
    if (!path.empty()) std::memcpy(id.data() + 20, path.data(), path.size());
    return id;
}

std::optional<std::string> ParseStoreEntryId(const BYTE* data, std::size_t size) {
    if (!data || size < 22) return std::nullopt;
    if (data[0] || data[1] || data[2] || data[3]) return std::nullopt;
    if (std::memcmp(data + 4, kStoreProviderUid.ab, 16) != 0) return std::nullopt;
    if (data[size - 1] != 0) return std::nullopt;
    std::string path(reinterpret_cast<const char*>(data + 20), size - 21);
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return path;
}

}  // namespace qb::mapi

#include "outlook/mapi/ProfileFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

#include "outlook/mapi/MapiGuids.h"
#include "outlook/mapi/MapiText.h"
#include "shell/platform/WholeFile.h"

namespace qb::mapi {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

struct PendingService {
    std::string profile;
    ServiceEntry entry;
};

}  // namespace

ServiceEntry* ProfileEntry::FindService(const MAPIUID& uid) {
    for (auto& s : services)
        if (s.uid == uid) return &s;
    return nullptr;
}

ServiceEntry* ProfileEntry::FindServiceByPath(std::string_view path) {
    for (auto& s : services)
        if (!s.pstPath.empty() && s.pstPath == path) return &s;
    return nullptr;
}

std::string ProfileFile::DefaultPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return base + "/quillbox/profiles.ini";
}

HRESULT ProfileFile::Load(const std::string& path, std::string& error) {
    profiles.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) return S_OK;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot read the profiles file " + path;
        return ::access(path.c_str(), R_OK) != 0 && errno == EACCES ? MAPI_E_NO_ACCESS : MAPI_E_DISK_ERROR;
    }
    std::vector<PendingService> services;
    enum class Section { None, Profile, Service } section = Section::None;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == ';' || text.front() == '#') continue;
        if (text.front() == '[') {
            if (EqualsNoCase(text, "[Profile]")) {
                section = Section::Profile;
                profiles.emplace_back();
            } else if (EqualsNoCase(text, "[Service]")) {
                section = Section::Service;
                services.emplace_back();
            } else {
                section = Section::None;
            }
            continue;
        }
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(text.substr(0, eq));
        const std::string value(text.substr(eq + 1));
        if (section == Section::Profile) {
            ProfileEntry& p = profiles.back();
            if (EqualsNoCase(key, "Name")) p.name = value;
            else if (EqualsNoCase(key, "Default")) p.isDefault = value == "1";
        } else if (section == Section::Service) {
            PendingService& s = services.back();
            if (EqualsNoCase(key, "Profile")) s.profile = value;
            else if (EqualsNoCase(key, "Uid")) UidFromHex(value, s.entry.uid);
            else if (EqualsNoCase(key, "Service")) s.entry.serviceName = value;
            else if (EqualsNoCase(key, "DisplayName")) s.entry.displayName = value;
            else if (EqualsNoCase(key, "PstPath")) s.entry.pstPath = value;
            else if (EqualsNoCase(key, "DefaultStore")) s.entry.defaultStore = value == "1";
        }
    }
    std::erase_if(profiles, [](const ProfileEntry& p) { return p.name.empty(); });
    for (auto& s : services)
        if (ProfileEntry* owner = Find(s.profile)) owner->services.push_back(std::move(s.entry));
    return S_OK;
}

HRESULT ProfileFile::Save(const std::string& path, std::string& error) const {
    std::ostringstream out;
    out << "; Quillbox MAPI profiles\n";
    for (const auto& p : profiles) {
        out << "\n[Profile]\nName=" << p.name << "\nDefault=" << (p.isDefault ? 1 : 0) << "\n";
        for (const auto& s : p.services) {
            out << "\n[Service]\nProfile=" << p.name << "\nUid=" << UidToHex(s.uid) << "\nService=" << s.serviceName
                << "\nDisplayName=" << s.displayName << "\nPstPath=" << s.pstPath
                << "\nDefaultStore=" << (s.defaultStore ? 1 : 0) << "\n";
        }
    }
    std::error_code ec;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // Written beside, synced and renamed over the old file, so a crash leaves
    // either file whole. The file names the user's mail files: a new one is
    // private, an existing one keeps the mode the user gave it.
    std::string reason;
    if (!platform::ReplaceWholeFile(path, out.str(), 0600, &reason)) {
        error = "Cannot write the profiles file " + path + ": " + reason;
        return MAPI_E_DISK_ERROR;
    }
    return S_OK;
}

ProfileEntry* ProfileFile::Find(std::string_view name) {
    for (auto& p : profiles)
        if (EqualsNoCase(p.name, name)) return &p;
    return nullptr;
}

ProfileEntry* ProfileFile::Default() {
    for (auto& p : profiles)
        if (p.isDefault) return &p;
    return nullptr;
}

bool ProfileFile::Remove(std::string_view name) {
    const auto it = std::find_if(profiles.begin(), profiles.end(),
                                 [&](const ProfileEntry& p) { return EqualsNoCase(p.name, name); });
    if (it == profiles.end()) return false;
    profiles.erase(it);
    return true;
}

std::string UidToHex(const MAPIUID& uid) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (BYTE b : uid.ab) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0xF]);
    }
    return hex;
}

bool UidFromHex(std::string_view hex, MAPIUID& uid) {
    if (hex.size() != 32) return false;
    MAPIUID parsed{};
    for (std::size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            const char c = hex[2 * i + k];
            value <<= 4;
            if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
            else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
            else return false;
        }
        parsed.ab[i] = static_cast<BYTE>(value);
    }
    uid = parsed;
    return true;
}

MAPIUID NewUid() {
    static std::mutex lock;
    static std::random_device device;
    std::lock_guard<std::mutex> guard(lock);
    MAPIUID uid{};
    for (std::size_t i = 0; i < 16; i += 4) {
        const unsigned value = device();
        for (std::size_t k = 0; k < 4; ++k) uid.ab[i + k] = static_cast<BYTE>(value >> (8 * k));
    }
    return uid;
}

}  // namespace qb::mapi

#pragma once
// Reads and writes ExportSettings in "Quillbox.ini".

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/settings/ExportSettings.h"

namespace qb {

inline constexpr std::size_t kMaxSettingChars = 15000;
inline constexpr const char* kSettingsFileName = "Quillbox.ini";

// Told about the stages of Load, so that start-up can record checkpoints and
// log lines, and asked for the Notes session's mail server in stage 060.
class SettingsLoadObserver {
public:
    virtual ~SettingsLoadObserver() = default;
    // stage is 10, 20, ... 90, announced at the start of each stage.
    virtual void OnStage(int stage) = 0;
    // nullopt when no Notes session is initialised.
    virtual std::optional<std::string> SessionMailServer() { return std::nullopt; }
};

class SettingsStore {
public:
    explicit SettingsStore(std::string iniPath);
    virtual ~SettingsStore() = default;

    // "Quillbox.ini" in the folder of the running executable.
    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    // Empty when the key is missing; at most 15000 characters.
    std::string ReadText(std::string_view section, std::string_view key) const;
    // Appends the comma-separated entries; a trailing empty piece is no entry.
    void ReadList(std::string_view section, std::string_view key, std::vector<std::string>& list) const;
    // True when the file was written.
    virtual bool WriteText(std::string_view section, std::string_view key, std::string_view value) const;

    // Defaults first, then every key in stage order. `now` is the moment of
    // start-up, the default end of the date range.
    void Load(ExportSettings& settings, SettingsLoadObserver* observer = nullptr,
              std::time_t now = std::time(nullptr)) const;
    // Writes the saved keys in their fixed order; failed writes are ignored.
    void Save(const ExportSettings& settings) const;

private:
    std::string path_;
};

// The loaded settings as `Key=value` pairs in load order: a list as its entries
// joined by ",", a date bound as "YYYY-MM-DD HH:MM:SS" local time.
std::vector<std::pair<std::string, std::string>> DescribeSettings(const ExportSettings& settings);

// Splits a stored list text as the settings store does.
std::vector<std::string> SplitSettingList(std::string_view text);

}  // namespace qb

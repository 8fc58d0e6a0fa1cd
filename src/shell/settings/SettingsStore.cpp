#include "shell/settings/SettingsStore.h"

#include <charconv>
#include <cstring>

#include "shell/platform/LocalTime.h"
#include "shell/platform/Paths.h"
#include "shell/platform/PrivateProfile.h"
#include "shell/settings/Component.h"
#include "shell/settings/SettingsFields.h"

namespace qb {

using settings_detail::Field;
using settings_detail::Form;

namespace {

constexpr const char* kDatePartNames[] = {"Year", "Month", "Day", "Hour", "Minute", "Second"};

std::string DateKey(const Field& field, int part) {
    const std::string suffix = std::string(field.key).substr(std::strlen("FilterYear"));
    return std::string("Filter") + kDatePartNames[part] + suffix;
}

std::optional<std::int32_t> ParseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::string JoinList(const std::vector<std::string>& list) {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) out += ',';
        out += list[i];
    }
    return out;
}

std::string ComponentListText(const std::vector<std::string>& components) {
    std::string out;
    for (Component c : kAllComponents)
        if (IsComponentSelected(components, c)) (out += ComponentName(c)) += ',';
    return out;
}

}  // namespace

std::vector<std::string> SplitSettingList(std::string_view text) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1)
        entries.emplace_back(text.substr(start, comma - start));
    if (start < text.size()) entries.emplace_back(text.substr(start));
    return entries;
}

void ApplyDateRangeDefaults(ExportSettings& settings, std::time_t now) {
    const platform::SystemTime local = platform::ToLocalSystemTime(now);
    settings.FilterFrom = platform::FromLocalFields(local.year - 1, 1, 1, 0, 0, 0).value_or(0);
    settings.FilterTo = now;
}

SettingsStore::SettingsStore(std::string iniPath) : path_(std::move(iniPath)) {}

std::string SettingsStore::DefaultPath() {
    return platform::JoinPath(platform::ProgramFolder(), kSettingsFileName);
}

std::string SettingsStore::ReadText(std::string_view section, std::string_view key) const {
    return platform::GetPrivateProfileString(section, key, "", kMaxSettingChars, path_);
}

void SettingsStore::ReadList(std::string_view section, std::string_view key, std::vector<std::string>& list) const {
    for (std::string& entry : SplitSettingList(ReadText(section, key))) list.push_back(std::move(entry));
}

bool SettingsStore::WriteText(std::string_view section, std::string_view key, std::string_view value) const {
    return platform::WritePrivateProfileString(section, key, value, path_);
}

namespace {

// Reads one field into the settings, leaving the default where the form says so.
void LoadField(const SettingsStore& store, const Field& field, ExportSettings& s) {
    if (field.form == Form::DateBound) {
        int parts[6] = {};
        for (int i = 0; i < 6; ++i)
            parts[i] = ParseNumber(store.ReadText(field.section, DateKey(field, i))).value_or(0);
        if (parts[0] > 1970 && parts[1] >= 1 && parts[1] <= 12) {
            if (auto when = platform::FromLocalFields(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]))
                s.*std::get<std::time_t ExportSettings::*>(field.member) = *when;
        }
        return;
    }
    if (field.form == Form::List || field.form == Form::ComponentList) {
        store.ReadList(field.section, field.key, s.*std::get<std::vector<std::string> ExportSettings::*>(field.member));
        return;
    }
    const std::string text = store.ReadText(field.section, field.key);
    switch (field.form) {
        case Form::Flag: s.*std::get<bool ExportSettings::*>(field.member) = text == "1"; break;
        case Form::FlagFirstChar: s.*std::get<bool ExportSettings::*>(field.member) = text.starts_with('1'); break;
        case Form::Number:
            if (auto n = ParseNumber(text)) s.*std::get<std::int32_t ExportSettings::*>(field.member) = *n;
            break;
        case Form::Choice01: s.*std::get<std::int32_t ExportSettings::*>(field.member) = text == "1" ? 1 : 0; break;
        case Form::Text: s.*std::get<std::string ExportSettings::*>(field.member) = text; break;
        case Form::TextOrDefault:
            if (!text.empty()) s.*std::get<std::string ExportSettings::*>(field.member) = text;
            break;
        default: break;
    }
}

void SaveField(const SettingsStore& store, const Field& field, const ExportSettings& s) {
    auto number = [](std::int32_t n) { return std::to_string(n); };
    switch (field.form) {
        case Form::DateBound: {
            const auto local = platform::ToLocalSystemTime(s.*std::get<std::time_t ExportSettings::*>(field.member));
            const int parts[6] = {local.year, local.month, local.day, local.hour, local.minute, local.second};
            for (int i = 0; i < 6; ++i) store.WriteText(field.section, DateKey(field, i), number(parts[i]));
            return;
        }
        case Form::Flag:
        case Form::FlagFirstChar:
            store.WriteText(field.section, field.key, s.*std::get<bool ExportSettings::*>(field.member) ? "1" : "0");
            return;
        case Form::Number:
        case Form::Choice01:
            store.WriteText(field.section, field.key, number(s.*std::get<std::int32_t ExportSettings::*>(field.member)));
            return;
        case Form::Text:
        case Form::TextOrDefault:
            store.WriteText(field.section, field.key, s.*std::get<std::string ExportSettings::*>(field.member));
            return;
        case Form::ComponentList:
            store.WriteText(field.section, field.key,
                            ComponentListText(s.*std::get<std::vector<std::string> ExportSettings::*>(field.member)));
            return;
        case Form::List:
            store.WriteText(field.section, field.key,
                            JoinList(s.*std::get<std::vector<std::string> ExportSettings::*>(field.member)));
            return;
    }
}

}  // namespace

void SettingsStore::Load(ExportSettings& settings, SettingsLoadObserver* observer, std::time_t now) const {
    settings = ExportSettings{};
    ApplyDateRangeDefaults(settings, now);
    int announced = 0;
    auto announceUpTo = [&](int stage) {
        for (int next = announced + 10; next <= std::min(stage, 90); next += 10) {
            if (observer) observer->OnStage(next);
            if (next == 60 && observer) {
                if (auto server = observer->SessionMailServer()) settings.NotesSessionMailServer = *server;
            }
            announced = next;
        }
    };
    for (const Field& field : settings_detail::LoadOrder()) {
        announceUpTo(field.stage);
        LoadField(*this, field, settings);
    }
    announceUpTo(90);
}

void SettingsStore::Save(const ExportSettings& settings) const {
    for (const char* key : settings_detail::SaveOrder())
        if (const Field* field = settings_detail::FindField(key)) SaveField(*this, *field, settings);
}

std::vector<std::pair<std::string, std::string>> DescribeSettings(const ExportSettings& s) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Field& field : settings_detail::LoadOrder()) {
        std::string value;
        std::string name = field.key;
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(s.*member)>;
                if constexpr (std::is_same_v<T, const bool>) value = (s.*member) ? "1" : "0";
                else if constexpr (std::is_same_v<T, const std::int32_t>) value = std::to_string(s.*member);
                else if constexpr (std::is_same_v<T, const std::string>) value = s.*member;
                else if constexpr (std::is_same_v<T, const std::vector<std::string>>) value = JoinList(s.*member);
                else value = platform::FormatLocalTime(s.*member, "%Y-%m-%d %H:%M:%S");
            },
            field.member);
        if (field.form == Form::DateBound) name = field.member == settings_detail::Member(&ExportSettings::FilterFrom)
                                                     ? "FilterFrom" : "FilterTo";
        out.emplace_back(std::move(name), std::move(value));
        if (field.stage == 50) out.emplace_back("NotesSessionMailServer", s.NotesSessionMailServer);
    }
    return out;
}

}  // namespace qb

#include "convert/TimeZoneOffsets.h"

#include <fmt/format.h>

#include <cstdlib>

#include "shell/settings/ExportSettings.h"

namespace qb {

TimeZoneOffsets ComputeOffsets(const ExportSettings& settings,
                               const std::optional<platform::TimeZoneInformation>& system) {
    TimeZoneOffsets offsets;
    if (settings.TimeZoneManual) {
        offsets.standardOffset = settings.TimeZoneMinutes * 60 + settings.TimeZoneHours * 3600;
        offsets.daylightOffset = -(settings.TimeZoneDstMinutes % 60) * 60 - settings.TimeZoneDstHours * 3600;
        offsets.currentDaylightOffset = offsets.daylightOffset;
        return offsets;
    }
    if (!system) return offsets;
    offsets.standardOffset = system->bias * 60;
    offsets.daylightOffset = system->daylightBias * 60;
    offsets.currentDaylightOffset = system->daylightNow ? system->daylightBias * 60 : 0;
    return offsets;
}

TimeZoneOffsets ComputeOffsets(const ExportSettings& settings) {
    return ComputeOffsets(settings, platform::GetTimeZoneInformation());
}

std::string ExportZoneText(const ExportSettings& settings,
                           const std::optional<platform::TimeZoneInformation>& system) {
    const TimeZoneOffsets offsets = ComputeOffsets(settings, system);
    const int east = -offsets.standardOffset / 60;
    const int whole = std::abs(east);
    std::string zone = fmt::format("GMT {}{}", east < 0 ? '-' : '+', whole / 60);
    if (whole % 60 != 0) zone += fmt::format(":{:02}", whole % 60);
    const char* source = settings.TimeZoneManual ? "set manually" : system ? "the system's" : "the system's, unreadable";
    return fmt::format("Times are converted for {} ({}), daylight saving {} minutes.", zone, source,
                       -offsets.daylightOffset / 60);
}

std::optional<std::string> ValidateManualZone(const ManualZoneInput& in) {
    if (in.minutes < 0 || in.minutes > 59) {
        if (in.hours != 0) return "TimeZone minutes must be between 0 to 59";
        if (in.minutes < -59 || in.minutes > 59) return "TimeZone minutes at zero hours must be between -59 to 59";
    }
    if (in.daylightHours < 0 || in.daylightHours > 24) return "Daylight Savings hours must be between 0 and 24";
    if (in.daylightMinutes < 0 || in.daylightMinutes > 59) return "Daylight Savings minutes must be between 0 and 59";
    return std::nullopt;
}

void ApplyManualZone(const ManualZoneInput& in, bool manual, ExportSettings& settings) {
    int minutes = in.minutes;
    if (in.hours < 0 && minutes > 0) minutes = -minutes;
    settings.TimeZoneManual = manual;
    settings.TimeZoneHours = -in.hours;
    settings.TimeZoneMinutes = -minutes;
    settings.TimeZoneDstHours = in.daylightHours;
    settings.TimeZoneDstMinutes = in.daylightMinutes;
}

ManualZoneInput ManualZoneFromSettings(const ExportSettings& settings) {
    ManualZoneInput in;
    in.hours = -settings.TimeZoneHours;
    in.minutes = -settings.TimeZoneMinutes;
    // West of Greenwich both are stored positive; the dialog shows the hours
    // with their sign and the minutes as a positive amount.
    if (in.hours != 0 && in.minutes < 1) in.minutes = -in.minutes;
    in.daylightHours = settings.TimeZoneDstHours;
    in.daylightMinutes = settings.TimeZoneDstMinutes;
    return in;
}

std::string SystemZoneText(const platform::TimeZoneInformation& info) {
    const int minutesEast = -info.bias;
    const int hours = minutesEast / 60;
    const int shown = hours + (minutesEast % 60) / 60;
    return hours < 1 ? fmt::format("GMT {}", shown) : fmt::format("GMT +{}", shown);
}

std::string SystemDaylightText(const platform::TimeZoneInformation& info) {
    return fmt::format("{} minutes", -info.daylightBias);
}

}  // namespace qb

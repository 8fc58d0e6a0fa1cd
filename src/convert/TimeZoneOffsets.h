#pragma once
// The time zone offsets of one export run, and the checks and texts of the
// time zone dialog.

#include <cstdint>
#include <optional>
#include <string>

#include "shell/platform/LocalTime.h"

namespace qb {

struct ExportSettings;

// Whole seconds; local time + standardOffset = UTC.
struct TimeZoneOffsets {
    std::int32_t standardOffset = 0;
    std::int32_t currentDaylightOffset = 0;  // in force now, 0 outside daylight time
    std::int32_t daylightOffset = 0;         // added to daylight-time values, e.g. -3600
};

// The user's manual zone when TimeZoneManual is set, else the system's.
TimeZoneOffsets ComputeOffsets(const ExportSettings& settings,
                               const std::optional<platform::TimeZoneInformation>& system);
TimeZoneOffsets ComputeOffsets(const ExportSettings& settings);

// The zone an export will convert with, for the export's confirmation:
// "Times are converted for GMT +1 (the system's), daylight saving 60 minutes."
std::string ExportZoneText(const ExportSettings& settings,
                           const std::optional<platform::TimeZoneInformation>& system);

// What the dialog's fields hold: hours and minutes east of Greenwich, and the
// daylight saving amount.
struct ManualZoneInput {
    int hours = 0;
    int minutes = 0;
    int daylightHours = 0;
    int daylightMinutes = 0;
};

// The "Input Error" text for entries the dialog refuses, or nullopt.
std::optional<std::string> ValidateManualZone(const ManualZoneInput& input);
// Stores accepted entries in the settings (with the sign of the system bias).
void ApplyManualZone(const ManualZoneInput& input, bool manual, ExportSettings& settings);
// The dialog's fields from the settings.
ManualZoneInput ManualZoneFromSettings(const ExportSettings& settings);

// "GMT +1" / "GMT -5" and "60 minutes" for the system zone.
std::string SystemZoneText(const platform::TimeZoneInformation& info);
std::string SystemDaylightText(const platform::TimeZoneInformation& info);

}  // namespace qb

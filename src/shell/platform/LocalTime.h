#pragma once
// Calendar times: the broken-down form handed between the conversion and the
// writers, the 100-ns file time of the Outlook side, and the local time zone.
// Local fields follow the process's time zone (TZ is honoured).

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace qb::platform {

// Year, month (1-12), day of week (0 = Sunday), day, hour, minute, second and
// milliseconds, each a 16-bit number.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

// 100-nanosecond intervals since 1 January 1601 UTC.
using FileTime = std::uint64_t;

SystemTime ToLocalSystemTime(std::time_t when);
SystemTime ToUtcSystemTime(std::time_t when);

// The moment that the local calendar fields name, daylight saving decided by
// the system; nullopt when the fields cannot be represented.
std::optional<std::time_t> FromLocalFields(int year, int month, int day, int hour, int minute, int second);

// The moment that calendar fields name when they are read as UTC.
std::time_t FromUtcFields(int year, int month, int day, int hour, int minute, int second);

// Calendar-to-file-time conversion of UTC fields; nullopt for fields out of range.
std::optional<FileTime> SystemTimeToFileTime(const SystemTime& utc);
std::optional<SystemTime> FileTimeToSystemTime(FileTime time);
FileTime UnixToFileTime(std::time_t when);
std::time_t FileTimeToUnix(FileTime time);

// strftime of the local time.
std::string FormatLocalTime(std::time_t when, const char* format);

// The local time zone as the desktop reports it: UTC = local time + bias, in
// minutes; the daylight bias is added to the bias while daylight saving is on.
struct TimeZoneInformation {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    bool hasDaylightSaving = false;
    bool daylightNow = false;
};
TimeZoneInformation GetTimeZoneInformation(std::time_t now = std::time(nullptr));

}  // namespace qb::platform

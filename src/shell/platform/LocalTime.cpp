#include "shell/platform/LocalTime.h"

#include <chrono>

namespace qb::platform {
namespace {

constexpr std::int64_t kFileTimeTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11'644'473'600;

SystemTime FromTm(const std::tm& tm) {
    SystemTime st;
    st.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    st.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    st.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    st.day = static_cast<std::uint16_t>(tm.tm_mday);
    st.hour = static_cast<std::uint16_t>(tm.tm_hour);
    st.minute = static_cast<std::uint16_t>(tm.tm_min);
    st.second = static_cast<std::uint16_t>(tm.tm_sec);
    return st;
}

long LocalOffsetSeconds(std::time_t when, bool* isDst) {
    std::tm tm {};
    localtime_r(&when, &tm);
    if (isDst) *isDst = tm.tm_isdst > 0;
    return tm.tm_gmtoff;
}

}  // namespace

SystemTime ToLocalSystemTime(std::time_t when) {
    std::tm tm {};
    localtime_r(&when, &tm);
    return FromTm(tm);
}

SystemTime ToUtcSystemTime(std::time_t when) {
    std::tm tm {};
    gmtime_r(&when, &tm);
    return FromTm(tm);
}

namespace {

std::tm FieldsTm(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return tm;
}

}  // namespace

std::time_t FromUtcFields(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm = FieldsTm(year, month, day, hour, minute, second);
    return ::timegm(&tm);
}

std::optional<std::time_t> FromLocalFields(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm = FieldsTm(year, month, day, hour, minute, second);
    tm.tm_isdst = -1;
    const std::time_t result = std::mktime(&tm);
    if (result == static_cast<std::time_t>(-1)) return std::nullopt;
    return result;
}

std::optional<FileTime> SystemTimeToFileTime(const SystemTime& utc) {
    using namespace std::chrono;
    const year_month_day date{year{utc.year}, month{utc.month}, day{utc.day}};
    if (!date.ok() || utc.year < 1601 || utc.hour > 23 || utc.minute > 59 || utc.second > 59 ||
        utc.milliseconds > 999)
        return std::nullopt;
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    const std::int64_t seconds = days * 86400 + utc.hour * 3600 + utc.minute * 60 + utc.second + kEpochDifference;
    return static_cast<FileTime>(seconds * kFileTimeTicksPerSecond + utc.milliseconds * 10'000LL);
}

std::optional<SystemTime> FileTimeToSystemTime(FileTime time) {
    using namespace std::chrono;
    const std::int64_t totalSeconds = static_cast<std::int64_t>(time / kFileTimeTicksPerSecond) - kEpochDifference;
    const std::int64_t days = totalSeconds >= 0 ? totalSeconds / 86400 : (totalSeconds - 86399) / 86400;
    const std::int64_t secondOfDay = totalSeconds - days * 86400;
    const sys_days dayPoint{std::chrono::days{days}};
    const year_month_day date{dayPoint};
    if (!date.ok() || static_cast<int>(date.year()) > 30827) return std::nullopt;
    SystemTime st;
    st.year = static_cast<std::uint16_t>(static_cast<int>(date.year()));
    st.month = static_cast<std::uint16_t>(static_cast<unsigned>(date.month()));
    st.day = static_cast<std::uint16_t>(static_cast<unsigned>(date.day()));
    st.dayOfWeek = static_cast<std::uint16_t>(weekday{dayPoint}.c_encoding());
    st.hour = static_cast<std::uint16_t>(secondOfDay / 3600);
    st.minute = static_cast<std::uint16_t>(secondOfDay / 60 % 60);
    st.second = static_cast<std::uint16_t>(secondOfDay % 60);
    st.milliseconds = static_cast<std::uint16_t>(time % kFileTimeTicksPerSecond / 10'000);
    return st;
}

FileTime UnixToFileTime(std::time_t when) {
    return static_cast<FileTime>((static_cast<std::int64_t>(when) + kEpochDifference) * kFileTimeTicksPerSecond);
}

std::time_t FileTimeToUnix(FileTime time) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(time / kFileTimeTicksPerSecond) - kEpochDifference);
}

std::string FormatLocalTime(std::time_t when, const char* format) {
    std::tm tm {};
    localtime_r(&when, &tm);
    char buffer[256];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

TimeZoneInformation GetTimeZoneInformation(std::time_t now) {
    std::tm tm {};
    localtime_r(&now, &tm);
    // Sample the middle of January and of July: one of them is standard time
    // in either hemisphere, the other daylight time where the zone has it.
    std::tm probe {};
    probe.tm_year = tm.tm_year;
    probe.tm_mday = 15;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    probe.tm_mon = 0;
    const std::time_t january = std::mktime(&probe);
    probe = {};
    probe.tm_year = tm.tm_year;
    probe.tm_mon = 6;
    probe.tm_mday = 15;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    const std::time_t july = std::mktime(&probe);

    bool janDst = false, julDst = false, nowDst = false;
    const long janOffset = LocalOffsetSeconds(january, &janDst);
    const long julOffset = LocalOffsetSeconds(july, &julDst);
    LocalOffsetSeconds(now, &nowDst);

    TimeZoneInformation info;
    const long standardOffset = janDst ? julOffset : janOffset;
    const long daylightOffset = janDst ? janOffset : julOffset;
    info.bias = static_cast<int>(-standardOffset / 60);
    info.hasDaylightSaving = janDst != julDst;
    info.daylightBias = info.hasDaylightSaving ? static_cast<int>(-(daylightOffset - standardOffset) / 60) : 0;
    info.daylightNow = nowDst;
    return info;
}

}  // namespace qb::platform

#include "notes/sample/SampleTime.h"

#include <fmt/format.h>

namespace qb::notes::sample {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Julian day number of 1970-01-01.
constexpr std::int64_t kJulianDayOfEpoch = 2440588;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Daylight saving in the sample zone: April to October, judged on the local
// standard-time date (a simplification that keeps every value unambiguous).
bool DaylightOnDate(std::int64_t standardLocalSeconds) {
    int year, month, day;
    CivilFromDays(FloorDiv(standardLocalSeconds, kSecondsPerDay), year, month, day);
    return month >= 4 && month <= 10;
}

void PutLittleEndian(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

SampleTime SampleTime::Local(int year, int month, int day, int hour, int minute, int second) {
    const std::int64_t standardLocal = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    const int offset = DaylightOnDate(standardLocal) ? 2 : 1;
    SampleTime time;
    time.utcSeconds = standardLocal - offset * 3600;
    return time;
}

SampleTime SampleTime::DateOnly(int year, int month, int day) {
    SampleTime time = Local(year, month, day, 0, 0);
    time.hasTime = false;
    return time;
}

SampleTime SampleTime::PlusMinutes(std::int64_t minutes) const {
    SampleTime time = *this;
    time.utcSeconds += minutes * 60;
    return time;
}

SampleTime SampleTime::PlusDays(int days) const {
    // Keeps the local wall-clock time across a change of daylight saving.
    const std::int64_t local = utcSeconds + OffsetHours() * 3600 + days * kSecondsPerDay;
    int year, month, day;
    CivilFromDays(FloorDiv(local, kSecondsPerDay), year, month, day);
    const std::int64_t secondOfDay = local - FloorDiv(local, kSecondsPerDay) * kSecondsPerDay;
    SampleTime time = Local(year, month, day, static_cast<int>(secondOfDay / 3600),
                            static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
    time.hasTime = hasTime;
    time.hundredths = hundredths;
    return time;
}

bool SampleTime::IsDaylight() const { return DaylightOnDate(utcSeconds + 3600); }

std::string SampleTime::DxlText() const {
    const std::int64_t local = utcSeconds + OffsetHours() * 3600;
    int year, month, day;
    CivilFromDays(FloorDiv(local, kSecondsPerDay), year, month, day);
    if (!hasTime) return fmt::format("{:04}{:02}{:02}", year, month, day);
    const std::int64_t s = local - FloorDiv(local, kSecondsPerDay) * kSecondsPerDay;
    return fmt::format("{:04}{:02}{:02}T{:02}{:02}{:02},{:02}+{:02}", year, month, day, s / 3600, s / 60 % 60,
                       s % 60, hundredths, OffsetHours());
}

std::string SampleTime::UtcText() const {
    const std::int64_t days = FloorDiv(utcSeconds, kSecondsPerDay);
    const std::int64_t second = utcSeconds - days * kSecondsPerDay;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", year, month, day, second / 3600, second / 60 % 60,
                       second % 60);
}

std::string SampleTime::DateText() const {
    int year, month, day;
    CivilFromDays(FloorDiv(utcSeconds + OffsetHours() * 3600, kSecondsPerDay), year, month, day);
    return fmt::format("{:04}-{:02}-{:02}", year, month, day);
}

std::string SampleTime::Rfc822Text() const {
    static constexpr const char* kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t local = utcSeconds + OffsetHours() * 3600;
    const std::int64_t days = FloorDiv(local, kSecondsPerDay);
    int year, month, day;
    CivilFromDays(days, year, month, day);
    const std::int64_t s = local - days * kSecondsPerDay;
    return fmt::format("{}, {} {} {} {:02}:{:02}:{:02} +{:02}00", kDays[((days % 7) + 7) % 7], day,
                       kMonths[month - 1], year, s / 3600, s / 60 % 60, s % 60, OffsetHours());
}

// TIMEDATE: Innards[0] is hundredths of a second since midnight UTC;
// Innards[1] holds the Julian day (bits 0-23), the zone's whole hours
// (bits 24-27), its quarter hours (bits 28-29), "east of UTC" (bit 30)
// and "daylight saving observed" (bit 31).
std::string SampleTime::TimedateBytes() const {
    const std::int64_t days = FloorDiv(utcSeconds, kSecondsPerDay);
    const std::int64_t secondOfDay = utcSeconds - days * kSecondsPerDay;
    const auto ticks = static_cast<std::uint32_t>(secondOfDay * 100 + hundredths);
    std::uint32_t high = static_cast<std::uint32_t>(days + kJulianDayOfEpoch) & 0x00FFFFFF;
    high |= 1u << 24;      // standard zone: one hour
    high |= 1u << 30;      // east of UTC
    if (IsDaylight()) high |= 1u << 31;
    std::string out;
    PutLittleEndian(out, hasTime ? ticks : 0xFFFFFFFFu);
    PutLittleEndian(out, high);
    return out;
}

FormulaDatetime SampleTime::ForFormula() const { return FormulaDatetime{utcSeconds * 100 + hundredths}; }

}  // namespace qb::notes::sample

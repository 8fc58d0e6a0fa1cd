#include "notes/api/LNDatetime.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::int32_t kUnixEpochJulian = 2440588;
constexpr std::int64_t kHundredthsPerDay = 8640000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

LNDatetimeParts PartsFrom(std::int32_t julianDay, std::int32_t ticks) {
    LNDatetimeParts parts;
    if (julianDay >= 0) {
        LNCivilDate(julianDay, &parts.year, &parts.month, &parts.day);
        parts.weekday = static_cast<int>((julianDay + 1) % 7) + 1;
    }
    if (ticks >= 0) {
        parts.hour = ticks / 360000;
        parts.minute = ticks / 6000 % 60;
        parts.second = ticks / 100 % 60;
        parts.hundredth = ticks % 100;
    }
    return parts;
}

bool ReadDigits(const std::string& text, std::size_t& pos, std::size_t count, int* value) {
    if (pos + count > text.size()) return false;
    int result = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        result = result * 10 + (c - '0');
    }
    pos += count;
    *value = result;
    return true;
}

bool ValidDate(int year, int month, int day) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    if (day > kDays[month - 1]) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

}  // namespace

std::int32_t LNJulianDay(int year, int month, int day) {
    // Days from civil (H. Hinnant's algorithm), shifted to Julian day numbers.
    std::int64_t y = year - (month <= 2);
    std::int64_t era = FloorDiv(y, 400);
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int32_t>(era * 146097 + doe - 719468 + kUnixEpochJulian);
}

void LNCivilDate(std::int32_t julianDay, int* year, int* month, int* day) {
    std::int64_t z = static_cast<std::int64_t>(julianDay) - kUnixEpochJulian + 719468;
    std::int64_t era = FloorDiv(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

LNSTATUS LNDatetime::FromDxlText(const LNString& text, bool dst, LNDatetime* result) {
    LNDatetime value;
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0;
    bool hasDate = false, hasTime = false;
    if (pos < text.size() && text[pos] != 'T') {
        if (!ReadDigits(text, pos, 4, &year) || !ReadDigits(text, pos, 2, &month) ||
            !ReadDigits(text, pos, 2, &day) || !ValidDate(year, month, day))
            return LNERR_BAD_DATETIME;
        hasDate = true;
    }
    int hour = 0, minute = 0, second = 0, hundredth = 0;
    if (pos < text.size() && text[pos] == 'T') {
        ++pos;
        if (!ReadDigits(text, pos, 2, &hour) || !ReadDigits(text, pos, 2, &minute) ||
            !ReadDigits(text, pos, 2, &second) || hour > 23 || minute > 59 || second > 59)
            return LNERR_BAD_DATETIME;
        if (pos < text.size() && (text[pos] == ',' || text[pos] == '.')) {
            ++pos;
            int digits = 0;
            while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
                if (digits < 2) hundredth = hundredth * 10 + (text[pos] - '0');
                ++digits;
                ++pos;
            }
            if (digits == 0) return LNERR_BAD_DATETIME;
            if (digits == 1) hundredth *= 10;
        }
        hasTime = true;
    }
    if (!hasDate && !hasTime) return LNERR_BAD_DATETIME;
    std::optional<int> zone;
    if (pos < text.size()) {
        if (text[pos] == 'Z') {
            zone = 0;
            ++pos;
        } else if (text[pos] == '+' || text[pos] == '-') {
            int sign = text[pos] == '-' ? -1 : 1;
            ++pos;
            int zh = 0, zm = 0;
            if (!ReadDigits(text, pos, 2, &zh)) return LNERR_BAD_DATETIME;
            if (pos < text.size() && text[pos] == ':') ++pos;
            if (pos < text.size() && !ReadDigits(text, pos, 2, &zm)) return LNERR_BAD_DATETIME;
            if (zh > 14 || zm > 59) return LNERR_BAD_DATETIME;
            zone = sign * (zh * 60 + zm);
        }
    }
    if (pos != text.size()) return LNERR_BAD_DATETIME;
    std::int32_t localTicks = ((hour * 60 + minute) * 60 + second) * 100 + hundredth;
    if (!hasTime) {
        value.julianDay_ = LNJulianDay(year, month, day);
    } else if (!hasDate) {
        value.ticks_ = localTicks;
    } else if (zone) {
        std::int64_t local = static_cast<std::int64_t>(LNJulianDay(year, month, day)) * kHundredthsPerDay + localTicks;
        value.SetUtcHundredths(local - static_cast<std::int64_t>(*zone) * 6000);
        value.zoneMinutes_ = static_cast<std::int16_t>(*zone);
        value.dst_ = dst;
    } else {
        value = FromLocalFields(year, month, day, hour, minute, second, hundredth);
    }
    *result = value;
    return LNNOERROR;
}

LNDatetime LNDatetime::FromUnixTime(std::time_t seconds, int hundredths) {
    LNDatetime value;
    value.SetUtcHundredths((static_cast<std::int64_t>(seconds) + kUnixEpochJulian * 86400LL) * 100 + hundredths);
    std::tm local{};
    localtime_r(&seconds, &local);
    value.zoneMinutes_ = static_cast<std::int16_t>(local.tm_gmtoff / 60);
    value.dst_ = local.tm_isdst > 0;
    return value;
}

LNDatetime LNDatetime::FromTimedate(const TIMEDATE& td) {
    LNDatetime value;
    bool hasTime = td.Innards[0] != kTimedateNoTime && td.Innards[0] < kHundredthsPerDay;
    bool hasDate = td.Innards[1] != kTimedateNoDate;
    if (hasDate) value.julianDay_ = static_cast<std::int32_t>(td.Innards[1] & 0xFFFFFF);
    if (hasTime) value.ticks_ = static_cast<std::int32_t>(td.Innards[0]);
    if (hasDate && hasTime) {
        DWORD high = td.Innards[1];
        int minutes = static_cast<int>((high >> 24) & 0xF) * 60 + static_cast<int>((high >> 28) & 0x3) * 15;
        if ((high & 0x40000000) == 0) minutes = -minutes;
        value.dst_ = (high & 0x80000000) != 0;
        if (value.dst_) minutes += 60;
        value.zoneMinutes_ = static_cast<std::int16_t>(minutes);
    }
    return value;
}

TIMEDATE LNDatetime::GetTimedate() const {
    TIMEDATE td;
    td.Innards[0] = HasTime() ? static_cast<DWORD>(ticks_) : kTimedateNoTime;
    if (!HasDate()) {
        td.Innards[1] = kTimedateNoDate;
        return td;
    }
    DWORD high = static_cast<DWORD>(julianDay_) & 0xFFFFFF;
    if (HasTime()) {
        int standard = zoneMinutes_ - (dst_ ? 60 : 0);
        int magnitude = standard < 0 ? -standard : standard;
        high |= static_cast<DWORD>((magnitude / 60) & 0xF) << 24;
        high |= static_cast<DWORD>((magnitude % 60 / 15) & 0x3) << 28;
        if (standard > 0) high |= 0x40000000;
        if (dst_) high |= 0x80000000;
    }
    td.Innards[1] = high;
    return td;
}

LNDatetime LNDatetime::FromDate(int year, int month, int day) {
    LNDatetime value;
    if (ValidDate(year, month, day)) value.julianDay_ = LNJulianDay(year, month, day);
    return value;
}

LNDatetime LNDatetime::FromTimeOfDay(int hour, int minute, int second, int hundredth) {
    LNDatetime value;
    value.ticks_ = ((hour * 60 + minute) * 60 + second) * 100 + hundredth;
    return value;
}

LNDatetime LNDatetime::FromLocalFields(int year, int month, int day, int hour, int minute, int second,
                                       int hundredth) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    std::time_t when = mktime(&fields);
    return FromUnixTime(when, hundredth);
}

LNDatetime LNDatetime::Now() { return FromUnixTime(std::time(nullptr)); }

std::int64_t LNDatetime::UtcHundredths() const {
    return static_cast<std::int64_t>(julianDay_) * kHundredthsPerDay + ticks_;
}

void LNDatetime::SetUtcHundredths(std::int64_t value) {
    julianDay_ = static_cast<std::int32_t>(FloorDiv(value, kHundredthsPerDay));
    ticks_ = static_cast<std::int32_t>(value - static_cast<std::int64_t>(julianDay_) * kHundredthsPerDay);
}

std::time_t LNDatetime::GetUnixTime() const {
    if (IsFull()) return static_cast<std::time_t>(FloorDiv(UtcHundredths(), 100) - kUnixEpochJulian * 86400LL);
    LNDatetimeParts parts = PartsFrom(julianDay_, ticks_);
    if (!HasDate()) {
        parts.year = 1970;
        parts.month = 1;
        parts.day = 1;
    }
    std::tm fields{};
    fields.tm_year = parts.year - 1900;
    fields.tm_mon = parts.month - 1;
    fields.tm_mday = parts.day;
    fields.tm_hour = parts.hour;
    fields.tm_min = parts.minute;
    fields.tm_sec = parts.second;
    fields.tm_isdst = -1;
    return mktime(&fields);
}

LNDatetimeParts LNDatetime::GetParts() const {
    if (!IsFull()) return PartsFrom(julianDay_, ticks_);
    std::time_t when = GetUnixTime();
    std::tm local{};
    localtime_r(&when, &local);
    LNDatetimeParts parts;
    parts.year = local.tm_year + 1900;
    parts.month = local.tm_mon + 1;
    parts.day = local.tm_mday;
    parts.weekday = local.tm_wday + 1;
    parts.hour = local.tm_hour;
    parts.minute = local.tm_min;
    parts.second = local.tm_sec;
    parts.hundredth = static_cast<int>(UtcHundredths() % 100);
    parts.dst = local.tm_isdst > 0;
    return parts;
}

LNDatetimeParts LNDatetime::GetZoneParts() const {
    if (!IsFull()) return PartsFrom(julianDay_, ticks_);
    std::int64_t local = UtcHundredths() + static_cast<std::int64_t>(zoneMinutes_) * 6000;
    std::int32_t day = static_cast<std::int32_t>(FloorDiv(local, kHundredthsPerDay));
    LNDatetimeParts parts = PartsFrom(day, static_cast<std::int32_t>(local - day * kHundredthsPerDay));
    parts.dst = dst_;
    return parts;
}

bool LNDatetime::IsDSTInEffect() const { return IsFull() && GetParts().dst; }

LNString LNDatetime::GetText() const {
    LNDatetimeParts parts = GetParts();
    char buffer[64];
    if (IsFull())
        std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", parts.month, parts.day, parts.year,
                      parts.hour, parts.minute, parts.second);
    else if (HasDate())
        std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", parts.month, parts.day, parts.year);
    else if (HasTime())
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", parts.hour, parts.minute, parts.second);
    else
        buffer[0] = '\0';
    return buffer;
}

LNString LNDatetime::GetDxlText() const {
    LNDatetimeParts parts = GetZoneParts();
    char buffer[64];
    int length = 0;
    if (HasDate()) length = std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", parts.year, parts.month, parts.day);
    if (HasTime())
        length += std::snprintf(buffer + length, sizeof buffer - length, "T%02d%02d%02d,%02d", parts.hour,
                                parts.minute, parts.second, parts.hundredth);
    if (IsFull()) {
        int zone = zoneMinutes_ < 0 ? -zoneMinutes_ : zoneMinutes_;
        length += std::snprintf(buffer + length, sizeof buffer - length, "%c%02d", zoneMinutes_ < 0 ? '-' : '+',
                                zone / 60);
        if (zone % 60) std::snprintf(buffer + length, sizeof buffer - length, "%02d", zone % 60);
    }
    if (length == 0) buffer[0] = '\0';
    return buffer;
}

void LNDatetime::AdjustDate(int months, int days, int years) {
    if (!HasDate()) return;
    bool full = IsFull();
    // Calendar arithmetic works on the fields the user sees, then goes back.
    LNDatetimeParts parts = full ? GetZoneParts() : PartsFrom(julianDay_, -1);
    int totalMonths = parts.year * 12 + (parts.month - 1) + months + years * 12;
    int year = totalMonths / 12;
    int month = totalMonths % 12 + 1;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int monthDays = kDays[month - 1] + (month == 2 && leap);
    int day = parts.day > monthDays ? monthDays : parts.day;
    std::int32_t newDay = LNJulianDay(year, month, day) + days;
    if (!full) {
        julianDay_ = newDay;
        return;
    }
    std::int32_t oldLocalDay = LNJulianDay(parts.year, parts.month, parts.day);
    SetUtcHundredths(UtcHundredths() + static_cast<std::int64_t>(newDay - oldLocalDay) * kHundredthsPerDay);
}

void LNDatetime::AdjustTime(int hours, int minutes, int seconds, int hundredths) {
    if (!HasTime()) return;
    std::int64_t delta = ((static_cast<std::int64_t>(hours) * 60 + minutes) * 60 + seconds) * 100 + hundredths;
    if (IsFull()) {
        SetUtcHundredths(UtcHundredths() + delta);
    } else {
        std::int64_t ticks = (ticks_ + delta) % kHundredthsPerDay;
        if (ticks < 0) ticks += kHundredthsPerDay;
        ticks_ = static_cast<std::int32_t>(ticks);
    }
}

void LNDatetime::AdjustTimeZone(int zoneMinutesEast, bool dst) {
    zoneMinutes_ = static_cast<std::int16_t>(zoneMinutesEast);
    dst_ = dst;
}

int LNDatetime::Compare(const LNDatetime& other) const {
    auto key = [](const LNDatetime& v) {
        if (v.IsFull()) return std::pair<std::int64_t, std::int64_t>(v.UtcHundredths(), 0);
        return std::pair<std::int64_t, std::int64_t>(
            v.HasDate() ? static_cast<std::int64_t>(v.julianDay_) * kHundredthsPerDay : -1, v.ticks_);
    };
    auto a = key(*this), b = key(other);
    return a < b ? -1 : (b < a ? 1 : 0);
}

#pragma once
// A Notes date/time: a date, a time of day in hundredths of a second, or both;
// a full value also carries the zone it was written in (minutes east of UTC,
// daylight saving included) and whether daylight saving was in effect.
//
// Local fields ("parts") follow the process's time zone, TZ honoured. A value
// with only a date or only a time has no zone: its parts are what it holds.

#include <cstdint>
#include <ctime>
#include <optional>

#include "notes/api/LNGlobal.h"

// The two 32-bit words of the C API's TIMEDATE. Innards[0]: hundredths of a
// second since midnight UTC, or kNoTime. Innards[1]: bits 0-23 Julian day
// number, bits 24-27 zone hours and bits 28-29 zone quarter hours (standard
// time), bit 30 set east of UTC, bit 31 daylight saving in effect; kNoDate
// when there is no date.
struct TIMEDATE {
    DWORD Innards[2] = {0, 0};
};
inline constexpr DWORD kTimedateNoTime = 0xFFFFFFFF;
inline constexpr DWORD kTimedateNoDate = 0xFFFFFFFF;

struct LNDatetimeParts {
    int year = 0;
    int month = 0;    // 1-12
    int day = 0;      // 1-31
    int weekday = 0;  // 1 = Sunday ... 7 = Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int hundredth = 0;
    bool dst = false;  // daylight saving in effect for these fields
};

class LNDatetime {
public:
    LNDatetime() = default;  // null: neither date nor time

    // DXL text: "20090512T101530,12+02", "20090512", "T101530,12", zone "Z" or
    // "+hh", "+hhmm", "-hh:mm"; dst is DXL's dst attribute. A full value
    // without a zone is taken as local time.
    static LNSTATUS FromDxlText(const LNString& text, bool dst, LNDatetime* result);
    static LNDatetime FromUnixTime(std::time_t seconds, int hundredths = 0);
    static LNDatetime FromTimedate(const TIMEDATE& td);
    static LNDatetime FromDate(int year, int month, int day);
    static LNDatetime FromTimeOfDay(int hour, int minute, int second, int hundredth = 0);
    // Local fields of the process's zone, daylight saving decided by the system.
    static LNDatetime FromLocalFields(int year, int month, int day, int hour, int minute, int second,
                                      int hundredth = 0);
    static LNDatetime Now();

    bool IsNull() const { return !HasDate() && !HasTime(); }
    bool HasDate() const { return julianDay_ >= 0; }
    bool HasTime() const { return ticks_ >= 0; }
    bool IsFull() const { return HasDate() && HasTime(); }

    // Local fields (process zone) of a full value; the held fields otherwise.
    LNDatetimeParts GetParts() const;
    // Fields in the zone the value carries.
    LNDatetimeParts GetZoneParts() const;
    int GetYear() const { return GetParts().year; }
    int GetMonth() const { return GetParts().month; }
    int GetDay() const { return GetParts().day; }
    int GetWeekday() const { return GetParts().weekday; }
    int GetHour() const { return GetParts().hour; }
    int GetMinute() const { return GetParts().minute; }
    int GetSecond() const { return GetParts().second; }
    int GetHundredth() const { return GetParts().hundredth; }
    // Daylight saving in effect at this moment in the process's zone.
    bool IsDSTInEffect() const;
    // The daylight flag the value was stored with.
    bool GetStoredDSTFlag() const { return dst_; }
    int GetZoneOffsetMinutes() const { return zoneMinutes_; }

    // Seconds since 1970 UTC of a full value; date-only values count from
    // local midnight, time-only values from 1970-01-01 local.
    std::time_t GetUnixTime() const;
    TIMEDATE GetTimedate() const;

    // "MM/DD/YYYY HH:MM:SS" in local time; the date or time alone for partial values.
    LNString GetText() const;
    // The DXL form, in the zone the value carries.
    LNString GetDxlText() const;

    // Moves the value by calendar amounts (months and years keep the day of
    // month, clamped to the month's end) and by clock amounts.
    void AdjustDate(int months, int days, int years);
    void AdjustTime(int hours, int minutes, int seconds, int hundredths = 0);
    // Keeps the moment and expresses it in another zone.
    void AdjustTimeZone(int zoneMinutesEast, bool dst);

    bool operator==(const LNDatetime& other) const = default;
    // Orders by moment (full values), else by date, then time.
    int Compare(const LNDatetime& other) const;

private:
    std::int32_t julianDay_ = -1;  // UTC date of a full value; the date itself otherwise
    std::int32_t ticks_ = -1;      // hundredths since midnight UTC (full) or local time of day
    std::int16_t zoneMinutes_ = 0;
    bool dst_ = false;

    std::int64_t UtcHundredths() const;
    void SetUtcHundredths(std::int64_t value);
};

// Julian day number <-> civil date (proleptic Gregorian).
std::int32_t LNJulianDay(int year, int month, int day);
void LNCivilDate(std::int32_t julianDay, int* year, int* month, int* day);

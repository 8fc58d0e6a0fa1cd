#pragma once
// Moments of the sample data and their Notes forms: DXL date/time text,
// the binary TIMEDATE of raw items, and the formula engine's value.

#include <cstdint>
#include <string>

#include "notes/api/formula/FormulaDocument.h"

namespace qb::notes::sample {

// A moment in the sample user's zone: standard offset +1 hour, with
// daylight saving (+2) from April to October. All-day values may carry
// no time.
struct SampleTime {
    std::int64_t utcSeconds = 0;  // since 1970-01-01 00:00 UTC
    bool hasTime = true;
    std::uint8_t hundredths = 0;

    // The moment of a local wall-clock time in the sample zone.
    static SampleTime Local(int year, int month, int day, int hour, int minute, int second = 0);
    static SampleTime DateOnly(int year, int month, int day);

    SampleTime PlusMinutes(std::int64_t minutes) const;
    SampleTime PlusDays(int days) const;
    bool IsDaylight() const;
    int OffsetHours() const { return IsDaylight() ? 2 : 1; }

    // "20250512T101530,00+02", or "20250512" for a date-only value.
    std::string DxlText() const;
    // "2025-05-12T08:15:30Z"
    std::string UtcText() const;
    // The date in the sample zone (as written), "2025-05-12".
    std::string DateText() const;
    // "Mon, 12 May 2025 10:15:30 +0200"
    std::string Rfc822Text() const;
    // The 8-byte TIMEDATE of the Notes C API, little-endian.
    std::string TimedateBytes() const;
    FormulaDatetime ForFormula() const;
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

}  // namespace qb::notes::sample

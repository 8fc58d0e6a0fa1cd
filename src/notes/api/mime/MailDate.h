#pragma once
// Dates of mail headers (RFC 5322 section 3.3, with the obsolete forms of
// RFC 822: two-digit years, zone names, missing seconds or weekday).

#include <cstdint>
#include <optional>
#include <string_view>

namespace qb::mime {

struct MailDate {
    int64_t utcSeconds = 0;  // since 1970-01-01 00:00:00 UTC
    int zoneMinutes = 0;     // offset of the writer's local time from UTC
    bool zoneKnown = true;   // false for "-0000" or an unknown zone name (taken as UTC)
};

// Nothing when the text holds no readable date. Comments such as "(EDT)"
// and a leading weekday are ignored; a weekday that does not match the
// date is not an error.
std::optional<MailDate> ParseMailDate(std::string_view text);

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

}  // namespace qb::mime

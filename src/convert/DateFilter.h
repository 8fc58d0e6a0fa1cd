#pragma once
// The inclusive From-To date range that leaves documents out of an export.

#include <ctime>

namespace qb {

struct ExportSettings;

struct DateFilter {
    bool on = false;
    std::time_t from = 0;  // seconds since 1970, UTC
    std::time_t to = 0;

    static DateFilter FromSettings(const ExportSettings& settings);

    // True when the filter is off or the local date and time lie within the
    // range; a value equal to a bound passes.
    bool Passes(int year, int month, int day, int hour, int minute, int second) const;
    bool Passes(std::time_t when) const { return !on || (when >= from && when <= to); }
};

}  // namespace qb

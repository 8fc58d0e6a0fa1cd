#include "convert/DateFilter.h"

#include "shell/platform/LocalTime.h"
#include "shell/settings/ExportSettings.h"

namespace qb {

DateFilter DateFilter::FromSettings(const ExportSettings& settings) {
    return DateFilter{settings.FilterByDate, settings.FilterFrom, settings.FilterTo};
}

bool DateFilter::Passes(int year, int month, int day, int hour, int minute, int second) const {
    if (!on) return true;
    // A date the calendar cannot hold cannot be placed in the range; keep the
    // document rather than lose it.
    const auto when = platform::FromLocalFields(year, month, day, hour, minute, second);
    return !when || Passes(*when);
}

}  // namespace qb

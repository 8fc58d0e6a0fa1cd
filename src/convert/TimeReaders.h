#pragma once
// The two readers of Notes time items: one for mail documents, giving local
// calendar fields, and one for the other converters, giving absolute times
// with the run's time zone offsets applied.

#include <cstdint>
#include <ctime>
#include <optional>

#include "convert/TimeZoneOffsets.h"
#include "notes/api/LNNote.h"
#include "notes/api/NotesCore.h"
#include "shell/platform/LocalTime.h"

namespace qb {

inline constexpr const char* kCreatedItemName = "@Created";

// A time item of a mail document: its local calendar fields (day of week
// 0 = Sunday, hundredths as milliseconds) and the stored value they came from.
struct MailTime {
    platform::SystemTime local;
    TIMEDATE stored;

    // The same moment as UTC calendar fields, which is what the message
    // writer stores without any zone shift.
    platform::SystemTime Utc() const;
};

// "@Created" reads the note's $Created item, else its creation time; any
// other name must be a time item. nullopt when there is no such time.
std::optional<MailTime> ReadMailTime(NOTEHANDLE note, const char* itemName);

// Which time stands in when the item is missing or holds no time of day.
enum class TimeFallback { Created = 1, Modified = 2 };

// Seconds since 1970 UTC. The first value of the item when it has a date and
// a time of day, else the document's creation or modification time. A value
// with a time of day is turned into UTC with the run's offsets (the daylight
// one too when daylight saving is in effect for it, which is then reported in
// `daylightOffset`, else 0). A value without a time of day is its date at
// local midnight, and `daylightOffset` is left as it was.
std::time_t ReadTimeItem(const LNDocument& document, TimeFallback fallback, const char* itemName,
                         const TimeZoneOffsets& offsets, std::int32_t& daylightOffset);

// A Notes date/time of a calendar entry or task as seconds since 1970 UTC,
// with the daylight offset that was applied (0 when none).
struct ConvertedTime {
    std::time_t utc = 0;
    std::int32_t daylightOffset = 0;
};

// A value with a time of day: its local fields plus the run's offsets (the
// daylight one too when daylight saving is in effect for it). A date alone:
// the local midnight that starts it.
ConvertedTime ConvertDatetime(const LNDatetime& value, const TimeZoneOffsets& offsets);

// The moment local midnight starts this date, with the run's offsets.
std::time_t LocalMidnight(int year, int month, int day, const TimeZoneOffsets& offsets);

// The calendar fields a value was written with: in the zone it carries for a
// full value, as held for a date or a time alone. An all-day event keeps its
// date wherever it is exported.
LNDatetimeParts WrittenParts(const LNDatetime& value);

// One Notes time as ReadTimeItem turns its value into seconds since 1970 UTC.
std::time_t ToUtcSeconds(const LNDatetime& value, const TimeZoneOffsets& offsets, std::int32_t& daylightOffset);

}  // namespace qb

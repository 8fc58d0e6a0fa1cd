#include "convert/TimeReaders.h"

#include <cstring>

#include "notes/NotesErrorText.h"

namespace qb {
namespace {

LNDatetime FallbackTime(const LNDocument& document, TimeFallback fallback) {
    return fallback == TimeFallback::Modified ? document.GetLastModified() : document.GetCreated();
}

// Local fields plus the run's offsets give UTC; the offsets may be the
// user's own zone rather than the system's.
std::time_t WithOffsets(const LNDatetime& value, const TimeZoneOffsets& offsets, std::int32_t& daylightOffset) {
    const LNDatetimeParts parts = value.GetParts();
    std::time_t when = platform::FromUtcFields(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
    when += offsets.standardOffset;
    if (value.IsDSTInEffect()) {
        daylightOffset = offsets.daylightOffset;
        when += offsets.daylightOffset;
    } else {
        daylightOffset = 0;
    }
    return when;
}

}  // namespace

platform::SystemTime MailTime::Utc() const {
    const LNDatetime value = LNDatetime::FromTimedate(stored);
    platform::SystemTime utc = platform::ToUtcSystemTime(value.GetUnixTime());
    utc.milliseconds = local.milliseconds;
    return utc;
}

std::optional<MailTime> ReadMailTime(NOTEHANDLE note, const char* itemName) {
    if (!note) return std::nullopt;
    TIME time;
    if (std::strcmp(itemName, kCreatedItemName) == 0) {
        if (!NSFItemGetTime(note, "$Created", &time.GM)) {
            ScopedNotesThrowMode returnCodes(false);
            if (NSFNoteGetCreated(note, &time.GM) != LNNOERROR) return std::nullopt;
        }
    } else if (!NSFItemGetTime(note, itemName, &time.GM)) {
        return std::nullopt;
    }
    {
        ScopedNotesThrowMode returnCodes(false);
        if (TimeGMToLocal(&time) != LNNOERROR) return std::nullopt;
    }
    MailTime result;
    result.stored = time.GM;
    result.local.year = static_cast<std::uint16_t>(time.year);
    result.local.month = static_cast<std::uint16_t>(time.month);
    result.local.dayOfWeek = static_cast<std::uint16_t>(time.weekday > 0 ? time.weekday - 1 : 0);
    result.local.day = static_cast<std::uint16_t>(time.day);
    result.local.hour = static_cast<std::uint16_t>(time.hour);
    result.local.minute = static_cast<std::uint16_t>(time.minute);
    result.local.second = static_cast<std::uint16_t>(time.second);
    result.local.milliseconds = static_cast<std::uint16_t>(time.hundredth * 10);
    return result;
}

std::time_t ReadTimeItem(const LNDocument& document, TimeFallback fallback, const char* itemName,
                         const TimeZoneOffsets& offsets, std::int32_t& daylightOffset) {
    LNDatetime value;
    if (itemName && *itemName) {
        try {
            LNDatetimes times;
            if (document.HasItem(itemName) && document.GetItem(itemName, &times) == LNNOERROR &&
                times.GetCount() > 0)
                value = times[0];
        } catch (const LNStatusError&) {
            value = LNDatetime();
        }
    }
    if (!value.IsFull()) value = FallbackTime(document, fallback);
    return ToUtcSeconds(value, offsets, daylightOffset);
}

std::time_t ToUtcSeconds(const LNDatetime& value, const TimeZoneOffsets& offsets, std::int32_t& daylightOffset) {
    const LNDatetimeParts parts = value.GetParts();
    if (!value.HasTime()) {
        return platform::FromLocalFields(parts.year, parts.month, parts.day, 0, 0, 0).value_or(0);
    }
    return WithOffsets(value, offsets, daylightOffset);
}

ConvertedTime ConvertDatetime(const LNDatetime& value, const TimeZoneOffsets& offsets) {
    ConvertedTime result;
    if (value.HasDate() && !value.HasTime()) {
        const LNDatetimeParts parts = value.GetParts();
        result.utc = LocalMidnight(parts.year, parts.month, parts.day, offsets);
        return result;
    }
    result.utc = WithOffsets(value, offsets, result.daylightOffset);
    return result;
}

std::time_t LocalMidnight(int year, int month, int day, const TimeZoneOffsets& offsets) {
    std::time_t when = platform::FromUtcFields(year, month, day, 0, 0, 0) + offsets.standardOffset;
    if (LNDatetime::FromLocalFields(year, month, day, 0, 0, 0).IsDSTInEffect()) when += offsets.daylightOffset;
    return when;
}

LNDatetimeParts WrittenParts(const LNDatetime& value) {
    return value.IsFull() ? value.GetZoneParts() : value.GetParts();
}

}  // namespace qb

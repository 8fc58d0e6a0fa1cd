#pragma once
// The calendar entries and tasks of the sample mailbox, written as Notes
// writes them: a multi-day all-day event with one StartDateTime and one
// CalendarDateTime per day, single dates as single date/time items, repeat
// instances as lists, bodies as plain text as often as rich text. The first
// documents show one feature each; the rest are mixed.

#include <string>
#include <vector>

#include "notes/sample/SampleDatabase.h"

namespace qb::notes::sample {

// A new document of the mailbox, last changed by its owner some time after
// it was created.
SampleDocument NewMailboxDocument(SampleRandom& random, SampleDatabase& database, const std::string& form,
                                  const SampleTime& created, bool noteForm);

class CalendarContent {
public:
    CalendarContent(SampleRandom& random, SampleDatabase& database) : random_(random), db_(database) {}

    void WriteEntry(long long index);
    void WriteTask(long long index);

private:
    void AddBasics(SampleDocument& doc, const std::string& type, const std::vector<SampleTime>& starts,
                   int durationMinutes, bool repeats);
    void AddMeeting(SampleDocument& doc, const SampleTime& created, bool chair, long long index);
    void AddBody(SampleDocument& doc, long long index);
    // A start far enough from today that the past-or-future rule of
    // reminders cannot change between generating and exporting.
    SampleTime RandomStart();

    SampleRandom& random_;
    SampleDatabase& db_;
    std::string repeatingTaskUnid_;
};

}  // namespace qb::notes::sample

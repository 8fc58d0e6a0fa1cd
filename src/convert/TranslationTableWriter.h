#pragma once
// The address translation file made from an address book: every name a
// Person document is known by in Notes (the canonical and abbreviated forms
// of its full names, and its mail address with its Notes domain) mapped to
// its Internet address, one "From,To" pair a line, as TranslationTable::Load
// reads it. With it, mail from and to these people gets addresses that can
// be replied to.

#include <ostream>
#include <string>

#include "notes/api/LNDatabase.h"

namespace qb {

struct TranslationTableSummary {
    long long persons = 0;        // Person documents read
    long long withAddress = 0;    // of them, with an Internet address
    long long rows = 0;           // pairs written
    long long skippedNames = 0;   // names left out: a comma cannot be written in the file
};

// Writes the pairs of every Person of the open database to `out`, a From
// name at most once (the first person keeps it). False with `error` set when
// the database cannot be searched.
bool WriteTranslationTable(const LNDatabase& addressBook, std::ostream& out, TranslationTableSummary& summary,
                           std::string& error);

}  // namespace qb

#pragma once
// The text of a Notes status as every message shows it: fetched into a
// 512-byte buffer, so at most 511 characters.

#include <string>

#include "notes/api/LNGlobal.h"

namespace qb {

inline constexpr std::size_t kNotesErrorBufferSize = 512;

std::string NotesErrorText(LNSTATUS status);

// Switches LNSetThrowAllErrorsGlobal for a scope and restores it afterwards.
class ScopedNotesThrowMode {
public:
    explicit ScopedNotesThrowMode(bool throwErrors) : previous_(LNGetThrowAllErrorsGlobal()) {
        LNSetThrowAllErrorsGlobal(throwErrors);
    }
    ~ScopedNotesThrowMode() { LNSetThrowAllErrorsGlobal(previous_); }
    ScopedNotesThrowMode(const ScopedNotesThrowMode&) = delete;
    ScopedNotesThrowMode& operator=(const ScopedNotesThrowMode&) = delete;

private:
    bool previous_;
};

}  // namespace qb

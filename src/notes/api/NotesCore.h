#pragma once
// The few core-library (C API) calls the conversion makes on an open note,
// named as in the Notes C API. They work on the note behind a document's
// NOTEHANDLE (LNNote::GetNoteHandle), valid while the document is open.
// Text is UTF-8 throughout; buffers receive at most size - 1 bytes and a zero.

#include <cstddef>

#include "notes/api/ItemTypes.h"
#include "notes/api/LNDatetime.h"
#include "notes/api/LNNote.h"

// One item of a note: its position among the note's items.
struct ITEMHANDLE {
    NOTEHANDLE note = nullptr;
    std::size_t index = 0;
};

// The first item of that name (names ignore case): its type and value size.
LNSTATUS NSFItemInfo(NOTEHANDLE note, const char* name, ITEMHANDLE* item, WORD* type, DWORD* valueLength);
// The next item of the same name after `previous`; LNERR_ITEM_NOT_FOUND when none.
LNSTATUS NSFItemInfoNext(NOTEHANDLE note, ITEMHANDLE previous, const char* name, ITEMHANDLE* item, WORD* type,
                         DWORD* valueLength);
// The stored value as the C API keeps it: the type word, then the value in
// its canonical layout. Copies at most size bytes; returns the count copied.
DWORD NSFItemGetValueBytes(ITEMHANDLE item, void* buffer, DWORD size);
// The canonical value (no type word) of an item.
std::string_view NSFItemValue(ITEMHANDLE item);

// Text of a text item (first entry of a list); returns its length.
WORD NSFItemGetText(NOTEHANDLE note, const char* name, char* buffer, WORD size);
WORD NSFItemGetTextListEntries(NOTEHANDLE note, const char* name);
WORD NSFItemGetTextListEntry(NOTEHANDLE note, const char* name, WORD index, char* buffer, WORD size);
// Any value as text, list entries joined by the separator.
WORD NSFItemConvertToText(NOTEHANDLE note, const char* name, char* buffer, WORD size, char separator);
// The first value of a time item; false when there is none.
bool NSFItemGetTime(NOTEHANDLE note, const char* name, TIMEDATE* value);
// The note's creation time (its originator id).
LNSTATUS NSFNoteGetCreated(NOTEHANDLE note, TIMEDATE* value);
// Checks the note's signature: the signer and the signing time.
LNSTATUS NSFNoteVerifySignature(NOTEHANDLE note, char* signer, WORD signerSize, TIMEDATE* when);

// TIME: a TIMEDATE and its local calendar fields.
struct TIME {
    int year = 0, month = 0, day = 0, weekday = 0;  // weekday 1 = Sunday
    int hour = 0, minute = 0, second = 0, hundredth = 0;
    bool dst = false;
    int zone = 0;  // minutes west of UTC, standard time
    TIMEDATE GM;
};
// Fills the local fields (the process's time zone) from GM.
LNSTATUS TimeGMToLocal(TIME* time);
// A time as text (LNDatetime::GetText); returns the length.
WORD ConvertTIMEDATEToText(const TIMEDATE* value, char* buffer, WORD size);

// Character set translation: Notes text is UTF-8 here, so this copies.
inline constexpr WORD OS_TRANSLATE_LMBCS_TO_NATIVE = 1;
inline constexpr WORD OS_TRANSLATE_NATIVE_TO_LMBCS = 0;
WORD OSTranslate(WORD mode, const char* in, WORD inLength, char* out, WORD outSize);

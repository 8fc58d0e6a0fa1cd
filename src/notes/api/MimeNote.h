#pragma once
// Documents stored as MIME, presented as Notes presents them to API
// programs: the RFC 822 header items stay as they are (LNText and
// LNDatetimes read their native values), and every item name holding MIME
// part items becomes one rich text item of that name: the text and HTML
// parts as paragraphs, inline pictures as graphics, and each attached part
// a $FILE file object with its file name and a file hotspot naming it at the
// end of the body. $FILE objects that only held MIME part content are
// replaced by what they held.

#include "notes/api/NoteData.h"

namespace qb::notes {

bool HasMimeParts(const NoteData& note);

// Converts in place; defects go to note.readWarnings, never to a failure.
void PresentMimeAsRichText(NoteData& note);

// A note read from its database as LNNote::Open shows it: MIME as rich
// text, and a warning for each rich text item cut at a damaged record.
// Depends on nothing but the note (and the file its objects lie in), so
// the thread reading ahead may do it for the reader.
void PresentNote(NoteData& note);

}  // namespace qb::notes

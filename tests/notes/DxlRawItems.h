#pragma once
// The <rawitemdata> items of a note-form DXL file, enough for tests of the
// MIME item decoding (the real reader parses DXL properly).

#include "notes/api/mime/NotesMimeItems.h"

#include <string>
#include <vector>

namespace qb::test {

std::vector<mime::NotesRawItem> RawItemsOf(const std::string& dxl);

}  // namespace qb::test

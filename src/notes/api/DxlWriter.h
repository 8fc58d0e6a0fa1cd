#pragma once
// Writing notes as DXL (note form, values as <rawitemdata> in their canonical
// layout, so that every type reads back exactly).

#include <ostream>
#include <string>

#include "notes/api/DxlReader.h"
#include "notes/api/NoteData.h"
#include "text/XmlText.h"

namespace qb::notes {

using text::XmlEscape;
void WriteDatabaseStart(std::ostream& out, const DxlDatabaseInfo& info);
void WriteDatabaseEnd(std::ostream& out);
// False when an attachment's content cannot be read.
bool WriteNote(std::ostream& out, const NoteData& note, std::string* detail);

}  // namespace qb::notes

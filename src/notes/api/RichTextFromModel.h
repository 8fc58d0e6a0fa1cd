#pragma once
// CD records from the rich text model: how a body that arrived as MIME (or
// any other rich text built in memory) becomes Notes rich text that the
// record walk, the cursors and the export read like any other.

#include <string>
#include <vector>

#include "notes/api/render/RichText.h"

namespace qb::notes {

// One paragraph definition per alignment used, CDPARAGRAPH and a reference
// per paragraph, CDTEXT per run (FONTID from the style; a line break is a
// zero byte), links as URL hotspots around their text, pictures as CDGRAPHIC
// with their image records. Pictures in a format rich text cannot hold are
// left out with a warning. With fontNames, fonts other than the standard
// faces are numbered from face 5 in the order of that list (extended with
// the new names; it is the note's font table, RichTextRecords.h).
std::string RecordsFromRichText(const render::RichTextDocument& document, std::vector<std::string>* warnings,
                                std::vector<std::string>* fontNames = nullptr);

}  // namespace qb::notes

#pragma once
// From CD records to the rich text model the RTF writer renders, and the
// pictures (CDGRAPHIC with its image records) of a rich text value.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "notes/api/render/RichText.h"

namespace qb::notes {

// One picture: the CDGRAPHIC record and the image records after it.
struct GraphicImage {
    std::uint16_t imageType = 0;  // CDIMAGETYPE_*, 0 when there is no image header
    int width = 0, height = 0;
    std::string data;  // the segments' data in order: the image file
    std::size_t end = 0;  // offset after the last record of the picture
};

// Reads the picture whose CDGRAPHIC starts at offset; false when no
// CDGRAPHIC starts there.
bool ReadGraphicAt(std::string_view value, std::size_t offset, GraphicImage* graphic);

// Offset after the record at offset, a picture counting as one record with
// its image records; offset itself at the end or on a damaged record.
std::size_t NextPosition(std::string_view value, std::size_t offset);

// The address a Notes client opens: "NOTES://server/replica/view/document",
// the server as its common name ("CN=Hub/O=Org", "cn=hub/o=org" and
// "Hub/Org" give "Hub"; empty for a local database), the identifiers as given.
std::string NotesUrl(std::string_view server, std::string_view replicaId, std::string_view viewUnid,
                     std::string_view noteUnid);
// NotesUrl of a 40-byte NOTELINK (each identifier's high word first) and the
// server hint that follows it in link records.
std::string DocLinkAddress(std::string_view noteLink, std::string_view serverHint);

struct RichTextRenderResult {
    render::RichTextDocument document;
    std::vector<std::string> warnings;  // damaged records, links without a table entry
    int pictures = 0;
};

// The records starting in [begin, end) of a rich text value as paragraphs,
// styled runs, document links and pictures. linksTable is the note's $Links
// value (WORD count, 40-byte entries), empty when it has none. A damaged
// record ends the walk with a warning; what came before it is kept.
// fontTable is the note's $Fonts value (faces 5 and up), empty when none.
RichTextRenderResult RenderRichText(std::string_view value, std::size_t begin, std::size_t end,
                                    std::string_view linksTable, std::string_view fontTable = {});

}  // namespace qb::notes

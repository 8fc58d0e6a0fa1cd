#pragma once
// Export of a rich text range to a file, the format chosen by the file
// name's extension (case ignored):
//   .rtf          an RTF document of the range (RichTextRender.h, RtfWriter.h)
//   .tif, .tiff   the first picture starting in the range as a TIFF file
// Any other extension is LNERR_EXPORT_FORMAT. A failed export leaves no file
// behind.

#include <string>
#include <string_view>

#include "notes/api/LNGlobal.h"

namespace qb::notes {

// Returns the status and, on failure, a detail for LNGetErrorMessageText
// (the caller raises it).
// linksTable and fontTable: the note's $Links and $Fonts values (may be empty).
// prepared: RTF rendered ahead, written instead of rendering when it was
// rendered from exactly these inputs.
struct PreparedRtf;
LNSTATUS ExportRichTextRange(std::string_view value, std::size_t begin, std::size_t end, std::string_view linksTable,
                             std::string_view fontTable, const std::string& path, std::string* detail,
                             const PreparedRtf* prepared = nullptr);

// The RTF text ExportRichTextRange writes to an .rtf path.
std::string RenderRichTextRangeRtf(std::string_view value, std::size_t begin, std::size_t end,
                                   std::string_view linksTable, std::string_view fontTable);

}  // namespace qb::notes

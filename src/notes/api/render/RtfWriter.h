#pragma once
// RTF documents from the rich text model: font and colour tables, styled
// runs, paragraphs with alignment and indents, line breaks, links, and
// pictures embedded as PNG or JPEG.

#include "notes/api/render/RichText.h"

#include <string>
#include <vector>

namespace qb::render {

struct RtfReport {
    int pictures = 0;  // pictures embedded
    // One line per picture that could not be embedded (it is then shown as
    // the text "[picture]").
    std::vector<std::string> warnings;
};

// The document as RTF 1.9 text. ASCII only: the code page is 1252 and
// every other character is written as \uN with a 1252 (or '?') fallback.
std::string RenderRtf(const RichTextDocument& document, RtfReport* report = nullptr);

// RenderRtf into a file; false with error set when the file cannot be
// written (a partly written file is removed).
bool WriteRtfFile(const RichTextDocument& document, const std::string& path, std::string* error,
                  RtfReport* report = nullptr);

// Text escaped for RTF (exposed for tests and for callers that build RTF
// around our output).
std::string EscapeRtfText(std::string_view utf8);

}  // namespace qb::render

#pragma once
// HTML mail bodies as styled rich text: what a mail client shows of them,
// in the terms the RTF writer renders. Covers the markup mail writers use:
// b/strong, i/em, u, s/strike/del, sup/sub, font (face, color, size),
// inline style (font-weight, font-style, text-decoration, color,
// font-family, font-size, text-align), headings, paragraphs and blocks
// with align, lists, table rows and cells, line breaks, links and images
// (cid: references and data: URLs). Everything else is read for its text.

#include "notes/api/render/RichText.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qb::render {

// The picture bytes for an image reference: "cid:..." (without the
// prefix, angle brackets removed) from the message's related parts.
using ContentIdResolver = std::function<std::optional<std::string>(std::string_view contentId)>;

RichTextDocument RichTextFromHtml(std::string_view html, const ContentIdResolver& resolveContentId = {},
                                  const TextStyle& baseStyle = {});

// A CSS or HTML colour: "#rgb", "#rrggbb", "rgb(r, g, b)" or one of the
// sixteen basic names.
std::optional<Colour> ParseHtmlColour(std::string_view text);

}  // namespace qb::render

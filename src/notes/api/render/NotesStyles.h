#pragma once
// Notes rich text style values in terms of the rich text model: the FONTID
// of a text record, the colour numbers of the Notes palette and the
// justification of a paragraph definition.

#include "notes/api/render/RichText.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace qb::render {

// FONTID attribute bits.
constexpr uint8_t kNotesFontBold = 0x01;
constexpr uint8_t kNotesFontItalic = 0x02;
constexpr uint8_t kNotesFontUnderline = 0x04;
constexpr uint8_t kNotesFontStrike = 0x08;
constexpr uint8_t kNotesFontSuper = 0x10;
constexpr uint8_t kNotesFontSub = 0x20;

// Faces 0, 1 and 4 are the standard ones; others come from the document's
// font table ($Fonts), by face number.
using NotesFontTable = std::map<uint8_t, std::string>;

// The style of a text record from its 4-byte FONTID as stored (face,
// attributes, colour, point size). Unknown faces give Arial.
TextStyle StyleFromFontId(std::string_view fontId, const NotesFontTable& fonts = {});

// The 16 named colours of the Notes palette; other numbers give black.
Colour NotesColour(uint8_t index);
// The palette entry nearest to a colour (FONTID keeps an index, not a colour).
uint8_t NearestNotesColour(const Colour& colour);
// A colour written as an HTML name or #rrggbb; black when unknown.
Colour ColourFromText(std::string_view text);

// Paragraph definition justification: 0 left, 1 right, 2 block, 3 centre,
// 4 none (shown left).
Alignment AlignmentFromJustify(uint16_t justify);

}  // namespace qb::render

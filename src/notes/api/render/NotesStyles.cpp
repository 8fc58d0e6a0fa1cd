#include "notes/api/render/NotesStyles.h"

#include <array>

namespace qb::render {

TextStyle StyleFromFontId(std::string_view fontId, const NotesFontTable& fonts) {
    TextStyle style;
    if (fontId.size() < 4) return style;
    auto byte = [&](size_t i) { return static_cast<uint8_t>(fontId[i]); };
    uint8_t face = byte(0), attributes = byte(1), colour = byte(2), size = byte(3);
    if (auto it = fonts.find(face); it != fonts.end() && !it->second.empty()) {
        style.fontFace = it->second;
    } else if (face == 0) {
        style.fontFace = "Times New Roman";
    } else if (face == 4) {
        style.fontFace = "Courier New";
    } else {
        style.fontFace = "Arial";
    }
    style.bold = attributes & kNotesFontBold;
    style.italic = attributes & kNotesFontItalic;
    style.underline = attributes & kNotesFontUnderline;
    style.strike = attributes & kNotesFontStrike;
    style.superscript = attributes & kNotesFontSuper;
    style.subscript = !style.superscript && (attributes & kNotesFontSub);
    style.colour = NotesColour(colour);
    style.pointSize = size == 0 ? 10 : size;
    return style;
}

Colour NotesColour(uint8_t index) {
    static constexpr std::array<Colour, 16> kPalette = {{{0, 0, 0},
                                                         {255, 255, 255},
                                                         {255, 0, 0},
                                                         {0, 255, 0},
                                                         {0, 0, 255},
                                                         {255, 0, 255},
                                                         {255, 255, 0},
                                                         {0, 255, 255},
                                                         {128, 0, 0},
                                                         {0, 128, 0},
                                                         {0, 0, 128},
                                                         {128, 0, 128},
                                                         {128, 128, 0},
                                                         {0, 128, 128},
                                                         {128, 128, 128},
                                                         {192, 192, 192}}};
    return index < kPalette.size() ? kPalette[index] : Colour{};
}

Alignment AlignmentFromJustify(uint16_t justify) {
    switch (justify) {
        case 1: return Alignment::Right;
        case 2: return Alignment::Justify;
        case 3: return Alignment::Center;
        default: return Alignment::Left;
    }
}

}  // namespace qb::render

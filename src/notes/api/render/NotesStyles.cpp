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

uint8_t NearestNotesColour(const Colour& colour) {
    uint8_t best = 0;
    long bestDistance = -1;
    for (uint8_t index = 0; index < 16; ++index) {
        Colour entry = NotesColour(index);
        long dr = long{colour.red} - entry.red, dg = long{colour.green} - entry.green, db = long{colour.blue} - entry.blue;
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = index;
        }
    }
    return best;
}

Colour ColourFromText(std::string_view text) {
    static constexpr std::pair<std::string_view, uint8_t> kNames[] = {
        {"black", 0}, {"white", 1},  {"red", 2},     {"lime", 3},    {"blue", 4},   {"fuchsia", 5},
        {"yellow", 6}, {"aqua", 7},  {"maroon", 8},  {"green", 9},   {"navy", 10},  {"purple", 11},
        {"olive", 12}, {"teal", 13}, {"gray", 14},   {"silver", 15}, {"magenta", 5}, {"cyan", 7}, {"grey", 14}};
    for (const auto& [name, index] : kNames)
        if (text == name) return NotesColour(index);
    if (text.size() != 7 || text[0] != '#') return {};
    auto hex = [&](size_t at) {
        unsigned value = 0;
        for (size_t i = at; i < at + 2; ++i) {
            char c = text[i];
            value = value * 16 + (c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0);
        }
        return static_cast<uint8_t>(value);
    };
    return Colour{hex(1), hex(3), hex(5)};
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

// Bitmap text for programs built on the shell: proportional fonts made of
// sprites, drawn into screenState's window with DrawSprite.
//
//   Fonts    A font file (spritetool font makes one from an indexed picture of
//            glyphs) holds one glyph per character code of a range, and a
//            substitute glyph that stands in for every code outside it. Each
//            glyph is sprite data as DrawSprite takes it, with its advance:
//            how far the pen moves after it. LoadFont checks the whole file
//            once (every glyph with ValidateSpriteData), so that no text,
//            whatever its bytes, makes the drawing read outside the font.
//            The font's glyphs point into the file, which stays in place.
//   Drawing  DrawString draws text with its top-left corner at window (x, y),
//            clipped to the window like every sprite, copied or mixed as
//            screenState.drawFlags say. '\n', "\r\n" and a lone '\r' each
//            end a line; the next starts at x, FontLineHeight rows lower.
//            DRAW_MIRROR_X and DRAW_FLIP_Y mirror and flip the picture of
//            the whole text inside the box MeasureString gives, so that a
//            mirrored line is right-aligned in it and flipped lines come in
//            reverse order.
//   Measure  MeasureString gives that box: the widest line's width (the sum
//            of its advances) and the height from the top of the first line
//            to the bottom of the last.
//
// A font file, all numbers little-endian:
//   0   4 bytes   "TFNT"
//   4   1 byte    first character code
//   5   2 bytes   characters, 1 .. 256 - first code: codes first .. first +
//                 characters - 1
//   7   1 byte    height of every glyph, 1 .. 255
//   8   1 byte    cells a row in the picture the font was made from
//   9   1 byte    the palette index of that picture's grid lines
//   10  8 bytes a glyph, characters + 1 of them (the substitute last):
//                 sprite width (0 for a glyph with no pixels), width of its
//                 cell in the picture (at least the sprite's, at least 1),
//                 advance (16 bits), size of its sprite data (32 bits)
//   ... each glyph's sprite data in the same order; the file ends with the
//       last one's.
// The picture's layout (cells a row, cell widths, grid colour) is only for
// drawing the font back into a picture; the text drawing never reads it.
//
// Nothing is allocated and nothing locked; like the renderers, the calls
// read screenState and the font directly.
#pragma once

#include <graphics/graphics.h>

#include <cstddef>
#include <cstdint>

constexpr std::uint8_t FONT_MAGIC[4] = {'T', 'F', 'N', 'T'};
constexpr std::size_t FONT_HEADER_SIZE = 10;
constexpr std::size_t FONT_GLYPH_ENTRY_SIZE = 8;
constexpr std::size_t FONT_MAX_GLYPHS = 256 + 1; // every code, and the substitute
// Rows left clear between one line of text and the next.
constexpr std::int32_t FONT_LINE_GAP = 1;

struct FontGlyph {
    SpriteRecord sprite;    // data points into the font file; width 0 draws nothing
    std::uint16_t advance;  // columns the pen moves after the glyph
    std::uint8_t cellWidth; // its cell in the font's picture
};

struct Font {
    std::uint8_t firstCode;
    std::uint16_t characters;          // codes firstCode .. firstCode + characters - 1
    std::uint8_t height;               // of every glyph
    std::uint8_t columns;              // cells a row in the font's picture
    std::uint8_t gridColour;           // the palette index of that picture's grid
    FontGlyph glyphs[FONT_MAX_GLYPHS]; // glyphs[characters] is the substitute
};

enum FontResult : std::int32_t {
    FONT_OK = 1,
    FONT_BAD_HEADER = -1, // too short, not "TFNT", no characters or codes past 255,
                          // a height or a row of 0
    FONT_BAD_GLYPHS = -2, // the glyph table or the data does not fit the file exactly
    FONT_BAD_SPRITE = -3, // a glyph whose sprite data fails ValidateSpriteData
};

// Checks the font file of `size` bytes at `file` and fills `font`, whose
// glyphs then point into the file. On any failure `font` is left as it was.
FontResult LoadFont(const std::uint8_t* file, std::size_t size, Font* font);

// The glyph of character `code`, or the substitute where the font has none.
inline const FontGlyph& FontGlyphFor(const Font& font, std::uint8_t code) {
    const std::uint32_t index = std::uint32_t{code} - font.firstCode;
    return font.glyphs[index < font.characters ? index : font.characters];
}

// Rows from the top of one line of text to the top of the next.
inline std::int32_t FontLineHeight(const Font& font) {
    return std::int32_t{font.height} + FONT_LINE_GAP;
}

struct TextSize {
    std::int32_t width;  // the widest line's advances; INT32_MAX at most
    std::int32_t height; // lines * FontLineHeight - FONT_LINE_GAP; INT32_MAX at most
};

// The box of the text, up to its zero byte or of exactly `length` bytes (a
// zero byte among them is a character like any other). An empty text is one
// empty line: width 0, the font's height.
TextSize MeasureString(const Font& font, const char* text);
TextSize MeasureString(const Font& font, const char* text, std::size_t length);

// Draws the text with the top-left corner of its box at window (x, y), as
// the contract above says. Only pixels inside the window are written.
void DrawString(const Font& font, std::int32_t x, std::int32_t y, const char* text);
void DrawString(const Font& font, std::int32_t x, std::int32_t y, const char* text,
                std::size_t length);

// Font files for spritetool: an indexed picture of glyphs to a font file (the
// format text/text.h gives), and the layout of a font's picture to draw it
// back.
//
// The picture is a grid of cells drawn in one palette index, the grid
// colour, which is the index of the top-left pixel:
//   - a row of the picture all in the grid colour is a grid line; between
//     two of them lies a row of cells, every row of cells as high as the
//     others (the font's height, at most 255 pixels);
//   - within a row of cells, a column all in the grid colour over the row's
//     height is a grid line; between two of them lies a cell, at most 255
//     pixels wide, cells of any width side by side;
//   - the grid is closed on all four sides, no cell holds a pixel of the
//     grid colour, and every row of cells has as many cells as the first,
//     but the last, which may have fewer.
// Cells are read left to right, top to bottom: the first is the glyph of the
// first code (32 unless asked otherwise), each next one of the next code,
// and the last one is the substitute, drawn for every code the font lacks
// (it must have pixels). A cell's pixels are the glyph, on the transparent
// index (from the transparency chunk, or --key) as a sprite's; a glyph
// starts at its cell's left edge, and its advance is its last column with a
// pixel drawn, plus two, so that one column stays clear before the next
// glyph. A cell with no pixel drawn (a space) advances by its width.
//
// Drawn back, the grid has lines of one pixel: a picture drawn that way
// comes back pixel for pixel.
#pragma once

#include "text/text.h"
#include "tools/png_io.h"

#include <cstdint>
#include <string>
#include <vector>

struct GlyphCell {
    std::uint32_t x, y; // the cell's top-left pixel in the picture
    std::uint8_t width; // 1 .. 255
};

struct GlyphGrid {
    std::uint32_t pictureWidth, pictureHeight;
    std::uint8_t gridColour;
    std::uint8_t cellHeight;      // of every cell
    std::uint8_t columns;         // cells in every row of cells but the last
    std::vector<GlyphCell> cells; // left to right, top to bottom
};

// The cells of `picture` whose transparent index is `transparent`; false,
// with the reason (naming the place), where it is not such a grid.
bool ReadGlyphGrid(const IndexedPicture& picture, std::uint8_t transparent, GlyphGrid* grid,
                   std::string* error);

// The font file of the grid's glyphs, codes from `firstCode`; false, with
// the reason, where the cells give no character, codes past 255, or an
// empty substitute.
bool MakeFontFile(const IndexedPicture& picture, const GlyphGrid& grid, std::uint8_t transparent,
                  std::uint8_t firstCode, std::vector<std::uint8_t>* file, std::string* error);

// The grid of a loaded font as spritetool draws it back: lines of one
// pixel, the font's cells a row.
GlyphGrid LayOutGlyphGrid(const Font& font);

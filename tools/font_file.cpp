// Font files for spritetool; see font_file.h for the picture's grid and
// text/text.h for the file.
#include "tools/font_file.h"

#include "graphics/graphics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool Fail(std::string* error, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool Fail(std::string* error, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    *error = text;
    return false;
}

struct Pixels {
    const IndexedPicture& picture;
    std::uint8_t At(std::uint32_t x, std::uint32_t y) const {
        return picture.pixels[std::size_t(y) * picture.width + x];
    }
};

void PutLe16(std::vector<std::uint8_t>* out, std::uint32_t v) {
    out->push_back(std::uint8_t(v));
    out->push_back(std::uint8_t(v >> 8));
}

void PutLe32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

// The cells of the row of cells in picture rows top .. bottom - 1, appended
// to `cells`.
bool ReadCellRow(const Pixels& p, std::uint8_t grid, std::uint32_t top, std::uint32_t bottom,
                 std::vector<GlyphCell>* cells, std::string* error) {
    const std::uint32_t width = p.picture.width;
    auto isLine = [&](std::uint32_t x) {
        for (std::uint32_t y = top; y < bottom; ++y)
            if (p.At(x, y) != grid) return false;
        return true;
    };
    if (!isLine(0))
        return Fail(error, "the grid is not closed on the left beside picture rows %u to %u", top,
                    bottom - 1);
    for (std::uint32_t x = 1; x < width;) {
        if (isLine(x)) {
            ++x;
            continue;
        }
        const std::uint32_t left = x;
        while (x < width && !isLine(x)) ++x;
        if (x == width)
            return Fail(error, "the grid is not closed on the right beside picture rows %u to %u",
                        top, bottom - 1);
        if (x - left > 255)
            return Fail(error,
                        "the cell at (%u, %u) is %u pixels wide, wider than a glyph can be "
                        "(255)",
                        left, top, x - left);
        for (std::uint32_t y = top; y < bottom; ++y)
            for (std::uint32_t c = left; c < x; ++c)
                if (p.At(c, y) == grid)
                    return Fail(error, "pixel (%u, %u) inside a cell has the grid's colour (%u)", c,
                                y, unsigned(grid));
        cells->push_back({left, top, std::uint8_t(x - left)});
    }
    return true;
}

} // namespace

bool ReadGlyphGrid(const IndexedPicture& picture, std::uint8_t transparent, GlyphGrid* grid,
                   std::string* error) {
    const Pixels p{picture};
    if (picture.width == 0 || picture.height == 0) return Fail(error, "an empty picture");
    const std::uint8_t colour = p.At(0, 0);
    if (colour == transparent)
        return Fail(error, "the grid's colour (%u, the top-left pixel's) is the transparent index",
                    unsigned(colour));
    auto isLine = [&](std::uint32_t y) {
        for (std::uint32_t x = 0; x < picture.width; ++x)
            if (p.At(x, y) != colour) return false;
        return true;
    };
    if (!isLine(0)) return Fail(error, "the grid is not closed at the top: row 0 is not all grid");

    *grid = {picture.width, picture.height, colour, 0, 0, {}};
    std::vector<std::size_t> rowCells; // cells in each row of cells
    for (std::uint32_t y = 1; y < picture.height;) {
        if (isLine(y)) {
            ++y;
            continue;
        }
        const std::uint32_t top = y;
        while (y < picture.height && !isLine(y)) ++y;
        if (y == picture.height)
            return Fail(error, "the grid is not closed at the bottom: row %u is not all grid",
                        picture.height - 1);
        const std::uint32_t height = y - top;
        if (height > 255)
            return Fail(error,
                        "the cells at picture row %u are %u pixels high, higher than a "
                        "glyph can be (255)",
                        top, height);
        if (grid->cellHeight == 0) grid->cellHeight = std::uint8_t(height);
        if (height != grid->cellHeight)
            return Fail(error, "the cells at picture row %u are %u pixels high, the first ones %u",
                        top, height, unsigned(grid->cellHeight));
        const std::size_t before = grid->cells.size();
        if (!ReadCellRow(p, colour, top, y, &grid->cells, error)) return false;
        rowCells.push_back(grid->cells.size() - before);
    }
    if (rowCells.empty()) return Fail(error, "no cell: the picture is all grid");
    if (rowCells[0] > 255)
        return Fail(error, "%zu cells in the first row, more than a font's rows hold (255)",
                    rowCells[0]);
    grid->columns = std::uint8_t(rowCells[0]);
    for (std::size_t r = 1; r < rowCells.size(); ++r) {
        const bool last = r + 1 == rowCells.size();
        if (last ? rowCells[r] > rowCells[0] : rowCells[r] != rowCells[0])
            return Fail(error,
                        "row %zu of cells has %zu cells, the first %zu (every row but the "
                        "last has as many as the first)",
                        r + 1, rowCells[r], rowCells[0]);
    }
    return true;
}

bool MakeFontFile(const IndexedPicture& picture, const GlyphGrid& grid, std::uint8_t transparent,
                  std::uint8_t firstCode, std::vector<std::uint8_t>* file, std::string* error) {
    const std::size_t glyphs = grid.cells.size();
    if (glyphs < 2)
        return Fail(error, "%zu cell: a font needs a glyph and the substitute after it", glyphs);
    const std::size_t characters = glyphs - 1;
    if (firstCode + characters > 256)
        return Fail(error, "%zu glyphs from code %u reach code %zu, past 255", characters,
                    unsigned(firstCode), firstCode + characters - 1);

    const Pixels p{picture};
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> entries;
    for (std::size_t i = 0; i < glyphs; ++i) {
        const GlyphCell& cell = grid.cells[i];
        std::int32_t last = -1; // the cell's last column with a pixel drawn
        for (std::uint32_t y = 0; y < grid.cellHeight; ++y)
            for (std::uint32_t x = 0; x < cell.width; ++x)
                if (p.At(cell.x + x, cell.y + y) != transparent) last = std::max(last, int(x));
        if (last < 0 && i + 1 == glyphs)
            return Fail(error,
                        "the last cell, at (%u, %u), is empty: it is the substitute "
                        "glyph, drawn for the codes the font lacks",
                        cell.x, cell.y);
        const auto width = std::uint8_t(last + 1);
        std::size_t size = 0;
        if (width > 0) {
            const std::uint8_t* pixels =
                picture.pixels.data() + std::size_t(cell.y) * picture.width + cell.x;
            const std::size_t at = data.size();
            data.resize(at + SpriteDataBound(width, grid.cellHeight));
            size = EncodeSprite(pixels, width, grid.cellHeight, std::int32_t(picture.width),
                                transparent, data.data() + at, data.size() - at);
            data.resize(at + size);
        }
        entries.push_back(width);
        entries.push_back(cell.width);
        PutLe16(&entries, width > 0 ? std::uint32_t(last) + 2 : cell.width);
        PutLe32(&entries, std::uint32_t(size));
    }

    file->assign(std::begin(FONT_MAGIC), std::end(FONT_MAGIC));
    file->push_back(firstCode);
    PutLe16(file, std::uint32_t(characters));
    file->push_back(grid.cellHeight);
    file->push_back(grid.columns);
    file->push_back(grid.gridColour);
    file->insert(file->end(), entries.begin(), entries.end());
    file->insert(file->end(), data.begin(), data.end());
    return true;
}

GlyphGrid LayOutGlyphGrid(const Font& font) {
    GlyphGrid grid = {1, 1, font.gridColour, font.height, font.columns, {}};
    const std::size_t glyphs = std::size_t(font.characters) + 1;
    std::uint32_t x = 1, y = 1;
    for (std::size_t i = 0; i < glyphs; ++i) {
        if (i > 0 && i % font.columns == 0) {
            x = 1;
            y += std::uint32_t(font.height) + 1;
        }
        const std::uint8_t width = font.glyphs[i].cellWidth;
        grid.cells.push_back({x, y, width});
        x += std::uint32_t(width) + 1;
        grid.pictureWidth = std::max(grid.pictureWidth, x);
    }
    grid.pictureHeight = y + font.height + 1;
    return grid;
}

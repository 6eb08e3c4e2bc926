// Fonts: loading and checking a font file, measuring and drawing text.
// See text.h.
//
// Positions are worked out in 64-bit arithmetic, so that no text, however
// long, and no starting point, however far out, can overflow them; a glyph
// reaches DrawSprite only when some of it lies in the window, and so always
// with coordinates near it.
#include "text/text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

std::uint32_t Le16(const std::uint8_t* p) {
    return p[0] | std::uint32_t{p[1]} << 8;
}

std::uint32_t Le32(const std::uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

const std::uint8_t* GlyphEntry(const std::uint8_t* file, std::size_t glyph) {
    return file + FONT_HEADER_SIZE + glyph * FONT_GLYPH_ENTRY_SIZE;
}

// The end of the line that starts at `p`: its line break, or `stop`.
const char* LineEnd(const char* p, const char* stop) {
    while (p != stop && *p != '\n' && *p != '\r') ++p;
    return p;
}

// The start of the line after the break at `end`: "\r\n" is one break.
const char* AfterBreak(const char* end, const char* stop) {
    return *end == '\r' && end + 1 != stop && end[1] == '\n' ? end + 2 : end + 1;
}

std::int64_t LineWidth(const Font& font, const char* p, const char* end) {
    std::int64_t width = 0;
    for (; p != end; ++p) width += FontGlyphFor(font, static_cast<std::uint8_t>(*p)).advance;
    return width;
}

struct Box {
    std::int64_t width;
    std::int64_t lines;
};

Box MeasureBox(const Font& font, const char* text, const char* stop) {
    Box box = {0, 0};
    for (const char* p = text;;) {
        const char* end = LineEnd(p, stop);
        box.width = std::max(box.width, LineWidth(font, p, end));
        ++box.lines;
        if (end == stop) return box;
        p = AfterBreak(end, stop);
    }
}

// One line with the top of its glyphs at window row `top`, which some of
// them reach. Mirrored, the line is laid down from the right edge of a box
// `boxWidth` wide, each glyph mirrored by DrawSprite in its own columns.
void DrawLine(const Font& font, std::int64_t x, std::int64_t top, const char* p, const char* end,
              bool mirror, std::int64_t boxWidth) {
    const std::int64_t windowWidth = screenState.windowWidth;
    std::int64_t pen = 0;
    for (; p != end; ++p) {
        const FontGlyph& glyph = FontGlyphFor(font, static_cast<std::uint8_t>(*p));
        const std::int64_t width = glyph.sprite.width;
        const std::int64_t left = mirror ? x + boxWidth - pen - width : x + pen;
        // The glyphs after this one lie further right (further left mirrored).
        if (mirror ? left + width <= 0 : left >= windowWidth) return;
        if (width > 0 && left < windowWidth && left + width > 0)
            DrawSprite(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                       &glyph.sprite);
        pen += glyph.advance;
    }
}

std::int32_t Clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(v, INT32_MAX));
}

} // namespace

FontResult LoadFont(const std::uint8_t* file, std::size_t size, Font* font) {
    if (size < FONT_HEADER_SIZE) return FONT_BAD_HEADER;
    for (std::size_t i = 0; i < sizeof FONT_MAGIC; ++i)
        if (file[i] != FONT_MAGIC[i]) return FONT_BAD_HEADER;
    const std::uint32_t first = file[4];
    const std::uint32_t characters = Le16(file + 5);
    const std::uint8_t height = file[7];
    if (characters == 0 || first + characters > 256 || height == 0 || file[8] == 0)
        return FONT_BAD_HEADER;
    const std::size_t glyphs = characters + 1;
    if ((size - FONT_HEADER_SIZE) / FONT_GLYPH_ENTRY_SIZE < glyphs) return FONT_BAD_GLYPHS;

    // Everything is checked before anything of `font` changes.
    std::size_t offset = FONT_HEADER_SIZE + glyphs * FONT_GLYPH_ENTRY_SIZE;
    for (std::size_t i = 0; i < glyphs; ++i) {
        const std::uint8_t* entry = GlyphEntry(file, i);
        const std::uint8_t width = entry[0];
        const std::uint8_t cellWidth = entry[1];
        const std::size_t dataSize = Le32(entry + 4);
        if (cellWidth == 0 || width > cellWidth || dataSize > size - offset) return FONT_BAD_GLYPHS;
        if (ValidateSpriteData(file + offset, dataSize, width, height) != 1) return FONT_BAD_SPRITE;
        offset += dataSize;
    }
    if (offset != size) return FONT_BAD_GLYPHS;

    font->firstCode = static_cast<std::uint8_t>(first);
    font->characters = static_cast<std::uint16_t>(characters);
    font->height = height;
    font->columns = file[8];
    font->gridColour = file[9];
    offset = FONT_HEADER_SIZE + glyphs * FONT_GLYPH_ENTRY_SIZE;
    for (std::size_t i = 0; i < FONT_MAX_GLYPHS; ++i) {
        if (i >= glyphs) {
            font->glyphs[i] = {{nullptr, 0, 0}, 0, 0};
            continue;
        }
        const std::uint8_t* entry = GlyphEntry(file, i);
        font->glyphs[i] = {{file + offset, entry[0], height},
                           static_cast<std::uint16_t>(Le16(entry + 2)),
                           entry[1]};
        offset += Le32(entry + 4);
    }
    return FONT_OK;
}

TextSize MeasureString(const Font& font, const char* text, std::size_t length) {
    const Box box = MeasureBox(font, text, text + length);
    return {Clamp32(box.width), Clamp32(box.lines * FontLineHeight(font) - FONT_LINE_GAP)};
}

TextSize MeasureString(const Font& font, const char* text) {
    return MeasureString(font, text, std::strlen(text));
}

void DrawString(const Font& font, std::int32_t x, std::int32_t y, const char* text,
                std::size_t length) {
    const char* stop = text + length;
    const bool mirror = screenState.drawFlags & DRAW_MIRROR_X;
    const bool flip = screenState.drawFlags & DRAW_FLIP_Y;
    const Box box = mirror || flip ? MeasureBox(font, text, stop) : Box{0, 0};
    const std::int64_t step = FontLineHeight(font);
    const std::int64_t windowHeight = screenState.windowHeight;
    std::int64_t line = 0;
    for (const char* p = text;; ++line) {
        const char* end = LineEnd(p, stop);
        const std::int64_t top = y + (flip ? box.lines - 1 - line : line) * step;
        if (top < windowHeight && top + font.height > 0) {
            DrawLine(font, x, top, p, end, mirror, box.width);
        } else if (flip ? top + font.height <= 0 : top >= windowHeight) {
            return; // every later line lies further out
        }
        if (end == stop) return;
        p = AfterBreak(end, stop);
    }
}

void DrawString(const Font& font, std::int32_t x, std::int32_t y, const char* text) {
    DrawString(font, x, y, text, std::strlen(text));
}

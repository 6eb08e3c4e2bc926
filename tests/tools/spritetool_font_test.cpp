// spritetool font and fontsheet as a user meets them: glyph grids of random
// glyphs, cell sizes and codes through font and back through fontsheet,
// pixel for pixel, and the example's font the same way; the font file of a
// small grid byte for byte; then every refusal, with the exit code, a piece
// of the message and the output path left as it was.
#include "tests/tools/tool_run.h"
#include "text/text.h"
#include "tools/png_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace tool_test;

namespace {

Bytes Png(const IndexedPicture& picture) {
    Bytes file;
    std::string error;
    EXPECT_TRUE(WriteIndexedPng(picture, 8, &file, &error)) << error;
    return file;
}

IndexedPicture ReadPng(const fs::path& path) {
    const Bytes file = ReadBytes(path);
    IndexedPicture picture;
    std::string error;
    EXPECT_TRUE(ReadIndexedPng(file.data(), file.size(), {4096, 4096, "a test"}, &picture, &error))
        << error;
    return picture;
}

constexpr std::uint8_t kGrid = 5;
constexpr std::uint8_t kClear = 0;

// A glyph grid as fontsheet draws one: lines of one pixel in kGrid, rows of
// cells of the given widths (a row shorter than the widest filled out with
// grid), every cell `height` high, its pixel (x, y) from `ink` (kClear for
// none). The palette has `colours` entries, kClear transparent.
IndexedPicture
Grid(const std::vector<std::vector<std::uint32_t>>& rows, std::uint32_t height,
     const std::function<std::uint8_t(std::size_t, std::uint32_t, std::uint32_t)>& ink,
     unsigned colours = 8) {
    IndexedPicture p;
    p.width = 1;
    for (const auto& row : rows) {
        std::uint32_t w = 1;
        for (std::uint32_t cell : row) w += cell + 1;
        p.width = std::max(p.width, w);
    }
    p.height = 1 + std::uint32_t(rows.size()) * (height + 1);
    p.pixels.assign(std::size_t(p.width) * p.height, kGrid);
    std::size_t glyph = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::uint32_t x = 1;
        for (std::uint32_t cell : rows[r]) {
            for (std::uint32_t y = 0; y < height; ++y)
                for (std::uint32_t c = 0; c < cell; ++c)
                    p.pixels[(1 + r * (height + 1) + y) * p.width + x + c] = ink(glyph, c, y);
            x += cell + 1;
            ++glyph;
        }
    }
    for (unsigned i = 0; i < colours * 3; ++i) p.palette.push_back(std::uint8_t(i * 37));
    p.alpha.assign(colours, 255);
    p.alpha[kClear] = 0;
    return p;
}

// The same colour at every pixel, transparency exactly where the source has
// it (wherever the pictures put their transparent entries).
::testing::AssertionResult SamePicture(const IndexedPicture& source, const IndexedPicture& got) {
    if (got.width != source.width || got.height != source.height)
        return ::testing::AssertionFailure()
               << "size " << got.width << " x " << got.height << ", the source's " << source.width
               << " x " << source.height;
    for (std::size_t i = 0; i < got.pixels.size(); ++i) {
        const unsigned want = source.pixels[i], have = got.pixels[i];
        const bool clearWanted = source.alpha[want] == 0, clear = got.alpha[have] == 0;
        if (clear != clearWanted || (!clear && have != want))
            return ::testing::AssertionFailure()
                   << "pixel (" << i % got.width << ", " << i / got.width << "): " << have
                   << (clear ? " (transparent)" : "") << ", the source's " << want;
    }
    return ::testing::AssertionSuccess();
}

// font, then fontsheet with the source's palette: the source back.
void RoundTrip(const IndexedPicture& source, const std::vector<std::string>& options,
               Bytes* fontFile = nullptr) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const fs::path png = dir.path() / "font.png", font = dir.path() / "font.fnt",
                   palette = dir.path() / "palette", back = dir.path() / "back.png";
    WriteBytes(png, Png(source));
    std::vector<std::string> args = {"font", png.string(), font.string()};
    args.insert(args.end(), options.begin(), options.end());
    ToolRun run = RunProgram(SPRITETOOL_PATH, args);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    run = RunProgram(SPRITETOOL_PATH, {"palette", png.string(), palette.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    run = RunProgram(SPRITETOOL_PATH,
                     {"fontsheet", font.string(), back.string(), "--palette", palette.string()});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(SamePicture(source, ReadPng(back)));
    if (fontFile) *fontFile = ReadBytes(font);
}

TEST(SpritetoolFont, RandomGridsComeBackPixelForPixel) {
    std::mt19937 random(24);
    for (int n = 0; n < 12; ++n) {
        const std::uint32_t columns = 1 + random() % 17, height = 1 + random() % 20;
        const std::uint32_t glyphs = 2 + random() % 60;
        const int first = int(random() % (257 - glyphs));
        std::vector<std::vector<std::uint32_t>> rows;
        for (std::uint32_t i = 0; i < glyphs; ++i) {
            if (i % columns == 0) rows.emplace_back();
            rows.back().push_back(1 + random() % (n == 0 ? 255 : 12));
        }
        // Pixels of colours 1 to 7 but the grid's, a third of the glyphs
        // sparse, some empty (not the last).
        std::vector<int> density(glyphs);
        for (int& d : density) d = int(random() % 4);
        density.back() = 3;
        const IndexedPicture source =
            Grid(rows, height, [&](std::size_t g, std::uint32_t, std::uint32_t) {
                if (density[g] == 0 || int(random() % 3) >= density[g]) return kClear;
                const std::uint8_t colour = std::uint8_t(1 + random() % 7);
                return colour == kGrid ? std::uint8_t(7) : colour;
            });
        SCOPED_TRACE(testing::Message() << glyphs << " glyphs from code " << first << ", "
                                        << columns << " a row, " << height << " high");
        RoundTrip(source, {"--first", std::to_string(first)});
    }
}

// The example's font: 95 glyphs from code 32 and the substitute.
TEST(SpritetoolFont, TheExampleFontComesBackPixelForPixel) {
    const Bytes png = ReadBytes(EXAMPLE_FONT_PNG);
    IndexedPicture source;
    std::string error;
    ASSERT_TRUE(ReadIndexedPng(png.data(), png.size(), {4096, 4096, ""}, &source, &error)) << error;
    Bytes file;
    RoundTrip(source, {}, &file);
    Font font;
    ASSERT_EQ(LoadFont(file.data(), file.size(), &font), FONT_OK);
    EXPECT_EQ(font.firstCode, 32);
    EXPECT_EQ(font.characters, 95);
}

// Two cells, 2 rows high, colour 5 the grid's, 0 transparent:
//   5 5 5 5 5 5 5 5
//   5 1 0 0 5 3 3 5
//   5 0 2 0 5 3 3 5
//   5 5 5 5 5 5 5 5
IndexedPicture TwoCells() {
    return Grid({{3, 2}}, 2, [](std::size_t g, std::uint32_t x, std::uint32_t y) {
        if (g == 1) return std::uint8_t(3);
        return std::uint8_t(x == y ? x + 1 : kClear);
    });
}

Bytes TwoCellsPng() {
    return Png(TwoCells());
}

// Its font file.
const Bytes kTwoCellsFont = {
    'T',  'F', 'N',  'T',  32,   1, 0,       // ' ' alone
    2,    2,   5,                            // 2 rows high, 2 cells a row, grid colour 5
    2,    3,   3,    0,    7,    0, 0,    0, // ' ': 2 wide in a cell of 3, advance 3, 7 bytes
    2,    2,   3,    0,    8,    0, 0,    0, // the substitute: 2 wide in 2, advance 3, 8 bytes
    0x01, 1,   0x00, 0xFF, 0x01, 2, 0x00, 0x02, 3, 3, 0x00, 0x02, 3, 3, 0x00,
};

Bytes TwoCellsFirst65() {
    Bytes b = kTwoCellsFont;
    b[4] = 65;
    return b;
}

IndexedPicture Changed(void (*change)(IndexedPicture&)) {
    IndexedPicture p = TwoCells();
    change(p);
    return p;
}

void Set(IndexedPicture& p, std::uint32_t x, std::uint32_t y, std::uint8_t v) {
    p.pixels[y * p.width + x] = v;
}

struct FontCase {
    ToolCase tool;
    Bytes (*second)(); // the second input ("IN2"), or nullptr
};

FontCase Made(const char* rule, std::vector<std::string> args, Bytes (*input)(),
              Bytes (*expected)()) {
    return {{rule, std::move(args), input, -1, 0, "", Out::Expected, expected}, nullptr};
}

FontCase Refused(const char* rule, std::vector<std::string> args, Bytes (*input)(), int exitCode,
                 const char* message, Bytes (*second)() = nullptr) {
    return {{rule, std::move(args), input, -1, exitCode, message, Out::Untouched, nullptr}, second};
}

const std::vector<std::string> kFont = {"font", "IN", "OUT"};
// For grids with no transparent pixel: index 0 is named transparent.
const std::vector<std::string> kFontKey0 = {"font", "IN", "OUT", "--key", "0"};
const std::vector<std::string> kSheet = {"fontsheet", "IN", "OUT", "--palette", "IN2"};

Bytes Palette8() {
    return TwoCells().palette;
}
Bytes Palette4() {
    return Bytes(4 * 3, 0);
}

const FontCase kCases[] = {
    Made("a grid of two cells: the font file, byte for byte", kFont, TwoCellsPng,
         [] { return kTwoCellsFont; }),
    Made("--first 65: the same glyphs from code 65", {"font", "IN", "OUT", "--first", "65"},
         TwoCellsPng, TwoCellsFirst65),
    Made(
        "--key: another transparent index than the chunk's", {"font", "IN", "OUT", "--key", "0"},
        [] { return Png(Changed([](IndexedPicture& p) { p.alpha[0] = 255; })); },
        [] { return kTwoCellsFont; }),
    // The refusals of encode.
    Refused(
        "not a PNG file", kFont,
        [] {
            return Bytes{'G', 'I', 'F'};
        },
        1, "not a PNG file"),
    Refused(
        "a pixel's index beyond the palette", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { Set(p, 2, 1, 9); })); }, 1,
        "pixel (2, 1) has index 9, outside the palette of 8 colours"),
    Refused(
        "a partly transparent entry in use", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { p.alpha[3] = 100; })); }, 1,
        "palette entry 3 is partly transparent"),
    Refused(
        "two transparent entries in use", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { p.alpha[2] = 0; })); }, 1,
        "palette entries 0 and 2 are both transparent"),
    Refused(
        "a picture larger than 4096 x 4096", kFont,
        [] {
            return Png(Changed([](IndexedPicture& p) {
                p.width = 4097;
                p.height = 1;
                p.pixels.assign(4097, kGrid);
            }));
        },
        1, "4097 x 1 pixels, larger than a font's picture can be (4096 x 4096)"),
    // The grid.
    Refused(
        "no transparent pixels", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { p.alpha[0] = 255; })); }, 1,
        "no transparent pixels: a font's glyphs stand on a transparent index"),
    Refused(
        "the grid's colour is the transparent one", kFont,
        [] {
            return Png(Changed([](IndexedPicture& p) {
                p.alpha[0] = 255;
                p.alpha[kGrid] = 0;
            }));
        },
        1, "the grid's colour (5, the top-left pixel's) is the transparent index"),
    Refused(
        "the top line broken", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { Set(p, 3, 0, kClear); })); }, 1,
        "the grid is not closed at the top"),
    Refused(
        "the bottom line broken", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { Set(p, 3, 3, kClear); })); }, 1,
        "the grid is not closed at the bottom: row 3"),
    Refused(
        "the left line broken", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { Set(p, 0, 2, kClear); })); }, 1,
        "not closed on the left beside picture rows 1 to 2"),
    Refused(
        "the right line broken", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { Set(p, 7, 1, 3); })); }, 1,
        "not closed on the right beside picture rows 1 to 2"),
    Refused(
        "a pixel of the grid's colour inside a cell", kFont,
        [] { return Png(Changed([](IndexedPicture& p) { Set(p, 2, 1, kGrid); })); }, 1,
        "pixel (2, 1) inside a cell has the grid's colour (5)"),
    Refused(
        "rows of cells of two heights", kFontKey0,
        [] {
            IndexedPicture p =
                Grid({{2, 2}, {2}}, 3,
                     [](std::size_t, std::uint32_t, std::uint32_t) { return std::uint8_t(1); });
            for (std::uint32_t x = 0; x < p.width; ++x) p.pixels[3 * p.width + x] = kGrid;
            return Png(p);
        },
        1, "the cells at picture row 5 are 3 pixels high, the first ones 2"),
    Refused(
        "a row with more cells than the first", kFontKey0,
        [] {
            return Png(Grid({{2}, {1, 1}, {2}}, 1, [](std::size_t, std::uint32_t, std::uint32_t) {
                return std::uint8_t(1);
            }));
        },
        1, "row 2 of cells has 2 cells, the first 1"),
    Refused(
        "a row before the last with fewer cells", kFontKey0,
        [] {
            return Png(
                Grid({{1, 1}, {2}, {1, 1}}, 1,
                     [](std::size_t, std::uint32_t, std::uint32_t) { return std::uint8_t(1); }));
        },
        1, "row 2 of cells has 1 cells, the first 2"),
    Refused(
        "a cell wider than 255", kFontKey0,
        [] {
            return Png(Grid({{256, 1}}, 1, [](std::size_t, std::uint32_t, std::uint32_t) {
                return std::uint8_t(1);
            }));
        },
        1, "the cell at (1, 1) is 256 pixels wide, wider than a glyph can be (255)"),
    Refused(
        "one cell: no glyph beside the substitute", kFontKey0,
        [] {
            return Png(Grid({{2}}, 1, [](std::size_t, std::uint32_t, std::uint32_t) {
                return std::uint8_t(1);
            }));
        },
        1, "1 cell: a font needs a glyph and the substitute after it"),
    Refused(
        "an empty substitute", kFont,
        [] {
            return Png(Grid({{1, 2}}, 1, [](std::size_t g, std::uint32_t, std::uint32_t) {
                return g == 0 ? std::uint8_t(1) : kClear;
            }));
        },
        1, "the last cell, at (3, 1), is empty: it is the substitute glyph"),
    Refused(
        "codes past 255", {"font", "IN", "OUT", "--first", "255", "--key", "0"},
        [] {
            return Png(Grid({{1, 1, 1}}, 1, [](std::size_t, std::uint32_t, std::uint32_t) {
                return std::uint8_t(1);
            }));
        },
        1, "2 glyphs from code 255 reach code 256, past 255"),
    // fontsheet: font files that fail LoadFont, palettes that do not fit.
    Refused(
        "fontsheet: not a font file", kSheet, [] { return Bytes(40, 'x'); }, 1,
        "a font file that fails its check (LoadFont: -1, its header)", Palette8),
    Refused(
        "fontsheet: a font cut short", kSheet,
        [] { return Bytes(kTwoCellsFont.begin(), kTwoCellsFont.end() - 1); }, 1,
        "(LoadFont: -2, its glyph table or data)", Palette8),
    Refused(
        "fontsheet: a glyph's rows wider than the glyph", kSheet,
        [] {
            Bytes b = kTwoCellsFont;
            b[26] = 0x03; // the first glyph's first run: 3 pixels in a glyph 2 wide
            return b;
        },
        1, "(LoadFont: -3, a glyph's sprite data)", Palette8),
    Refused(
        "fontsheet: the grid's colour beyond the palette", kSheet, [] { return kTwoCellsFont; }, 1,
        "pixel (0, 0) has index 5, outside the palette of 4 colours", Palette4),
    // Usage errors.
    Refused("--first beyond 255", {"font", "IN", "OUT", "--first", "256"}, TwoCellsPng, 2,
            "--first takes a character code from 0 to 255, not 256"),
    Refused(
        "fontsheet without --palette", {"fontsheet", "IN", "OUT"}, [] { return kTwoCellsFont; }, 2,
        "usage:"),
    Refused("--first given to encode", {"encode", "IN", "OUT", "--first", "32"}, TwoCellsPng, 2,
            "usage:"),
};

TEST(SpritetoolFont, RefusalsLoseNothingAndInventNothing) {
    for (const FontCase& c : kCases) {
        const Bytes second = c.second ? c.second() : Bytes();
        CheckToolCase(SPRITETOOL_PATH, c.tool, c.second ? &second : nullptr);
    }
}

} // namespace

// The text component: LoadFont's checks, one for each rule of the file; the
// widths and line breaks MeasureString gives; and DrawString against a plain
// reference that decodes every glyph pixel by pixel and places it by the
// rules of the box, at every edge of the window and far outside it, with
// every draw flag, on a guarded canvas. The fonts are one built here from
// random glyphs (advances shorter than the glyphs among them, so that
// glyphs overlap) and, on the host, the example's font as spritetool makes it.
#include "tests/graphics/graphics_reference.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using graphics_reference::Canvas;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Font files, written here from the format

struct TestGlyph {
    std::uint8_t width, cellWidth;
    std::uint16_t advance;
    Bytes data;
};

void PutLe(Bytes* out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(std::uint8_t(v >> (8 * i)));
}

Bytes FontFile(std::uint8_t first, std::uint8_t height, const std::vector<TestGlyph>& glyphs) {
    Bytes file = {'T', 'F', 'N', 'T', first};
    PutLe(&file, std::uint32_t(glyphs.size() - 1), 2);
    file.insert(file.end(), {height, 16, 7});
    for (const TestGlyph& g : glyphs) {
        file.insert(file.end(), {g.width, g.cellWidth});
        PutLe(&file, g.advance, 2);
        PutLe(&file, std::uint32_t(g.data.size()), 4);
    }
    for (const TestGlyph& g : glyphs) file.insert(file.end(), g.data.begin(), g.data.end());
    return file;
}

constexpr std::uint8_t kFirst = 30;
constexpr std::uint8_t kHeight = 6;
constexpr std::size_t kCharacters = 70; // codes 30 .. 99; the others draw the substitute

// Glyphs 0 to 7 pixels wide of random colours (0 among them), advances from
// 0 to the width plus 2, and a substitute that is never empty.
std::vector<TestGlyph> RandomGlyphs(std::mt19937& rng) {
    std::vector<TestGlyph> glyphs;
    for (std::size_t i = 0; i <= kCharacters; ++i) {
        const bool substitute = i == kCharacters;
        const auto width = std::uint8_t(substitute ? 5 : rng() % 8);
        std::vector<std::uint8_t> pixels(std::size_t(width) * kHeight);
        for (std::uint8_t& p : pixels) p = rng() % 3 == 0 ? 0xEE : std::uint8_t(rng() % 200);
        if (substitute) pixels[0] = 1;
        TestGlyph g{
            width, std::uint8_t(width + rng() % 3 + 1), std::uint16_t(rng() % (width + 3)), {}};
        g.data.resize(SpriteDataBound(width, kHeight));
        g.data.resize(
            EncodeSprite(pixels.data(), width, kHeight, width, 0xEE, g.data.data(), g.data.size()));
        glyphs.push_back(g);
    }
    return glyphs;
}

// A font file in a heap block of its own size, so that the sanitizers catch
// a read past its end, and the font loaded from it.
struct LoadedFont {
    std::unique_ptr<std::uint8_t[]> bytes;
    Font font;
};

std::unique_ptr<LoadedFont> Load(const Bytes& file) {
    auto loaded = std::make_unique<LoadedFont>();
    loaded->bytes.reset(new std::uint8_t[file.size()]);
    std::memcpy(loaded->bytes.get(), file.data(), file.size());
    EXPECT_EQ(LoadFont(loaded->bytes.get(), file.size(), &loaded->font), FONT_OK);
    return loaded;
}

// The example's font, made by spritetool from examples/scene/art/font.png.
#if defined(TEXT_EXAMPLE_FONT)
Bytes ExampleFontFile() {
    std::ifstream f(TEXT_EXAMPLE_FONT, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
#endif

// ---------------------------------------------------------------------------
// The reference

const FontGlyph& ReferenceGlyph(const Font& font, unsigned char code) {
    const bool inRange = code >= font.firstCode && code < font.firstCode + font.characters;
    return font.glyphs[inRange ? code - font.firstCode : font.characters];
}

std::vector<std::string> ReferenceLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

std::int64_t ReferenceWidth(const Font& font, const std::string& line) {
    std::int64_t width = 0;
    for (unsigned char c : line) width += ReferenceGlyph(font, c).advance;
    return width;
}

// Each glyph's pixels, decoded from its runs, land at (pen + column, line *
// line height + row) of the text's box, mirrored and flipped inside the box
// when the flags say so; glyph after glyph, as the text runs.
void ReferenceDrawString(const ScreenState& s, const Font& font, std::int64_t x, std::int64_t y,
                         const std::string& text) {
    const std::vector<std::string> lines = ReferenceLines(text);
    std::int64_t boxWidth = 0;
    for (const std::string& line : lines) boxWidth = std::max(boxWidth, ReferenceWidth(font, line));
    const std::int64_t lineHeight = font.height + 1;
    const std::int64_t boxHeight = std::int64_t(lines.size()) * lineHeight - 1;
    std::uint8_t* base = s.bufferBase + std::ptrdiff_t{s.windowY} * s.pitch + s.windowX;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::int64_t pen = 0;
        for (unsigned char c : lines[i]) {
            const FontGlyph& glyph = ReferenceGlyph(font, c);
            const std::uint8_t* p = glyph.sprite.data;
            for (std::int64_t row = 0; glyph.sprite.width > 0 && row < font.height; ++row) {
                std::int64_t column = 0;
                for (std::int8_t n; (n = std::int8_t(*p++)) != 0;) {
                    if (n < 0) {
                        column -= n;
                        continue;
                    }
                    for (int k = 0; k < n; ++k, ++column) {
                        const std::int64_t bx = pen + column,
                                           by = std::int64_t(i) * lineHeight + row;
                        graphics_reference::PutPixel(
                            s, base, s.drawFlags & DRAW_MIRROR_X ? x + boxWidth - 1 - bx : x + bx,
                            s.drawFlags & DRAW_FLIP_Y ? y + boxHeight - 1 - by : y + by, p[k]);
                    }
                    p += n;
                }
            }
            pen += glyph.advance;
        }
    }
}

testing::AssertionResult MatchesReference(Canvas canvas, const Font& font, std::int32_t x,
                                          std::int32_t y, const std::string& text,
                                          std::uint16_t flags, const std::uint8_t* mix) {
    Canvas expected = canvas;
    expected.Install(flags, mix);
    ReferenceDrawString(screenState, font, x, y, text);
    canvas.Install(flags, mix);
    DrawString(font, x, y, text.data(), text.size());
    if (canvas.bytes == expected.bytes) return testing::AssertionSuccess();
    for (std::size_t i = 0; i < canvas.bytes.size(); ++i)
        if (canvas.bytes[i] != expected.bytes[i])
            return testing::AssertionFailure()
                   << "at (" << x << ", " << y << "), flags " << flags << ": buffer row "
                   << i / std::size_t(canvas.stride) << ", column "
                   << i % std::size_t(canvas.stride) << " is " << int{canvas.bytes[i]}
                   << ", the reference's " << int{expected.bytes[i]};
    return testing::AssertionSuccess();
}

// Every code once, line breaks of each kind, and runs of the same glyph.
std::string TestText() {
    std::string text = "AB\ngy\r\n\r<>||";
    for (int c = 0; c < 256; ++c) {
        text += char(c);
        if (c % 37 == 36) text += '\n';
    }
    return text + "\n\nlast";
}

// Along one axis: wholly before the window, over its start, inside, over
// its end, wholly after, and at the ends of the 32-bit range.
std::vector<std::int32_t> Positions(std::int32_t boxSize, std::int32_t windowSize) {
    return {INT32_MIN,      -boxSize - 3,         -boxSize,       -boxSize + 1, -boxSize / 2, -1, 0,
            windowSize / 3, windowSize - boxSize, windowSize - 1, windowSize,   INT32_MAX - 9};
}

void CheckEveryEdge(const Font& font, const std::string& text) {
    std::mt19937 rng(24);
    const auto mix = graphics_reference::RandomMixTable(rng);
    const TextSize box = MeasureString(font, text.data(), text.size());
    for (const auto& [width, height] :
         {std::pair{64, 40}, std::pair{box.width + 9, box.height + 4}}) {
        Canvas canvas(width, height, 24, true);
        canvas.Fill(rng);
        int draws = 0;
        for (std::int32_t x : Positions(box.width, width)) {
            for (std::int32_t y : Positions(box.height, height)) {
                for (std::uint16_t flags = 0; flags < 16; ++flags) {
                    ASSERT_TRUE(MatchesReference(canvas, font, x, y, text, flags, mix.data()))
                        << "window " << width << " x " << height;
                    ++draws;
                }
            }
        }
        EXPECT_EQ(draws, 12 * 12 * 16);
    }
}

TEST(DrawString, MatchesTheReferenceAtEveryEdgeWithEveryFlag) {
    std::mt19937 rng(1224);
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(testing::Message() << "random font " << n);
        const auto font = Load(FontFile(kFirst, kHeight, RandomGlyphs(rng)));
        CheckEveryEdge(font->font, TestText());
    }
#if defined(TEXT_EXAMPLE_FONT)
    SCOPED_TRACE("the example's font");
    const auto font = Load(ExampleFontFile());
    CheckEveryEdge(font->font, TestText());
#endif
}

// A code outside the font's range draws exactly the substitute, as a sprite
// at the pen, and advances by the substitute's advance.
TEST(DrawString, CodesTheFontLacksDrawTheSubstitute) {
    std::mt19937 rng(7);
    const auto loaded = Load(FontFile(kFirst, kHeight, RandomGlyphs(rng)));
    const Font& font = loaded->font;
    const FontGlyph& substitute = font.glyphs[kCharacters];
    for (const unsigned char code : {0, 9, 29, 100, 127, 128, 255}) {
        SCOPED_TRACE(testing::Message() << "code " << int{code});
        EXPECT_EQ(&FontGlyphFor(font, code), &substitute);
        Canvas drawn(40, 10, 8), expected(40, 10, 8);
        drawn.Install(0, nullptr);
        const char text[] = {char(code), char(code)};
        DrawString(font, 3, 2, text, 2);
        expected.Install(0, nullptr);
        DrawSprite(3, 2, &substitute.sprite);
        DrawSprite(3 + substitute.advance, 2, &substitute.sprite);
        EXPECT_TRUE(drawn.bytes == expected.bytes);
        EXPECT_EQ(MeasureString(font, text, 2).width, 2 * substitute.advance);
    }
    for (int code = kFirst; code < kFirst + int(kCharacters); ++code)
        EXPECT_EQ(&FontGlyphFor(font, std::uint8_t(code)), &font.glyphs[code - kFirst]) << code;
}

// Each line starts again at x, one line height lower, whatever ends the line
// before it.
TEST(DrawString, EachLineBreakStartsALineAtX) {
    std::mt19937 rng(11);
    const auto loaded = Load(FontFile(kFirst, kHeight, RandomGlyphs(rng)));
    const Font& font = loaded->font;
    const std::int32_t step = FontLineHeight(font);
    const struct {
        const char* rule;
        std::string text;
        std::vector<std::string> lines; // drawn one below the other
    } cases[] = {
        {"\\n", "AB\nCD", {"AB", "CD"}},
        {"\\r\\n is one break", "AB\r\nCD", {"AB", "CD"}},
        {"a lone \\r", "AB\rCD", {"AB", "CD"}},
        {"\\n\\r is two", "AB\n\rCD", {"AB", "", "CD"}},
        {"a break at the end starts an empty line", "AB\n", {"AB", ""}},
        {"breaks alone", "\n\n", {"", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        Canvas drawn(60, 40, 4), expected(60, 40, 4);
        drawn.Install(0, nullptr);
        DrawString(font, 5, 1, c.text.data(), c.text.size());
        expected.Install(0, nullptr);
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            DrawString(font, 5, 1 + std::int32_t(i) * step, c.lines[i].c_str());
        EXPECT_TRUE(drawn.bytes == expected.bytes);
        EXPECT_EQ(MeasureString(font, c.text.data(), c.text.size()).height,
                  std::int32_t(c.lines.size()) * step - 1);
    }
}

// ---------------------------------------------------------------------------
// Measuring

// Codes ' ' to '"', 2 rows high: ' ' advances 2, '!' 3, '"' 5, and the
// substitute 4; each glyph but the space one pixel at the top left.
Bytes MeasuredFont() {
    const Bytes one = {0x01, 9, 0x00, 0x00};
    return FontFile(' ', 2, {{0, 2, 2, {}}, {1, 2, 3, one}, {1, 2, 5, one}, {1, 2, 4, one}});
}

TEST(MeasureString, WidthsAndHeights) {
    const auto loaded = Load(MeasuredFont());
    const Font& font = loaded->font;
    const struct {
        const char* rule;
        std::string text; // '!' advances 3, '"' 5, ' ' 2, anything else 4
        std::int32_t width, height;
    } cases[] = {
        {"an empty text is one empty line", "", 0, 2},
        {"one glyph: its advance", "!", 3, 2},
        {"advances add up", "!\" !", 3 + 5 + 2 + 3, 2},
        {"a space advances without pixels", "  ", 4, 2},
        {"a code the font lacks: the substitute's advance", "x\x01", 8, 2},
        {"the widest line", "!\n\"\"\n!", 10, 3 * 3 - 1},
        {"\\r\\n is one break", "!\r\n!", 3, 5},
        {"a trailing break adds an empty line", "!\n", 3, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const TextSize size = MeasureString(font, c.text.c_str());
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
    }
    // With a length, a zero byte is a character: here, the substitute.
    const char withZero[] = {'!', '\0', '!'};
    EXPECT_EQ(MeasureString(font, withZero, 3).width, 3 + 4 + 3);
    EXPECT_EQ(MeasureString(font, withZero).width, 3);
}

// A line wider than 32 bits measures INT32_MAX; drawn from far left, its
// glyphs' places are worked out without overflow, and the one glyph that
// lands at column 0 is drawn there.
TEST(MeasureString, ALineWiderThan32BitsMeasuresTheLargestWidth) {
    const auto loaded = Load(FontFile(' ', 1, {{1, 1, 65535, {0x01, 3, 0x00}}, {0, 1, 1, {}}}));
    const std::string text(40000, ' '); // 40000 x 65535 is past 2^31
    EXPECT_EQ(MeasureString(loaded->font, text.data(), text.size()).width, INT32_MAX);
    Canvas canvas(8, 2, 4);
    Canvas expected = canvas;
    canvas.Install(0, nullptr);
    DrawString(loaded->font, -65535 * 20000, 0, text.data(), text.size());
    expected.Install(0, nullptr);
    const std::uint8_t three = 3;
    screenState
        .bufferBase[std::ptrdiff_t{screenState.windowY} * screenState.pitch + screenState.windowX] =
        three;
    EXPECT_TRUE(canvas.bytes == expected.bytes) << "glyph 20000 alone, at column 0";
}

// ---------------------------------------------------------------------------
// Loading

#if defined(TEXT_EXAMPLE_FONT)
TEST(LoadFont, TheExampleFontHasEveryPrintableCode) {
    const auto loaded = Load(ExampleFontFile());
    const Font& font = loaded->font;
    EXPECT_EQ(font.firstCode, 32);
    EXPECT_EQ(font.characters, 95) << "codes 32 to 126";
    EXPECT_EQ(font.height, 9);
    EXPECT_EQ(font.glyphs[0].sprite.width, 0) << "the space has no pixels";
    EXPECT_EQ(font.glyphs[0].advance, font.glyphs[0].cellWidth);
    for (int code = 33; code <= 126; ++code) {
        const FontGlyph& g = font.glyphs[code - 32];
        EXPECT_GT(g.sprite.width, 0) << char(code);
        EXPECT_EQ(g.advance, g.sprite.width + 1) << char(code) << ": one clear column";
    }
    EXPECT_GT(font.glyphs[95].sprite.width, 0) << "the substitute";
    EXPECT_LT(MeasureString(font, "il").width, MeasureString(font, "MW").width) << "proportional";
}
#endif

struct Damage {
    const char* rule;
    void (*change)(Bytes&);
    FontResult result;
};

// The font below: ' ' and '!' and the substitute, 2 rows high.
Bytes SmallFont() {
    return FontFile(' ', 2,
                    {{0, 3, 3, {}},
                     {1, 2, 2, {0x01, 5, 0x00, 0x00}},
                     {2, 2, 3, {0x02, 6, 6, 0x00, 0xFE, 0x00}}});
}

const Damage kDamages[] = {
    {"shorter than a header", [](Bytes& f) { f.resize(9); }, FONT_BAD_HEADER},
    {"another magic", [](Bytes& f) { f[3] = 'X'; }, FONT_BAD_HEADER},
    {"no characters", [](Bytes& f) { f[5] = 0; }, FONT_BAD_HEADER},
    {"codes past 255", [](Bytes& f) { f[4] = 255; }, FONT_BAD_HEADER},
    {"256 characters from code 1",
     [](Bytes& f) {
         f[4] = 1;
         f[5] = 0;
         f[6] = 1;
     },
     FONT_BAD_HEADER},
    {"a height of 0", [](Bytes& f) { f[7] = 0; }, FONT_BAD_HEADER},
    {"no cells a row", [](Bytes& f) { f[8] = 0; }, FONT_BAD_HEADER},
    {"cut in the glyph table", [](Bytes& f) { f.resize(FONT_HEADER_SIZE + 20); }, FONT_BAD_GLYPHS},
    {"more glyphs than the file has room for", [](Bytes& f) { f[5] = 20; }, FONT_BAD_GLYPHS},
    {"a cell of width 0", [](Bytes& f) { f[10 + 8 + 1] = 0; }, FONT_BAD_GLYPHS},
    {"a sprite wider than its cell", [](Bytes& f) { f[10 + 8] = 3; }, FONT_BAD_GLYPHS},
    {"a data size past the file", [](Bytes& f) { f[10 + 16 + 4] = 7; }, FONT_BAD_GLYPHS},
    {"a data size of 2^32 - 1", [](Bytes& f) { std::fill(&f[10 + 16 + 4], &f[10 + 16 + 8], 0xFF); },
     FONT_BAD_GLYPHS},
    {"a byte after the last glyph", [](Bytes& f) { f.push_back(0); }, FONT_BAD_GLYPHS},
    {"the last glyph cut short", [](Bytes& f) { f.pop_back(); }, FONT_BAD_GLYPHS},
    {"a row that covers more than the sprite's width",
     [](Bytes& f) { f[FONT_HEADER_SIZE + 3 * FONT_GLYPH_ENTRY_SIZE + 4] = 0x81; }, FONT_BAD_SPRITE},
    {"a glyph's last row not within its data, though the next glyph's bytes follow",
     [](Bytes& f) { f[10 + 8 + 4] = 3; }, // '!': 2 rows in 3 bytes
     FONT_BAD_SPRITE},
};

TEST(LoadFont, EachRuleOfTheFileIsChecked) {
    const Bytes good = SmallFont();
    {
        const auto loaded = Load(good);
        const Font& font = loaded->font;
        EXPECT_EQ(font.firstCode, ' ');
        EXPECT_EQ(font.characters, 2);
        EXPECT_EQ(font.height, 2);
        EXPECT_EQ(font.columns, 16);
        EXPECT_EQ(font.gridColour, 7);
        EXPECT_EQ(font.glyphs[1].sprite.data, loaded->bytes.get() + FONT_HEADER_SIZE + 24);
        EXPECT_EQ(font.glyphs[2].sprite.data, loaded->bytes.get() + FONT_HEADER_SIZE + 28);
        EXPECT_EQ(font.glyphs[2].advance, 3);
        EXPECT_EQ(font.glyphs[2].cellWidth, 2);
    }
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.rule);
        Bytes file = good;
        d.change(file);
        std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[file.size()]);
        std::memcpy(bytes.get(), file.data(), file.size());
        Font font;
        std::memset(&font, 0x5A, sizeof font);
        const Font before = font;
        EXPECT_EQ(LoadFont(bytes.get(), file.size(), &font), d.result);
        EXPECT_EQ(std::memcmp(&font, &before, sizeof font), 0) << "the font was changed";
    }
}

} // namespace

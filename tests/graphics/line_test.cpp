// The line drawer against the pixel-by-pixel reference, and its named
// clipping and mixing cases, on guarded canvases.
#include "graphics/graphics.h"
#include "tests/graphics/graphics_reference.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using graphics_reference::Canvas;

struct Pixel {
    std::int32_t x, y;
};

struct LineCase {
    const char* rule;
    std::int32_t x1, y1, x2, y2;
    std::vector<Pixel> drawn; // in colour 0x5A; everything else untouched
};

TEST(DrawHVLine, NamedClippingCases) {
    const auto row = [](std::int32_t y, std::int32_t from, std::int32_t to) {
        std::vector<Pixel> p;
        for (std::int32_t x = from; x <= to; ++x) p.push_back({x, y});
        return p;
    };
    const auto column = [](std::int32_t x, std::int32_t from, std::int32_t to) {
        std::vector<Pixel> p;
        for (std::int32_t y = from; y <= to; ++y) p.push_back({x, y});
        return p;
    };
    // Window 320 x 12.
    const LineCase cases[] = {
        {"end points in either order give the same span", 10, 5, 3, 5, row(5, 3, 10)},
        {"left to right", 3, 5, 10, 5, row(5, 3, 10)},
        {"both ends outside clip to the full row", -20, 4, 500, 4, row(4, 0, 319)},
        {"reversed and outside on both ends", 500, 4, -20, 4, row(4, 0, 319)},
        {"wholly left draws nothing", -20, 4, -1, 4, {}},
        {"wholly right draws nothing", 320, 4, 400, 4, {}},
        {"vertical clipped at the top", 7, -3, 7, 2, column(7, 0, 2)},
        {"vertical wholly above draws nothing", 7, -3, 7, -1, {}},
        {"vertical wholly below draws nothing", 7, 12, 7, 40, {}},
        {"vertical reversed, clipped at the bottom", 7, 30, 7, 9, column(7, 9, 11)},
        {"differing in both: horizontal on the smaller y", 2, 9, 6, 1, row(1, 2, 6)},
        {"clipped x equal: vertical", -5, 3, 0, 9, column(0, 3, 9)},
        {"clipped x equal at the right edge: vertical", 319, 3, 900, 5, column(319, 3, 5)},
        {"one point", 17, 6, 17, 6, {{17, 6}}},
        {"far outside is clipped, never wrapped", INT32_MIN, 2, INT32_MAX, 2, row(2, 0, 319)},
        {"far outside vertically", 5, INT32_MIN, 5, INT32_MAX, column(5, 0, 11)},
        {"wholly outside at the extremes", INT32_MIN, INT32_MIN, INT32_MIN, INT32_MAX, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.rule);
        Canvas canvas(320, 12, 4);
        std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0xEE);
        Canvas expected = canvas;
        for (const Pixel& p : c.drawn) {
            expected.bytes[static_cast<std::size_t>((p.y + 4) * canvas.stride + p.x + 4)] = 0x5A;
        }
        canvas.Install(0, nullptr);
        DrawHVLine(c.x1, c.y1, c.x2, c.y2, 0x5A);
        EXPECT_EQ(canvas.bytes, expected.bytes);
    }
}

TEST(DrawHVLine, ColourAndMixing) {
    std::vector<std::uint8_t> mix(MIX_TABLE_SIZE);
    for (std::size_t i = 0; i < MIX_TABLE_SIZE; ++i)
        mix[i] = static_cast<std::uint8_t>((i >> 8) * 3 + (i & 0xFF) * 5 + 1);
    struct MixCase {
        const char* rule;
        std::uint16_t flags;
        std::uint32_t colour;
        std::uint8_t expected; // over a pixel holding 7
    };
    const MixCase cases[] = {
        {"only the low 8 bits of the colour count", 0, 0x1FF, 0xFF},
        {"DRAW_MIX_SRC_ROW: row new, column old", DRAW_MIX_SRC_ROW, 200, mix[200 * 256 + 7]},
        {"both flags: DRAW_MIX_SRC_ROW wins", DRAW_MIX_SRC_ROW | DRAW_MIX_DST_ROW, 200,
         mix[200 * 256 + 7]},
        {"DRAW_MIX_DST_ROW alone: row old, column new", DRAW_MIX_DST_ROW, 200, mix[7 * 256 + 200]},
        {"mixing uses the low 8 bits too", DRAW_MIX_DST_ROW, 0x3C8, mix[7 * 256 + 200]},
        {"orientation flags do not affect lines", DRAW_MIRROR_X | DRAW_FLIP_Y, 200, 200},
    };
    for (const MixCase& c : cases) {
        for (const bool vertical : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.rule << (vertical ? ", vertical" : ", horizontal"));
            Canvas canvas(8, 8, 2);
            std::fill(canvas.bytes.begin(), canvas.bytes.end(), 7);
            canvas.Install(c.flags, mix.data());
            if (vertical) {
                DrawHVLine(3, 1, 3, 5, c.colour);
            } else {
                DrawHVLine(1, 3, 5, 3, c.colour);
            }
            for (std::int32_t i = 1; i <= 5; ++i) {
                EXPECT_EQ(vertical ? canvas.At(3, i) : canvas.At(i, 3), c.expected) << i;
            }
            EXPECT_EQ(vertical ? canvas.At(3, 6) : canvas.At(6, 3), 7) << "past the end";
        }
    }
}

TEST(DrawHVLine, EmptyWindowDrawsNothing) {
    // The most negative sizes too: the clip must not wrap around below them.
    for (const auto& size : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 5},
                             std::pair{INT32_MIN, 5}, std::pair{5, INT32_MIN}}) {
        SCOPED_TRACE(testing::Message() << size.first << "x" << size.second);
        Canvas canvas(8, 8, 2);
        std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0xEE);
        const auto before = canvas.bytes;
        canvas.Install(0, nullptr);
        screenState.windowWidth = size.first;
        screenState.windowHeight = size.second;
        DrawHVLine(-10, 0, 10, 0, 1);
        DrawHVLine(0, -10, 0, 10, 1);
        EXPECT_EQ(canvas.bytes, before);
    }
}

// Random end points around and far outside windows of several sizes, every
// mixing mode, both pitch signs.
TEST(DrawHVLine, MatchesReferenceOnRandomLines) {
    std::mt19937 rng(31337);
    const auto mix = graphics_reference::RandomMixTable(rng);
    struct WindowSize {
        std::int32_t width, height;
    };
    const WindowSize windows[] = {{1, 1}, {1, 9}, {9, 1}, {64, 48}, {640, 20}};
    const auto coordinate = [&](std::int32_t length) {
        switch (rng() % 8) {
        case 0: return static_cast<std::int32_t>(rng()); // anywhere in the 32-bit range
        case 1: return std::int32_t{-1};
        case 2: return length;
        default: return static_cast<std::int32_t>(rng() % (length + 20)) - 10;
        }
    };
    for (const WindowSize& window : windows) {
        for (int n = 0; n < 400; ++n) {
            Canvas canvas(window.width, window.height, 3 + n % 4, n % 3 == 0);
            canvas.Fill(rng);
            const std::int32_t x1 = coordinate(window.width);
            const std::int32_t y1 = coordinate(window.height);
            // Half the lines share one coordinate, as lines from callers do.
            const std::int32_t x2 = n % 4 == 0 ? x1 : coordinate(window.width);
            const std::int32_t y2 = n % 4 == 1 ? y1 : coordinate(window.height);
            const auto flags = static_cast<std::uint16_t>(rng() % 16);
            const auto colour = static_cast<std::uint32_t>(rng());
            SCOPED_TRACE(testing::Message()
                         << window.width << "x" << window.height << ": (" << x1 << ", " << y1
                         << ")-(" << x2 << ", " << y2 << ") flags " << flags);
            Canvas expected = canvas;
            expected.Install(flags, mix.data());
            graphics_reference::DrawHVLine(screenState, x1, y1, x2, y2, colour);
            canvas.Install(flags, mix.data());
            DrawHVLine(x1, y1, x2, y2, colour);
            ASSERT_EQ(canvas.bytes, expected.bytes);
        }
    }
}

} // namespace

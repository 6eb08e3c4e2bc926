// The sprite renderer against the pixel-by-pixel reference, its copy tables
// byte for byte, the rules of its data format, and the encoder and validator.
#include "graphics/graphics.h"
#include "tests/graphics/graphics_reference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using graphics_reference::Canvas;

// Draws with DrawSprite and with the reference on copies of the same canvas
// and reports the first byte of the buffer where they differ.
testing::AssertionResult MatchesReference(Canvas canvas, std::int32_t x, std::int32_t y,
                                          const SpriteRecord& sprite, std::uint16_t flags,
                                          const std::uint8_t* mix) {
    Canvas expected = canvas;
    expected.Install(flags, mix);
    graphics_reference::DrawSprite(screenState, x, y, sprite);
    canvas.Install(flags, mix);
    DrawSprite(x, y, &sprite);
    for (std::size_t i = 0; i < canvas.bytes.size(); ++i) {
        if (canvas.bytes[i] != expected.bytes[i]) {
            const std::int32_t row = static_cast<std::int32_t>(i) / canvas.stride;
            const std::int32_t col = static_cast<std::int32_t>(i) % canvas.stride;
            return testing::AssertionFailure()
                   << "buffer byte " << i << " (buffer row " << row << ", column " << col
                   << "; window " << canvas.width << "x" << canvas.height << " at margin "
                   << canvas.margin << (canvas.negativePitch ? ", negative pitch" : "") << ") is "
                   << int{canvas.bytes[i]} << ", expected " << int{expected.bytes[i]};
        }
    }
    return testing::AssertionSuccess();
}

// A coordinate for a sprite of `size` along a window axis of `length`, in one
// of the six relations the clipping tells apart.
std::int32_t Place(std::mt19937& rng, int relation, std::int32_t size, std::int32_t length) {
    auto pick = [&](std::int32_t low, std::int32_t high) {
        return std::uniform_int_distribution<std::int32_t>(low, high)(rng);
    };
    switch (relation) {
    case 0: return -size - pick(0, 3); // wholly before
    case 1:
        if (size > 1) return pick(-(size - 1), -1);
        break; // over the start
    case 2:
        if (size <= length) return pick(0, length - size);
        break; // inside
    case 3:
        if (size > 1) return pick(std::max(length - size + 1, 0), length - 1);
        break;                          // end
    case 4: return length + pick(0, 3); // wholly after
    case 5:
        if (size >= length + 2) return pick(length - size + 1, -1);
        break; // over both
    }
    return pick(-size - 2, length + 2);
}

// Random sprites of every size, at positions in every relation to each side
// of windows of several sizes, with all sixteen flag combinations, on
// canvases that differ in alignment and pitch sign.
TEST(DrawSprite, MatchesReferenceOnRandomSprites) {
    std::mt19937 rng(20261208);
    const auto mix = graphics_reference::RandomMixTable(rng);
    int sprites = 20;
    if (const char* more = std::getenv("GRAPHICS_TEST_SPRITES")) sprites = std::atoi(more);
    struct WindowSize {
        std::int32_t width, height;
    };
    const WindowSize windows[] = {{1, 1}, {7, 5}, {64, 48}, {320, 200}};
    for (int n = 0; n < sprites; ++n) {
        std::uniform_int_distribution<int> size(1, 255);
        // Every third sprite is small, so that small windows see the fast path.
        const auto w = static_cast<std::uint8_t>(n % 3 == 0 ? size(rng) % 12 + 1 : size(rng));
        const auto h = static_cast<std::uint8_t>(n % 3 == 1 ? size(rng) % 12 + 1 : size(rng));
        const auto data = graphics_reference::RandomSpriteData(rng, w, h);
        const SpriteRecord sprite{data.data(), w, h};
        for (const WindowSize& window : windows) {
            Canvas canvas(window.width, window.height, 3 + static_cast<std::int32_t>(rng() % 5),
                          rng() % 4 == 0, static_cast<std::int32_t>(rng() % 4));
            canvas.Fill(rng);
            for (std::uint16_t flags = 0; flags < 16; ++flags) {
                for (int relation = 0; relation < 6; ++relation) {
                    const std::int32_t x = Place(rng, relation, w, window.width);
                    const std::int32_t y = Place(rng, (relation + flags + n) % 6, h, window.height);
                    SCOPED_TRACE(testing::Message()
                                 << "sprite " << n << " (" << int{w} << "x" << int{h} << ") at ("
                                 << x << ", " << y << "), flags " << flags);
                    ASSERT_TRUE(MatchesReference(canvas, x, y, sprite, flags, mix.data()));
                }
            }
        }
    }
}

// A one-row sprite of one literal run of n pixels, valued 1 .. n.
std::vector<std::uint8_t> OneLiteralRun(std::int32_t n) {
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(n)};
    for (std::int32_t i = 0; i < n; ++i) data.push_back(static_cast<std::uint8_t>(i + 1));
    data.push_back(0x00);
    return data;
}

// Every literal run length a sprite can hold, starting at every destination
// address modulo 4, normal and mirrored: exactly its bytes change.
TEST(DrawSprite, EveryLiteralRunLengthAtEveryAlignment) {
    std::mt19937 rng(7);
    for (std::int32_t n = 1; n <= 127; ++n) {
        const std::vector<std::uint8_t> data = OneLiteralRun(n);
        const SpriteRecord sprite{data.data(), static_cast<std::uint8_t>(n), 1};
        for (std::uint16_t flags : {std::uint16_t{0}, DRAW_MIRROR_X}) {
            for (std::int32_t x = 0; x < 4; ++x) {
                Canvas canvas(140, 1, 4);
                canvas.Fill(rng);
                SCOPED_TRACE(testing::Message()
                             << "run " << n << " at x " << x << ", flags " << flags);
                ASSERT_TRUE(MatchesReference(canvas, x, 0, sprite, flags, nullptr));
            }
        }
    }
}

// The clipped path writes what is left of a literal run after a cut at
// either side, for every run length and a spread of cuts: exactly the
// visible pixels change, whatever the count left over from whole passes.
TEST(DrawSprite, EveryClippedRunLengthAtEitherSide) {
    std::mt19937 rng(11);
    for (std::int32_t n = 2; n <= 127; ++n) {
        const std::vector<std::uint8_t> data = OneLiteralRun(n);
        const SpriteRecord sprite{data.data(), static_cast<std::uint8_t>(n), 1};
        for (const std::int32_t cut : {1, 2, 5, 6, 7, n / 2, n - 1}) {
            if (cut < 1 || cut >= n) continue;
            for (std::uint16_t flags : {std::uint16_t{0}, DRAW_MIRROR_X}) {
                for (const bool left : {true, false}) {
                    SCOPED_TRACE(testing::Message()
                                 << "run " << n << " cut by " << cut << " at the "
                                 << (left ? "left" : "right") << ", flags " << flags);
                    // Cut at the left: x = -cut in a wide window. Cut at the
                    // right: the window ends cut columns before the run does.
                    Canvas canvas(left ? 140 : 9 + n - cut, 1, 4);
                    canvas.Fill(rng);
                    ASSERT_TRUE(
                        MatchesReference(canvas, left ? -cut : 9, 0, sprite, flags, nullptr));
                }
            }
        }
    }
}

// Rows made of many runs, where the copy sequences hand over from run to run
// the most: each row drawn at every address modulo 4 inside the window and
// cut at either side, both directions, against the reference.
TEST(DrawSprite, RowsOfManyRuns) {
    struct Row {
        const char* rule;
        std::vector<std::uint8_t> data;
    };
    const auto repeat = [](std::vector<std::uint8_t> unit, std::int32_t times,
                           std::vector<std::uint8_t> tail) {
        std::vector<std::uint8_t> data;
        for (std::int32_t i = 0; i < times; ++i) data.insert(data.end(), unit.begin(), unit.end());
        data.insert(data.end(), tail.begin(), tail.end());
        data.push_back(0x00);
        return data;
    };
    const Row rows[] = {
        {"255 one-pixel literal runs back to back", repeat({0x01, 0x33}, 255, {})},
        {"one-pixel literal and transparent runs in turn",
         repeat({0x01, 0x44, 0xFF}, 127, {0x01, 0x45})},
        {"literal runs of 4 to 17, each after one transparent column",
         [] {
             std::vector<std::uint8_t> data;
             for (std::uint8_t n = 4; n <= 17; ++n) {
                 data.push_back(0xFF);
                 data.push_back(n);
                 for (std::uint8_t i = 0; i < n; ++i)
                     data.push_back(static_cast<std::uint8_t>(n + i));
             }
             data.push_back(0x00);
             return data;
         }()},
        {"long literal runs between long transparent runs",
         repeat({0x80}, 1, {0x3F, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,  14, 15, 16,
                            17,   18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30,  31, 32, 33,
                            34,   35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47,  48, 49, 50,
                            51,   52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 0xC0})},
    };
    std::mt19937 rng(5);
    for (const Row& row : rows) {
        const SpriteRecord sprite{row.data.data(), 255, 1};
        ASSERT_EQ(ValidateSpriteData(row.data.data(), row.data.size(), 255, 1), 1) << row.rule;
        for (std::uint16_t flags : {std::uint16_t{0}, DRAW_MIRROR_X}) {
            for (const std::int32_t x : {0, 1, 2, 3, -7, 40}) {
                SCOPED_TRACE(testing::Message()
                             << row.rule << " at x " << x << ", flags " << flags);
                Canvas canvas(x == 40 ? 200 : 260, 1, 4);
                canvas.Fill(rng);
                ASSERT_TRUE(MatchesReference(canvas, x, 0, sprite, flags, nullptr));
            }
        }
    }
}

// The tables directly, all 159 rows: rows past 127 are never reached from
// sprite data but must be as sound as the rest. Each run is followed by the
// row's 0x00, so the entry returns just past it.
TEST(RunCopyTables, EveryRowAndAlignmentWritesExactlyItsBytes) {
    constexpr std::size_t guard = 8;
    alignas(4) std::uint8_t buffer[guard + RUN_COPY_ROWS + guard + 4];
    std::uint8_t src[RUN_COPY_ROWS + 1];
    for (const bool mirror : {false, true}) {
        const RunCopyTableType& table = mirror ? MirroredRunCopyTable : RunCopyTable;
        for (std::uint32_t n = 1; n <= RUN_COPY_ROWS; ++n) {
            for (std::size_t i = 0; i < RUN_COPY_ROWS; ++i)
                src[i] = static_cast<std::uint8_t>(0x40 + i);
            src[n] = 0x00; // the row ends after the run
            for (std::size_t align = 0; align < 4; ++align) {
                SCOPED_TRACE(testing::Message() << (mirror ? "mirrored" : "normal") << " row " << n
                                                << ", address % 4 = " << align);
                std::memset(buffer, 0xEE, sizeof buffer);
                // The lowest byte written sits at guard + align (normal) or
                // its highest at guard + align + n - 1 (mirrored, rounded so
                // the address of that byte has the wanted remainder).
                const std::size_t low = guard + align;
                std::uint8_t* dst = mirror ? buffer + low + n - 1 : buffer + low;
                const std::size_t want = mirror ? (align + n - 1) % 4 : align;
                const std::uint8_t* end =
                    table[n - 1][reinterpret_cast<std::uintptr_t>(dst) & 3](dst, src, n);
                ASSERT_EQ(reinterpret_cast<std::uintptr_t>(dst) & 3, want);
                ASSERT_EQ(end, src + n + 1) << "returns past the row's 0x00";
                for (std::size_t i = 0; i < sizeof buffer; ++i) {
                    std::uint8_t expected = 0xEE;
                    if (i >= low && i < low + n) {
                        expected = mirror ? src[low + n - 1 - i] : src[i - low];
                    }
                    ASSERT_EQ(buffer[i], expected) << "byte " << i;
                }
            }
        }
    }
}

// An entry goes on with the rest of the row: each further literal run lands
// after the transparent columns before it, in the entry's direction, and the
// result is the address past the row's 0x00.
TEST(RunCopyTables, EntryGoesOnToTheRowEnd) {
    struct Row {
        const char* rule;
        std::vector<std::uint8_t> rest; // after the first run: control bytes and data
        std::vector<std::int32_t> at;   // columns from the first run's start, -1: untouched
    };
    // First run: 5 bytes 0x01..0x05 at columns 0..4 (mirrored: 0..-4).
    const Row rows[] = {
        {"the 0x00 right after the run ends the row", {0x00}, {0, 1, 2, 3, 4, -1}},
        {"a literal run right after the run goes on from the next column",
         {0x02, 0x06, 0x07, 0x00},
         {0, 1, 2, 3, 4, 5, 6, -1}},
        {"transparent runs move on before the next literal run",
         {0xFE, 0xFF, 0x01, 0x06, 0x00},
         {0, 1, 2, 3, 4, -1, -1, -1, 5, -1}},
        {"a long run after a short one takes the long sequence",
         {0xFF, 0x28, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12,
          0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21,
          0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x00},
         {}},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> data{0x01, 0x02, 0x03, 0x04, 0x05};
        data.insert(data.end(), row.rest.begin(), row.rest.end());
        std::vector<std::int32_t> at = row.at;
        if (at.empty()) { // the long row: 5 bytes, a transparent column, 40 bytes
            for (std::int32_t i = 0; i < 5; ++i) at.push_back(i);
            at.push_back(-1);
            for (std::int32_t i = 5; i < 45; ++i) at.push_back(i);
            at.push_back(-1);
        }
        for (const bool mirror : {false, true}) {
            for (std::size_t align = 0; align < 4; ++align) {
                SCOPED_TRACE(testing::Message() << row.rule << (mirror ? ", mirrored" : "")
                                                << ", first address % 4 = " << align);
                alignas(4) std::uint8_t buffer[128];
                std::memset(buffer, 0xEE, sizeof buffer);
                std::uint8_t* dst = buffer + (mirror ? 96 : 8) + align;
                const RunCopyTableType& table = mirror ? MirroredRunCopyTable : RunCopyTable;
                const std::uint8_t* end = table[4][align](dst, data.data(), 5);
                EXPECT_EQ(end, data.data() + data.size()) << "returns past the row's 0x00";
                std::uint8_t expected[sizeof buffer];
                std::memset(expected, 0xEE, sizeof expected);
                for (std::size_t col = 0; col < at.size(); ++col) {
                    if (at[col] < 0) continue;
                    const std::ptrdiff_t offset =
                        mirror ? -static_cast<std::ptrdiff_t>(col) : std::ptrdiff_t(col);
                    expected[dst - buffer + offset] = static_cast<std::uint8_t>(at[col] + 1);
                }
                EXPECT_EQ(0, std::memcmp(buffer, expected, sizeof buffer));
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Named cases on a one-row sprite, width 6: two transparent columns, then
// 0x11 0x22 0x33, then one transparent column.

const std::vector<std::uint8_t> kSixWide{0xFE, 0x03, 0x11, 0x22, 0x33, 0x00};

struct Pixel {
    std::int32_t x, y;
    std::uint8_t value;
};

struct NamedCase {
    const char* rule;
    std::int32_t windowWidth, windowHeight;
    std::int32_t x, y;
    std::uint16_t flags;
    std::vector<Pixel> drawn; // every other byte of the buffer stays as it was
};

void CheckNamedCase(const NamedCase& c, const std::vector<std::uint8_t>& data, std::uint8_t width,
                    std::uint8_t height) {
    SCOPED_TRACE(c.rule);
    Canvas canvas(c.windowWidth, c.windowHeight, 4);
    std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0xEE);
    Canvas expected = canvas;
    for (const Pixel& p : c.drawn) {
        const std::size_t at = static_cast<std::size_t>((p.y + 4) * canvas.stride + p.x + 4);
        expected.bytes[at] = p.value;
    }
    // An exactly sized copy: a read past the data is a fault under ASan.
    std::vector<std::uint8_t> exact(data);
    const SpriteRecord sprite{exact.data(), width, height};
    canvas.Install(c.flags, nullptr);
    DrawSprite(c.x, c.y, &sprite);
    EXPECT_EQ(canvas.bytes, expected.bytes);
}

TEST(DrawSprite, NamedClippingAndOrientationCases) {
    const NamedCase cases[] = {
        {"inside: literals land after the transparent run, trailing column untouched",
         32,
         8,
         10,
         5,
         0,
         {{12, 5, 0x11}, {13, 5, 0x22}, {14, 5, 0x33}}},
        {"mirrored inside: the run lands right to left from column x + w - 1",
         32,
         8,
         10,
         5,
         DRAW_MIRROR_X,
         {{13, 5, 0x11}, {12, 5, 0x22}, {11, 5, 0x33}}},
        {"left clipping splits the literal run", 32, 8, -3, 0, 0, {{0, 0, 0x22}, {1, 0, 0x33}}},
        {"right clipping cuts the literal run", 14, 8, 10, 0, 0, {{12, 0, 0x11}, {13, 0, 0x22}}},
        {"mirrored right clipping skips two data columns",
         14,
         8,
         10,
         0,
         DRAW_MIRROR_X,
         {{13, 0, 0x11}, {12, 0, 0x22}, {11, 0, 0x33}}},
        {"mirrored left clipping keeps the literals that land inside",
         32,
         8,
         -2,
         0,
         DRAW_MIRROR_X,
         {{1, 0, 0x11}, {0, 0, 0x22}}},
        {"flip of a one-row sprite changes nothing",
         32,
         8,
         0,
         3,
         DRAW_FLIP_Y,
         {{2, 3, 0x11}, {3, 3, 0x22}, {4, 3, 0x33}}},
        {"x = W draws nothing", 14, 8, 14, 0, 0, {}},
        {"x + w = 0 draws nothing", 14, 8, -6, 0, 0, {}},
        {"mirrored x + w = 0 draws nothing", 14, 8, -6, 0, DRAW_MIRROR_X, {}},
        {"y = H draws nothing", 14, 8, 0, 8, 0, {}},
        {"y + h = 0 draws nothing", 14, 8, 0, -1, DRAW_FLIP_Y, {}},
        {"far outside clips instead of wrapping", 14, 8, INT32_MAX, INT32_MAX, DRAW_MIRROR_X, {}},
        {"far outside to the left clips instead of wrapping", 14, 8, INT32_MIN, INT32_MIN, 0, {}},
        {"window pixels fill exactly: one-pixel window", 1, 1, -2, 0, 0, {{0, 0, 0x11}}},
    };
    for (const NamedCase& c : cases) CheckNamedCase(c, kSixWide, 6, 1);
}

TEST(DrawSprite, ZeroWidthOrHeightReadsNothing) {
    Canvas canvas(16, 16, 4);
    std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0xEE);
    const auto before = canvas.bytes;
    canvas.Install(0, nullptr);
    // Null data: any read would fault.
    const SpriteRecord noWidth{nullptr, 0, 4};
    const SpriteRecord noHeight{nullptr, 4, 0};
    DrawSprite(0, 0, &noWidth);
    DrawSprite(0, 0, &noHeight);
    EXPECT_EQ(canvas.bytes, before);
}

// Four rows, one pixel each: row r holds the value 0xA0 + r.
const std::vector<std::uint8_t> kFourRows{0x01, 0xA0, 0x00, 0x01, 0xA1, 0x00,
                                          0x01, 0xA2, 0x00, 0x01, 0xA3, 0x00};

TEST(DrawSprite, VerticalClippingPassesOverAndStopsReading) {
    const NamedCase cases[] = {
        {"y = -2: data rows 0 and 1 are passed over, row 2 lands on row 0",
         4,
         4,
         0,
         -2,
         0,
         {{0, 0, 0xA2}, {0, 1, 0xA3}}},
        {"flipped at y = 0 with H = 2: rows 0 and 1 passed over, row 2 on row 1",
         4,
         2,
         0,
         0,
         DRAW_FLIP_Y,
         {{0, 1, 0xA2}, {0, 0, 0xA3}}},
        {"flipped at y = -2: the last data rows would land above and are never drawn",
         4,
         4,
         0,
         -2,
         DRAW_FLIP_Y,
         {{0, 1, 0xA0}, {0, 0, 0xA1}}},
        {"flipped and mirrored, clipped at the bottom",
         4,
         3,
         3,
         1,
         DRAW_FLIP_Y | DRAW_MIRROR_X,
         {{3, 2, 0xA2}, {3, 1, 0xA3}}},
    };
    for (const NamedCase& c : cases) CheckNamedCase(c, kFourRows, 1, 4);

    // With H = 2 at y = 0 only rows 0 and 1 are read: the data after them is
    // cut off (and, under ASan, lies past the allocation).
    const std::vector<std::uint8_t> firstTwoRows(kFourRows.begin(), kFourRows.begin() + 6);
    CheckNamedCase({"rows after the last visible row are not read",
                    4,
                    2,
                    0,
                    0,
                    0,
                    {{0, 0, 0xA0}, {0, 1, 0xA1}}},
                   firstTwoRows, 1, 4);
    CheckNamedCase({"flipped at y = -2: rows landing above the window are not read",
                    4,
                    4,
                    0,
                    -2,
                    DRAW_FLIP_Y,
                    {{0, 1, 0xA0}, {0, 0, 0xA1}}},
                   firstTwoRows, 1, 4);
}

TEST(DrawSprite, LongRunControlBytes) {
    // Row 0: 0x80 moves 128 columns, then 0x7F carries 127 bytes (255 in all).
    // Row 1: 0xFF moves one column.
    std::vector<std::uint8_t> data{0x80, 0x7F};
    for (int i = 0; i < 127; ++i) data.push_back(static_cast<std::uint8_t>(i));
    data.insert(data.end(), {0x00, 0xFF, 0x01, 0x55, 0x00});
    NamedCase c{"0x80 is 128 columns, 0x7F 127 bytes, 0xFF one column", 256, 2, 0, 0, 0, {}};
    for (int i = 0; i < 127; ++i) c.drawn.push_back({128 + i, 0, static_cast<std::uint8_t>(i)});
    c.drawn.push_back({1, 1, 0x55});
    CheckNamedCase(c, data, 255, 2);
}

TEST(DrawSprite, MixingModes) {
    // A table whose entries tell row from column.
    std::vector<std::uint8_t> mix(MIX_TABLE_SIZE);
    for (std::size_t i = 0; i < MIX_TABLE_SIZE; ++i)
        mix[i] = static_cast<std::uint8_t>((i >> 8) * 3 + (i & 0xFF) * 5 + 1);
    const auto entry = [&](int row, int col) {
        return mix[static_cast<std::size_t>(row * 256 + col)];
    };
    struct MixCase {
        const char* rule;
        std::uint16_t flags;
        std::uint8_t expected; // for sprite pixel 0x22 over buffer byte 0x07
    };
    const MixCase cases[] = {
        {"DRAW_MIX_SRC_ROW: row new, column old", DRAW_MIX_SRC_ROW, entry(0x22, 0x07)},
        {"both flags: DRAW_MIX_SRC_ROW wins", DRAW_MIX_SRC_ROW | DRAW_MIX_DST_ROW,
         entry(0x22, 0x07)},
        {"DRAW_MIX_DST_ROW alone: row old, column new", DRAW_MIX_DST_ROW, entry(0x07, 0x22)},
        {"no mixing flag: the pixel is stored", 0, 0x22},
        {"other flag bits are ignored", 0xFFF0, 0x22},
    };
    const std::vector<std::uint8_t> data{0xFF, 0x01, 0x22, 0x00}; // one transparent, one literal
    const SpriteRecord sprite{data.data(), 3, 1};
    for (const MixCase& c : cases) {
        for (const std::int32_t x : {0, -1}) { // fast and clipped paths
            SCOPED_TRACE(testing::Message() << c.rule << ", x " << x);
            Canvas canvas(8, 1, 4);
            std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0x07);
            canvas.Install(c.flags, mix.data());
            DrawSprite(x, 0, &sprite);
            EXPECT_EQ(canvas.At(x + 1, 0), c.expected);
            if (x == 0) {
                EXPECT_EQ(canvas.At(0, 0), 0x07) << "under the transparent run";
            }
            EXPECT_EQ(canvas.At(x + 2, 0), 0x07) << "after the row's last run";
        }
    }
}

// ---------------------------------------------------------------------------
// Encoder and validator

// Decodes sprite data into a bitmap, `background` where transparent.
std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& data, std::uint8_t width,
                                 std::uint8_t height, std::uint8_t background) {
    Canvas canvas(width, height, 0);
    std::fill(canvas.bytes.begin(), canvas.bytes.end(), background);
    canvas.Install(0, nullptr);
    const SpriteRecord sprite{data.data(), width, height};
    graphics_reference::DrawSprite(screenState, 0, 0, sprite);
    return canvas.bytes;
}

TEST(EncodeSprite, RoundTripsAndSplitsLongRuns) {
    std::mt19937 rng(99);
    for (int n = 0; n < 200; ++n) {
        const auto w = static_cast<std::uint8_t>(rng() % 255 + 1);
        const auto h = static_cast<std::uint8_t>(rng() % 8 + 1);
        const std::uint8_t key = static_cast<std::uint8_t>(rng());
        // Long stretches of either kind so that both split limits are hit.
        std::vector<std::uint8_t> bitmap(std::size_t{w} * h);
        bool transparent = rng() % 2 == 0;
        for (std::size_t i = 0; i < bitmap.size(); ++i) {
            if (rng() % (n % 2 ? 4 : 150) == 0) transparent = !transparent;
            bitmap[i] = transparent ? key : static_cast<std::uint8_t>(key + 1 + rng() % 255);
        }
        SCOPED_TRACE(testing::Message() << "bitmap " << n << " " << int{w} << "x" << int{h});
        const std::size_t size = EncodeSprite(bitmap.data(), w, h, w, key, nullptr, 0);
        ASSERT_LE(size, SpriteDataBound(w, h));
        std::vector<std::uint8_t> data(size);
        ASSERT_EQ(EncodeSprite(bitmap.data(), w, h, w, key, data.data(), data.size()), size);
        EXPECT_EQ(ValidateSpriteData(data.data(), data.size(), w, h), 1);
        EXPECT_EQ(Decode(data, w, h, key), bitmap);
        // Every run obeys the limits of its control byte; rows end without a
        // trailing transparent run.
        std::size_t pos = 0;
        for (int r = 0; r < h; ++r) {
            std::int32_t last = 0;
            for (std::int32_t c; (c = static_cast<std::int8_t>(data[pos++])) != 0; last = c) {
                if (c > 0) pos += static_cast<std::size_t>(c);
            }
            EXPECT_GE(last, 0) << "row " << r << " ends in a transparent run";
        }
    }
}

TEST(EncodeSprite, TooSmallBufferIsLeftUntouched) {
    const std::uint8_t bitmap[4] = {1, 2, 3, 4};
    std::uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(EncodeSprite(bitmap, 4, 1, 4, 0, out, sizeof out), 6u);
    for (std::uint8_t b : out) EXPECT_EQ(b, 0xEE);
}

TEST(ValidateSpriteData, RejectsWhatTheRendererCannotTrust) {
    struct Case {
        const char* rule;
        std::vector<std::uint8_t> data;
        std::uint8_t width, height;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"runs covering exactly the width pass", {0x02, 1, 2, 0xFE, 0x00}, 4, 1, 1},
        {"a literal run past the width fails", {0x05, 1, 2, 3, 4, 5, 0x00}, 4, 1, -1},
        {"a transparent run past the width fails", {0x01, 9, 0xFC, 0x00}, 4, 1, -1},
        {"0x80 covers 128 columns", {0x80, 0x00}, 127, 1, -1},
        {"0x80 fits a 128-wide sprite", {0x80, 0x00}, 128, 1, 1},
        {"a row without its 0x00 fails", {0x01, 7}, 4, 1, -1},
        {"literal bytes cut off by the end of the data fail", {0x03, 7, 7}, 4, 1, -1},
        {"fewer rows than the height fail", {0x00, 0x00}, 4, 3, -1},
        {"empty rows are single zero bytes", {0x00, 0x00, 0x00}, 4, 3, 1},
        {"bytes after the last row are ignored", {0x00, 0x42, 0x42}, 4, 1, 1},
        {"zero height reads nothing and passes", {}, 4, 0, 1},
        {"zero width reads nothing and passes", {}, 0, 4, 1},
        {"empty data with rows to read fails", {}, 4, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        // An exactly sized copy so that ASan reports any read past the data.
        std::vector<std::uint8_t> exact(c.data);
        EXPECT_EQ(ValidateSpriteData(exact.data(), exact.size(), c.width, c.height), c.expected);
    }
}

} // namespace

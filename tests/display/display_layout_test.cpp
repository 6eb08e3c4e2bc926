// Where the displays show the picture, and the mouse in it: the whole-number
// scale, the centring, the 4:3 correction of 16:10 pictures, the mapping of
// client points back to picture pixels, and the buffered presses.
#include "display/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

struct Fit {
    std::int32_t left, top, width, height;
};

TEST(FitPicture, TheLargestWholeFactorCentred) {
    const struct {
        const char* rule;
        std::int32_t pictureWidth, pictureHeight, areaWidth, areaHeight;
        std::uint32_t options;
        Fit expected;
    } cases[] = {
        {"the picture's own size", 320, 200, 320, 200, 0, {0, 0, 320, 200}},
        {"twice, exactly", 320, 200, 640, 400, 0, {0, 0, 640, 400}},
        {"1600 x 1200: 5 times, black above and below",
         320,
         200,
         1600,
         1200,
         0,
         {0, 100, 1600, 1000}},
        {"a window made larger: 3 times, centred both ways",
         320,
         200,
         1000,
         700,
         0,
         {20, 50, 960, 600}},
        {"an odd margin is rounded down", 320, 200, 643, 401, 0, {1, 0, 640, 400}},
        {"1920 x 1080: 5 times (height bounds)", 320, 200, 1920, 1080, 0, {160, 40, 1600, 1000}},
        {"2560 x 1440: 7 times", 320, 200, 2560, 1440, 0, {160, 20, 2240, 1400}},
        {"640 x 480 on 1600 x 1200: twice", 640, 480, 1600, 1200, 0, {160, 120, 1280, 960}},
        {"smaller than the picture: once, clipped on both sides",
         320,
         200,
         300,
         100,
         0,
         {-10, -50, 320, 200}},
        {"a minimised window: once", 320, 200, 0, 0, 0, {-160, -100, 320, 200}},
        {"4:3 on 1600 x 1200: 5 across, 6 down",
         320,
         200,
         1600,
         1200,
         DISPLAY_ASPECT_4_3,
         {0, 0, 1600, 1200}},
        {"4:3 on 1920 x 1080: 4 across, 4.8 down",
         320,
         200,
         1920,
         1080,
         DISPLAY_ASPECT_4_3,
         {320, 60, 1280, 960}},
        {"4:3 on 2560 x 1440: 6 across, 7.2 down",
         320,
         200,
         2560,
         1440,
         DISPLAY_ASPECT_4_3,
         {320, 0, 1920, 1440}},
        {"4:3 of 640 x 400 on 1600 x 1200: twice across, 2.4 down",
         640,
         400,
         1600,
         1200,
         DISPLAY_ASPECT_4_3,
         {160, 120, 1280, 960}},
        {"4:3 of 640 x 400 on 3200 x 2400: 5 across, 6 down",
         640,
         400,
         3200,
         2400,
         DISPLAY_ASPECT_4_3,
         {0, 0, 3200, 2400}},
        {"4:3 asked of a 4:3 picture: no correction",
         640,
         480,
         1600,
         1200,
         DISPLAY_ASPECT_4_3,
         {160, 120, 1280, 960}},
        {"4:3 with no room for 320 x 240: no correction",
         320,
         200,
         320,
         200,
         DISPLAY_ASPECT_4_3,
         {0, 0, 320, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const DisplayLayout layout =
            FitPicture(c.pictureWidth, c.pictureHeight, c.areaWidth, c.areaHeight, c.options);
        EXPECT_EQ(layout.pictureWidth, c.pictureWidth);
        EXPECT_EQ(layout.pictureHeight, c.pictureHeight);
        EXPECT_EQ(layout.left, c.expected.left);
        EXPECT_EQ(layout.top, c.expected.top);
        EXPECT_EQ(layout.width, c.expected.width);
        EXPECT_EQ(layout.height, c.expected.height);
    }
}

TEST(FitPicture, RowsAndColumnsCoverTheScreenWithoutGapsOrOverlaps) {
    const struct {
        const char* rule;
        std::int32_t areaWidth, areaHeight;
        std::uint32_t options;
        bool even;
        std::int32_t shortest, tallest; // screen rows of one picture row
    } cases[] = {
        {"5 times", 1600, 1200, 0, true, 5, 5},
        {"4:3, 6 rows each", 1600, 1200, DISPLAY_ASPECT_4_3, true, 6, 6},
        {"4:3, rows of 4 and 5", 1920, 1080, DISPLAY_ASPECT_4_3, false, 4, 5},
        {"4:3, rows of 7 and 8", 2560, 1440, DISPLAY_ASPECT_4_3, false, 7, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const DisplayLayout layout = FitPicture(320, 200, c.areaWidth, c.areaHeight, c.options);
        EXPECT_EQ(EvenRows(layout), c.even);
        EXPECT_EQ(ScreenRow(layout, 0), layout.top);
        EXPECT_EQ(ScreenRow(layout, 200), layout.top + layout.height);
        EXPECT_EQ(ScreenColumn(layout, 0), layout.left);
        EXPECT_EQ(ScreenColumn(layout, 320), layout.left + layout.width);
        std::int32_t shortest = INT32_MAX, tallest = 0;
        for (std::int32_t y = 0; y < 200; ++y) {
            const std::int32_t rows = ScreenRow(layout, y + 1) - ScreenRow(layout, y);
            shortest = std::min(shortest, rows);
            tallest = std::max(tallest, rows);
        }
        EXPECT_EQ(shortest, c.shortest);
        EXPECT_EQ(tallest, c.tallest);
        for (std::int32_t x = 0; x < 320; ++x)
            ASSERT_EQ(ScreenColumn(layout, x + 1) - ScreenColumn(layout, x), layout.width / 320)
                << x;
    }
}

// ---------------------------------------------------------------------------
// The mouse

TEST(DisplayMouse, ClientPointsBecomePicturePixels) {
    const DisplayLayout five = FitPicture(320, 200, 1600, 1200, 0); // 1600 x 1000 at 0,100
    const DisplayLayout aspect = FitPicture(320, 200, 1600, 1200, DISPLAY_ASPECT_4_3);
    const DisplayLayout uneven = FitPicture(320, 200, 1920, 1080, DISPLAY_ASPECT_4_3);
    const DisplayLayout window = FitPicture(320, 200, 1000, 700, 0); // 960 x 600 at 20,50
    const struct {
        const char* rule;
        const DisplayLayout& layout;
        std::int32_t clientX, clientY, x, y;
    } cases[] = {
        {"the first screen pixel of a picture pixel", five, 800, 600, 160, 100},
        {"the last screen pixel of the same", five, 804, 604, 160, 100},
        {"the next one", five, 805, 605, 161, 101},
        {"the band above the picture: the top row", five, 10, 50, 2, 0},
        {"the band below: the bottom row", five, 1599, 1199, 319, 199},
        {"outside the window (captured): the nearest corner", five, -40, -3000, 0, 0},
        {"4:3: six rows to a picture row", aspect, 803, 605, 160, 100},
        {"4:3: the last screen row", aspect, 1599, 1199, 319, 199},
        {"4:3, rows of 4 and 5: row 1 starts at screen row 4", uneven, 320, 60 + 4, 0, 1},
        {"4:3, rows of 4 and 5: screen row 3 is still row 0", uneven, 320, 60 + 3, 0, 0},
        {"4:3, rows of 4 and 5: the last row", uneven, 1599, 60 + 959, 319, 199},
        {"a window's left border: column 0", window, 5, 300, 0, 83},
        {"a window's right border: the last column", window, 999, 60, 319, 3},
        {"inside a window at 3 times", window, 20 + 3 * 100 + 2, 50 + 3 * 50, 100, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        DisplayMouse mouse = {};
        MouseMoved(&mouse, c.layout, c.clientX, c.clientY);
        EXPECT_EQ(mouse.x, c.x);
        EXPECT_EQ(mouse.y, c.y);
        // The mapping agrees with where the layout draws that pixel.
        if (c.clientX >= c.layout.left && c.clientX < c.layout.left + c.layout.width &&
            c.clientY >= c.layout.top && c.clientY < c.layout.top + c.layout.height) {
            EXPECT_LE(ScreenColumn(c.layout, c.x), c.clientX);
            EXPECT_GT(ScreenColumn(c.layout, c.x + 1), c.clientX);
            EXPECT_LE(ScreenRow(c.layout, c.y), c.clientY);
            EXPECT_GT(ScreenRow(c.layout, c.y + 1), c.clientY);
        }
    }
}

TEST(DisplayMouse, EveryScreenPixelMapsBackToThePixelDrawnThere) {
    for (const std::uint32_t options : {0u, DISPLAY_ASPECT_4_3}) {
        const DisplayLayout layout = FitPicture(320, 200, 1920, 1080, options);
        SCOPED_TRACE(options);
        for (std::int32_t y = 0; y < 200; ++y) {
            for (std::int32_t row = ScreenRow(layout, y); row < ScreenRow(layout, y + 1); ++row) {
                DisplayMouse mouse = {};
                MouseMoved(&mouse, layout, layout.left, row);
                ASSERT_EQ(mouse.y, y) << "screen row " << row;
            }
        }
    }
}

TEST(DisplayMouse, PressesWaitUntilTakenInOrder) {
    const DisplayLayout layout = FitPicture(320, 200, 640, 400, 0);
    DisplayMouse mouse = {};
    MousePress press;
    EXPECT_FALSE(TakeMousePress(&mouse, &press));

    // A click shorter than a frame: down and up before anyone looks.
    MouseButton(&mouse, layout, 100, 60, MOUSE_LEFT, true);
    MouseButton(&mouse, layout, 102, 62, MOUSE_LEFT, false);
    // Another, while the pointer moved in between, and a right press held.
    MouseMoved(&mouse, layout, 300, 300);
    MouseButton(&mouse, layout, 10, 20, MOUSE_LEFT, true);
    MouseButton(&mouse, layout, 400, 20, MOUSE_LEFT, false);
    MouseButton(&mouse, layout, 638, 398, MOUSE_RIGHT, true);
    EXPECT_EQ(mouse.buttons, MOUSE_RIGHT);
    EXPECT_EQ(mouse.x, 319);
    EXPECT_EQ(mouse.y, 199);

    const MousePress expected[] = {
        {50, 30, MOUSE_LEFT}, {5, 10, MOUSE_LEFT}, {319, 199, MOUSE_RIGHT}};
    for (const MousePress& e : expected) {
        ASSERT_TRUE(TakeMousePress(&mouse, &press));
        EXPECT_EQ(press.x, e.x);
        EXPECT_EQ(press.y, e.y);
        EXPECT_EQ(press.button, e.button);
    }
    EXPECT_FALSE(TakeMousePress(&mouse, &press));
    MouseButton(&mouse, layout, 0, 0, MOUSE_RIGHT, false);
    EXPECT_EQ(mouse.buttons, 0);
    EXPECT_FALSE(TakeMousePress(&mouse, &press)); // a release is no press
}

TEST(DisplayMouse, AFullBufferKeepsTheOldestPresses) {
    const DisplayLayout layout = FitPicture(320, 200, 320, 200, 0);
    DisplayMouse mouse = {};
    MousePress press;
    // Around the ring once first, so that the buffer wraps.
    for (std::int32_t i = 0; i < 5; ++i) {
        MouseButton(&mouse, layout, i, 0, MOUSE_LEFT, true);
        ASSERT_TRUE(TakeMousePress(&mouse, &press));
    }
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(MOUSE_PRESSES_KEPT) + 3; ++i) {
        MouseButton(&mouse, layout, i, 1, MOUSE_MIDDLE, true);
        MouseButton(&mouse, layout, i, 1, MOUSE_MIDDLE, false);
    }
    EXPECT_EQ(mouse.pressesLost, 3u);
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(MOUSE_PRESSES_KEPT); ++i) {
        ASSERT_TRUE(TakeMousePress(&mouse, &press)) << i;
        EXPECT_EQ(press.x, i);
        EXPECT_EQ(press.button, MOUSE_MIDDLE);
    }
    EXPECT_FALSE(TakeMousePress(&mouse, &press));
}

} // namespace

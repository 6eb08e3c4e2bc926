// Choosing a record of the display-mode table for the display component: by
// resolution and depth, by mode number, and from the text a player types.
#include "display/display.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

// The position of `mode` in the table, or -1 for null.
int Position(const DisplayModeRecord* mode) {
    return mode == nullptr ? -1 : static_cast<int>(mode - DisplayModeTable);
}

TEST(FindDisplayMode, FindsEveryValidRecordAtItsOwnPosition) {
    for (std::size_t i = 0; i < DISPLAY_MODE_COUNT; ++i) {
        const DisplayModeRecord& mode = DisplayModeTable[i];
        SCOPED_TRACE(mode.name);
        const int expected = mode.bitsPerPixel == 0 ? -1 : static_cast<int>(i);
        EXPECT_EQ(Position(FindDisplayMode(mode.width, mode.height, mode.bitsPerPixel)), expected);
    }
}

TEST(FindDisplayMode, RefusesWhatTheTableDoesNotHold) {
    EXPECT_EQ(Position(FindDisplayMode(320, 200, 32)), -1); // a depth the table lacks
    EXPECT_EQ(Position(FindDisplayMode(200, 320, 8)), -1);  // width and height swapped
    EXPECT_EQ(Position(FindDisplayMode(0, 0, 0)), -1);      // the invalid-mode records
}

TEST(FindDisplayModeNumber, FindsTheVgaAndVesaModes) {
    const struct {
        std::uint32_t number;
        int position;
        const char* rule;
    } cases[] = {
        {0x13, 1, "VGA BIOS mode 13h: 320 x 200, 256 colours"},
        {0x100, 10, "VESA 100h: 640 x 400 x 8"},
        {0x101, 13, "VESA 101h: 640 x 480 x 8"},
        {0x103, 16, "VESA 103h: 800 x 600 x 8"},
        {0x105, 19, "VESA 105h: 1024 x 768 x 8"},
        {0x107, 22, "VESA 107h: 1280 x 1024 x 8"},
        {0x102, -1, "VESA 102h is a planar 16-colour mode, not in the table"},
        {0, -1, "0 marks the modes without a number, never a mode"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(Position(FindDisplayModeNumber(c.number)), c.position);
    }
}

TEST(ParseDisplayMode, ReadsResolutionsAndModeNumbers) {
    const struct {
        const char* text;
        int position;
        const char* rule;
    } cases[] = {
        {"320x200", 1, "width x height: the 8-bit record"},
        {"320X240", 4, "the x in either case"},
        {"1600x1200", 25, "the largest mode"},
        {"0320x200", 1, "a leading zero is still decimal"},
        {"0x13", 1, "a mode number in hexadecimal"},
        {"0X101", 13, "the 0x in either case"},
        {"0x0101", 13, "leading zeros in a mode number"},
        {"0x105", 19, "lower-case hexadecimal digits"},
        {"320x201", -1, "a resolution the table lacks"},
        {"0x102", -1, "a mode number the table lacks"},
        {"", -1, "nothing"},
        {"320", -1, "no height"},
        {"320x", -1, "no digits after the x"},
        {"x200", -1, "no width"},
        {"320x200x8", -1, "a depth is not part of the text: always 8 bits"},
        {"640x480 ", -1, "anything after the height"},
        {"-320x200", -1, "a sign"},
        {"0x", -1, "0x without digits"},
        {"0x13g", -1, "a character after the number"},
        {"4294967616x200", -1, "a width that wraps 32 bits to 320"},
        {"0x100000013", -1, "a mode number that wraps 32 bits to 13h"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\": " << c.rule);
        EXPECT_EQ(Position(ParseDisplayMode(c.text)), c.position);
    }
    EXPECT_EQ(Position(ParseDisplayMode(nullptr)), -1);
}

} // namespace

#include "shell/shell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Mode numbers as the standards publish them: the VGA BIOS modes and the
// VBE 1.2 table. Bits per pixel 15 are the 5:5:5 direct-colour modes.
struct PublishedMode {
    std::uint32_t number;
    std::uint16_t width;
    std::uint16_t height;
    std::uint16_t bitsPerPixel;
};

constexpr PublishedMode kPublishedModes[] = {
    {0x0D, 320, 200, 4},     {0x0E, 640, 200, 4},     {0x10, 640, 350, 4},
    {0x11, 640, 480, 1},     {0x12, 640, 480, 4},     {0x13, 320, 200, 8},
    {0x100, 640, 400, 8},    {0x101, 640, 480, 8},    {0x102, 800, 600, 4},
    {0x103, 800, 600, 8},    {0x104, 1024, 768, 4},   {0x105, 1024, 768, 8},
    {0x106, 1280, 1024, 4},  {0x107, 1280, 1024, 8},  {0x10D, 320, 200, 15},
    {0x10E, 320, 200, 16},   {0x10F, 320, 200, 24},   {0x110, 640, 480, 15},
    {0x111, 640, 480, 16},   {0x112, 640, 480, 24},   {0x113, 800, 600, 15},
    {0x114, 800, 600, 16},   {0x115, 800, 600, 24},   {0x116, 1024, 768, 15},
    {0x117, 1024, 768, 16},  {0x118, 1024, 768, 24},  {0x119, 1280, 1024, 15},
    {0x11A, 1280, 1024, 16}, {0x11B, 1280, 1024, 24},
};

const PublishedMode* FindPublished(std::uint32_t number) {
    for (const PublishedMode& mode : kPublishedModes) {
        if (mode.number == number) return &mode;
    }
    return nullptr;
}

struct Resolution {
    std::uint16_t width;
    std::uint16_t height;
};

// Between the two invalid records: these, each at 8, 16 and 24 bits.
constexpr Resolution kResolutions[] = {{320, 200},  {320, 240},   {512, 384},
                                       {640, 400},  {640, 480},   {800, 600},
                                       {1024, 768}, {1280, 1024}, {1600, 1200}};
constexpr std::uint16_t kDepths[] = {8, 16, 24};

// The identifier filled to 17 characters: blanks, or a tab and two blanks
// where the identifier has 14.
std::string FilledName(const std::string& identifier) {
    if (identifier.size() == 14) return identifier + "\t  ";
    return identifier + std::string(17 - identifier.size(), ' ');
}

void ExpectName(const DisplayModeRecord& record, const std::string& identifier) {
    const void* end = std::memchr(record.name, 0, sizeof record.name);
    ASSERT_NE(end, nullptr) << "name not terminated";
    const auto length = static_cast<std::size_t>(static_cast<const char*>(end) - record.name);
    EXPECT_EQ(length, 17u);
    EXPECT_EQ(std::string(record.name, length), FilledName(identifier));
    for (std::size_t i = length; i < sizeof record.name; ++i) {
        EXPECT_EQ(record.name[i], 0) << "name byte " << i;
    }
}

void ExpectReservedZero(const DisplayModeRecord& record) {
    for (std::size_t i = 0; i < sizeof record.reserved; ++i) {
        EXPECT_EQ(record.reserved[i], 0) << "reserved byte " << i;
    }
}

TEST(DisplayModeTable, InvalidRecordsAtBothEnds) {
    for (std::size_t position : {std::size_t{0}, DISPLAY_MODE_COUNT - 1}) {
        SCOPED_TRACE("position " + std::to_string(position));
        const DisplayModeRecord& record = DisplayModeTable[position];
        EXPECT_EQ(record.width, 0);
        EXPECT_EQ(record.height, 0);
        EXPECT_EQ(record.bitsPerPixel, 0);
        EXPECT_EQ(record.videoModeNumber, 0u);
        ExpectReservedZero(record);
        ExpectName(record, "MODE_INVALID");
    }
    // Alike field by field, the name's tail included.
    const DisplayModeRecord& first = DisplayModeTable[0];
    const DisplayModeRecord& last = DisplayModeTable[DISPLAY_MODE_COUNT - 1];
    EXPECT_EQ(std::memcmp(first.name, last.name, sizeof first.name), 0);
}

TEST(DisplayModeTable, ResolutionsInOrderWithTheirNames) {
    std::size_t position = 1;
    for (const Resolution& resolution : kResolutions) {
        for (std::uint16_t depth : kDepths) {
            SCOPED_TRACE("position " + std::to_string(position));
            const DisplayModeRecord& record = DisplayModeTable[position++];
            EXPECT_EQ(record.width, resolution.width);
            EXPECT_EQ(record.height, resolution.height);
            EXPECT_EQ(record.bitsPerPixel, depth);
            ExpectReservedZero(record);
            ExpectName(record, "MODE_" + std::to_string(resolution.width) + "_" +
                                   std::to_string(resolution.height) + "_" + std::to_string(depth));
        }
    }
    EXPECT_EQ(position, DISPLAY_MODE_COUNT - 1);
}

TEST(DisplayModeTable, ModeNumbersDescribeTheirRecords) {
    int numbered = 0;
    for (std::size_t position = 0; position < DISPLAY_MODE_COUNT; ++position) {
        SCOPED_TRACE("position " + std::to_string(position));
        const DisplayModeRecord& record = DisplayModeTable[position];
        if (record.videoModeNumber == 0) continue;
        ++numbered;
        const PublishedMode* published = FindPublished(record.videoModeNumber);
        ASSERT_NE(published, nullptr) << "no such mode 0x" << std::hex << record.videoModeNumber;
        EXPECT_EQ(record.width, published->width);
        EXPECT_EQ(record.height, published->height);
        EXPECT_EQ(record.bitsPerPixel, published->bitsPerPixel);
        EXPECT_EQ(record.bitsPerPixel, 8);
    }
    // 320x200 under the VGA BIOS, five under VESA; 320x240, 512x384 and
    // 1600x1200 have no standard number.
    EXPECT_EQ(numbered, 6);
    for (std::size_t position : {4, 7, 25}) {
        EXPECT_EQ(DisplayModeTable[position].videoModeNumber, 0u) << "position " << position;
    }
}

} // namespace

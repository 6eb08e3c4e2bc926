// The art of the example, drawn by program: the palette's ramps and one
// painter per sprite, which gives the colour of each pixel from its position
// (or ART_TRANSPARENT). MakeArtSheet encodes the bitmaps with EncodeSprite
// and lays out the sheet that scene.h describes.
#include "scene.h"

#include <algorithm>
#include <cstring>

namespace {

// ---------------------------------------------------------------------------
// Palette

struct Ramp {
    std::uint8_t first;
    std::uint8_t count;
    Rgb dark;
    Rgb light;
};

constexpr Ramp RAMPS[] = {
    {COLOUR_BLACK, 1, {0, 0, 0}, {0, 0, 0}},
    {RAMP_SKY, 63, {18, 26, 90}, {240, 190, 150}},
    {RAMP_GREEN, 32, {6, 36, 10}, {170, 240, 110}},
    {RAMP_BROWN, 32, {40, 22, 8}, {214, 160, 96}},
    {RAMP_WARM, 32, {96, 8, 0}, {255, 244, 130}},
    {RAMP_COOL, 32, {0, 24, 64}, {200, 255, 255}},
    {RAMP_GREY, 32, {20, 20, 24}, {255, 255, 255}},
    {RAMP_PURPLE, 31, {46, 0, 56}, {255, 180, 244}},
    {ART_TRANSPARENT, 1, {255, 0, 255}, {255, 0, 255}},
};

std::uint8_t Blend(std::uint8_t dark, std::uint8_t light, std::int32_t k, std::int32_t count) {
    if (count < 2) return dark;
    return static_cast<std::uint8_t>(dark + (light - dark) * k / (count - 1));
}

void WritePalette(std::uint8_t* out) {
    for (const Ramp& ramp : RAMPS) {
        for (std::int32_t k = 0; k < ramp.count; ++k) {
            std::uint8_t* entry = out + (ramp.first + k) * 3;
            entry[0] = Blend(ramp.dark.red, ramp.light.red, k, ramp.count);
            entry[1] = Blend(ramp.dark.green, ramp.light.green, k, ramp.count);
            entry[2] = Blend(ramp.dark.blue, ramp.light.blue, k, ramp.count);
        }
    }
}

// ---------------------------------------------------------------------------
// Sprites
//
// Painters work in half pixels: pixel (x, y) has its centre at X = 2x + 1,
// Y = 2y + 1, so that shapes centred between pixels stay symmetric.

std::uint8_t Shade(std::uint8_t ramp, std::int32_t level) {
    return static_cast<std::uint8_t>(ramp + std::clamp<std::int32_t>(level, 0, SHADE_TOP));
}

std::int32_t Distance2(std::int32_t X, std::int32_t Y, std::int32_t cx, std::int32_t cy) {
    return (X - cx) * (X - cx) + (Y - cy) * (Y - cy);
}

bool InDisc(std::int32_t X, std::int32_t Y, std::int32_t cx, std::int32_t cy, std::int32_t r) {
    return Distance2(X, Y, cx, cy) <= r * r;
}

std::int32_t Abs(std::int32_t v) {
    return v < 0 ? -v : v;
}

// A ball lit from the upper left, with a dark rim.
std::uint8_t PaintBall(std::int32_t X, std::int32_t Y) {
    if (!InDisc(X, Y, 24, 24, 23)) return ART_TRANSPARENT;
    if (!InDisc(X, Y, 24, 24, 20)) return Shade(RAMP_WARM, 3);
    return Shade(RAMP_WARM, SHADE_TOP - Distance2(X, Y, 16, 16) * 28 / 1900);
}

// A fish facing right: tail on the left, eye on the right, fin on its back.
std::uint8_t PaintFish(std::int32_t X, std::int32_t Y) {
    if (InDisc(X, Y, 55, 16, 2)) return COLOUR_BLACK;
    if (InDisc(X, Y, 54, 16, 4)) return Shade(RAMP_GREY, SHADE_TOP);
    const std::int32_t dx = X - 40;
    const std::int32_t dy = Y - 20;
    if (dx * dx * 196 + dy * dy * 576 <= 24 * 24 * 14 * 14) {
        const bool stripe = X > 30 && (X / 2) % 8 == 0;
        return Shade(RAMP_WARM, 12 + Y / 2 - (stripe ? 8 : 0));
    }
    if (X < 20 && Abs(dy) <= 4 + (19 - X) * 12 / 19) return Shade(RAMP_WARM, 10);
    if (Y >= 1 && Y <= 8 && X >= 28 + (8 - Y) * 2 / 7 && X <= 40 - (8 - Y) * 10 / 7)
        return Shade(RAMP_WARM, 6);
    return ART_TRANSPARENT;
}

// A ghost with a wavy hem, looking right.
std::uint8_t PaintGhost(std::int32_t X, std::int32_t Y) {
    if (InDisc(X, Y, 22, 25, 2) || InDisc(X, Y, 40, 25, 2)) return COLOUR_BLACK;
    if (InDisc(X, Y, 20, 24, 5) || InDisc(X, Y, 38, 24, 5)) return Shade(RAMP_GREY, SHADE_TOP);
    if (Y >= 38 && Y <= 40 && X >= 24 && X <= 34) return Shade(RAMP_COOL, 4);
    const bool head = Y <= 26 && InDisc(X, Y, 28, 26, 26);
    const bool body = Y > 26 && X >= 2 && X <= 54 && Y <= 52 + ((X / 8) % 2) * 4;
    if (head || body) return Shade(RAMP_COOL, 28 - Y / 4);
    return ART_TRANSPARENT;
}

// A tree whose crown leans to the left over its trunk.
std::uint8_t PaintTree(std::int32_t X, std::int32_t Y) {
    if (InDisc(X, Y, 52, 44, 38) || InDisc(X, Y, 26, 70, 20)) {
        const std::int32_t x = X / 2;
        const std::int32_t y = Y / 2;
        const bool dark = (x * 7 + y * 3) % 11 == 0;
        return Shade(RAMP_GREEN, 28 - Distance2(X, Y, 40, 28) / 200 - (dark ? 10 : 0));
    }
    if (X >= 40 && X < 56 && Y >= 72) return Shade(RAMP_BROWN, 8 + (X - 40));
    return ART_TRANSPARENT;
}

// A cloud of four puffs over a flat base, greyer underneath.
std::uint8_t PaintCloud(std::int32_t X, std::int32_t Y) {
    const bool puff = InDisc(X, Y, 30, 28, 20) || InDisc(X, Y, 62, 22, 22) ||
                      InDisc(X, Y, 96, 28, 18) || InDisc(X, Y, 112, 34, 12);
    const bool base = X >= 14 && X <= 120 && Y >= 28 && Y <= 44;
    if (puff || base) return Shade(RAMP_GREY, SHADE_TOP - std::max(0, Y - 24) / 2);
    return ART_TRANSPARENT;
}

// A sun with eight rays.
std::uint8_t PaintSun(std::int32_t X, std::int32_t Y) {
    const std::int32_t d2 = Distance2(X, Y, 40, 40);
    if (d2 <= 22 * 22) return Shade(RAMP_WARM, SHADE_TOP - d2 / 60);
    const std::int32_t dx = Abs(X - 40);
    const std::int32_t dy = Abs(Y - 40);
    if (d2 > 26 * 26 && d2 <= 38 * 38 && (dx <= 2 || dy <= 2 || Abs(dx - dy) <= 2))
        return Shade(RAMP_WARM, 24);
    return ART_TRANSPARENT;
}

// The player's rocket, flying right: flame behind, one fin on top.
std::uint8_t PaintPlayer(std::int32_t X, std::int32_t Y) {
    const std::int32_t dy = Abs(Y - 24);
    if (InDisc(X, Y, 38, 22, 5)) return Shade(RAMP_COOL, 26);
    if (X >= 12 && X < 48 && dy <= 10) return Shade(RAMP_PURPLE, 24 - dy);
    if (X >= 48 && dy <= 10 - (X - 48) * 10 / 16) return Shade(RAMP_PURPLE, 28);
    if (Y >= 1 && Y < 14 && X >= 12 && X <= 16 + (Y - 1) * 12 / 13) return Shade(RAMP_PURPLE, 10);
    if (X < 12 && dy <= 6 - (12 - X) / 3) return Shade(RAMP_WARM, 20 + X);
    return ART_TRANSPARENT;
}

// A four-pointed sparkle with a warm heart.
std::uint8_t PaintStar(std::int32_t X, std::int32_t Y) {
    const std::int32_t dx = Abs(X - 9);
    const std::int32_t dy = Abs(Y - 9);
    if (dx <= 3 && dy <= 3) return Shade(RAMP_WARM, SHADE_TOP);
    if ((dx <= 1 && dy <= 8) || (dy <= 1 && dx <= 8)) return Shade(RAMP_GREY, SHADE_TOP);
    return ART_TRANSPARENT;
}

using Painter = std::uint8_t (*)(std::int32_t X, std::int32_t Y);
constexpr Painter PAINTERS[SPRITE_COUNT] = {PaintBall,  PaintFish, PaintGhost,  PaintTree,
                                            PaintCloud, PaintSun,  PaintPlayer, PaintStar};

constexpr std::size_t BITMAP_SIZE = 64 * 64;
constexpr bool FitsBitmap(SpriteSize size) {
    return std::size_t{size.width} * size.height <= BITMAP_SIZE;
}
static_assert(std::all_of(std::begin(SPRITE_SIZES), std::end(SPRITE_SIZES), FitsBitmap));

void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

std::size_t MakeArtSheet(std::uint8_t* sheet, std::size_t capacity) {
    if (capacity < ART_DIRECTORY_END) return 0;
    std::memset(sheet, 0, ART_DIRECTORY_END);
    WritePalette(sheet);
    PutLe16(sheet + ART_PALETTE_SIZE, SPRITE_COUNT);

    std::size_t offset = ART_DIRECTORY_END;
    for (std::size_t i = 0; i < SPRITE_COUNT; ++i) {
        const SpriteSize size = SPRITE_SIZES[i];
        std::uint8_t bitmap[BITMAP_SIZE];
        for (std::int32_t y = 0; y < size.height; ++y)
            for (std::int32_t x = 0; x < size.width; ++x)
                bitmap[y * size.width + x] = PAINTERS[i](2 * x + 1, 2 * y + 1);
        const std::size_t dataSize =
            EncodeSprite(bitmap, size.width, size.height, size.width, ART_TRANSPARENT,
                         sheet + offset, capacity - offset);
        if (dataSize > capacity - offset || dataSize > 0xFFFF) return 0;

        std::uint8_t* entry = sheet + ART_PALETTE_SIZE + 2 + i * ART_ENTRY_SIZE;
        entry[0] = size.width;
        entry[1] = size.height;
        PutLe16(entry + 2, static_cast<std::uint32_t>(dataSize));
        PutLe16(entry + 4, static_cast<std::uint32_t>(offset));
        PutLe16(entry + 6, static_cast<std::uint32_t>(offset >> 16));
        offset += dataSize;
    }
    return offset;
}

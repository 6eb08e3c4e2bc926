// What the graphics tests and the fuzzer compare the renderers with: plain
// pixel-by-pixel renderers written from the data format and the coordinate
// rules, a guarded drawing buffer, and a generator of random sprite data.
#pragma once

#include "graphics/graphics.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace graphics_reference {

// Writes one pixel of window (x, y) the way the draw flags say, if it lies in
// the window. `base` is window pixel (0, 0).
inline void PutPixel(const ScreenState& s, std::uint8_t* base, std::int64_t x, std::int64_t y,
                     std::uint8_t colour) {
    if (x < 0 || x >= s.windowWidth || y < 0 || y >= s.windowHeight) return;
    std::uint8_t& d = base[y * s.pitch + x];
    if (s.drawFlags & DRAW_MIX_SRC_ROW) {
        d = s.mixTable[colour * 256 + d];
    } else if (s.drawFlags & DRAW_MIX_DST_ROW) {
        d = s.mixTable[d * 256 + colour];
    } else {
        d = colour;
    }
}

// The sprite's pixels one at a time: data row r, column k lands on window
// row y + r (y + h - 1 - r flipped) and column x + k (x + w - 1 - k mirrored).
// Reads every row, so the data must be sound.
inline void DrawSprite(const ScreenState& s, std::int64_t x, std::int64_t y,
                       const SpriteRecord& sprite) {
    const std::int64_t w = sprite.width;
    const std::int64_t h = sprite.height;
    if (w == 0 || h == 0) return;
    std::uint8_t* base = s.bufferBase + std::ptrdiff_t{s.windowY} * s.pitch + s.windowX;
    const std::uint8_t* p = sprite.data;
    for (std::int64_t r = 0; r < h; ++r) {
        const std::int64_t row = (s.drawFlags & DRAW_FLIP_Y) ? y + h - 1 - r : y + r;
        std::int64_t k = 0;
        for (;;) {
            const std::int8_t n = static_cast<std::int8_t>(*p++);
            if (n == 0) break;
            if (n < 0) {
                k += -n;
                continue;
            }
            for (std::int32_t i = 0; i < n; ++i, ++k) {
                const std::int64_t col = (s.drawFlags & DRAW_MIRROR_X) ? x + w - 1 - k : x + k;
                PutPixel(s, base, col, row, p[i]);
            }
            p += n;
        }
    }
}

// The line drawer's pixels: the span between the two end points, clipped on
// each axis; vertical where the clipped x range is one column, else the
// clipped x range on the first clipped row.
inline void DrawHVLine(const ScreenState& s, std::int64_t x1, std::int64_t y1, std::int64_t x2,
                       std::int64_t y2, std::uint32_t colour) {
    if (s.windowWidth < 1 || s.windowHeight < 1) return;
    const std::int64_t xLow = std::max<std::int64_t>(std::min(x1, x2), 0);
    const std::int64_t xHigh = std::min<std::int64_t>(std::max(x1, x2), s.windowWidth - 1);
    const std::int64_t yLow = std::max<std::int64_t>(std::min(y1, y2), 0);
    const std::int64_t yHigh = std::min<std::int64_t>(std::max(y1, y2), s.windowHeight - 1);
    if (xLow > xHigh || yLow > yHigh) return;
    const auto c = static_cast<std::uint8_t>(colour);
    if (xLow == xHigh) {
        for (std::int64_t y = yLow; y <= yHigh; ++y) PutPixel(s, s.windowBase, xLow, y, c);
    } else {
        for (std::int64_t x = xLow; x <= xHigh; ++x) PutPixel(s, s.windowBase, x, yLow, c);
    }
}

// A drawing buffer with a window inside it: `margin` bytes of buffer on every
// side of the window that nothing may touch. The whole buffer is compared, so
// a stray write anywhere outside the window shows. With negativePitch the
// rows run upwards in memory (pitch < 0).
struct Canvas {
    std::int32_t width, height, margin, stride, rows;
    bool negativePitch;
    std::vector<std::uint8_t> bytes;

    Canvas(std::int32_t windowWidth, std::int32_t windowHeight, std::int32_t margin_,
           bool negativePitch_ = false, std::int32_t extraStride = 0)
        : width(windowWidth), height(windowHeight), margin(margin_),
          stride(windowWidth + 2 * margin_ + extraStride), rows(windowHeight + 2 * margin_),
          negativePitch(negativePitch_),
          bytes(static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows)) {}

    void Fill(std::mt19937& rng) {
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    }

    // Points screenState at this canvas, its window `margin` in from the
    // buffer's top-left corner.
    void Install(std::uint16_t flags, const std::uint8_t* mixTable) {
        ScreenState& s = screenState;
        s.pitch = negativePitch ? -stride : stride;
        s.bufferBase =
            negativePitch ? bytes.data() + std::ptrdiff_t{rows - 1} * stride : bytes.data();
        s.windowX = margin;
        s.windowY = margin;
        s.windowWidth = width;
        s.windowHeight = height;
        s.windowBase = s.bufferBase + std::ptrdiff_t{s.windowY} * s.pitch + s.windowX;
        s.drawFlags = flags;
        s.mixTable = mixTable;
    }

    // Window pixel (x, y) of the installed canvas.
    std::uint8_t At(std::int32_t x, std::int32_t y) const {
        const std::ptrdiff_t pitch = negativePitch ? -stride : stride;
        const std::ptrdiff_t base = negativePitch ? std::ptrdiff_t{rows - 1} * stride : 0;
        return bytes[static_cast<std::size_t>(base + (y + margin) * pitch + x + margin)];
    }
};

inline std::vector<std::uint8_t> RandomMixTable(std::mt19937& rng) {
    std::vector<std::uint8_t> table(MIX_TABLE_SIZE);
    for (auto& b : table) b = static_cast<std::uint8_t>(rng());
    return table;
}

// Random sprite data of the given size: each row a random sequence of literal
// and transparent runs, short and long, neighbours of the same kind
// included, some rows ending early, literal bytes of every value (0 among
// them, drawn like any other colour). The runs never cover more than width.
inline std::vector<std::uint8_t> RandomSpriteData(std::mt19937& rng, std::uint8_t width,
                                                  std::uint8_t height) {
    std::vector<std::uint8_t> data;
    auto pick = [&](std::int32_t low, std::int32_t high) {
        return std::uniform_int_distribution<std::int32_t>(low, high)(rng);
    };
    const std::int32_t longShare = pick(0, 4); // of 8: how often a run is long
    for (std::int32_t r = 0; r < height; ++r) {
        std::int32_t left = width;
        while (left > 0 && pick(0, 31) != 0) {
            const bool literal = pick(0, 2) != 0;
            const std::int32_t maxRun = std::min(left, literal ? 127 : 128);
            const std::int32_t run =
                pick(0, 7) < longShare ? pick(1, maxRun) : pick(1, std::min(maxRun, 6));
            if (literal) {
                data.push_back(static_cast<std::uint8_t>(run));
                for (std::int32_t i = 0; i < run; ++i)
                    data.push_back(pick(0, 3) == 0 ? 0 : static_cast<std::uint8_t>(rng()));
            } else {
                data.push_back(static_cast<std::uint8_t>(-run));
            }
            left -= run;
        }
        data.push_back(0x00);
    }
    return data;
}

} // namespace graphics_reference

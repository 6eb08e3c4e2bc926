// The run-length sprite renderer.
//
// DrawSprite settles everything that does not change along the sprite once
// per call: which rows are drawn and where the first one lies, the row step
// (negative when flipped), and whether every column lands inside the window.
// It then runs one of twelve row loops, all instances of DrawRows: direction
// (normal or mirrored) x path (fast or clipped) x pixel mode (copy or one of
// the two mixing lookups). No flag is looked at inside a loop.
//
// Within a row, columns count from the row's first drawn column and an
// address is formed only for a pixel written (the fast copy path's cursor,
// see run_copy.h, stays on the sprite's columns), so that a mirrored row
// walking leftwards never forms an address outside the window.
#include "graphics/graphics.h"
#include "graphics/run_copy.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

enum class PixelMode { Copy, MixSrc, MixDst };

template <PixelMode Mode>
[[gnu::always_inline]] inline void Put(std::uint8_t& d, std::uint8_t s, const std::uint8_t* mix) {
    if constexpr (Mode == PixelMode::Copy) {
        (void)mix;
        d = s;
    } else if constexpr (Mode == PixelMode::MixSrc) {
        d = mix[static_cast<std::uint16_t>((s << 8) | d)];
    } else {
        d = mix[static_cast<std::uint16_t>((d << 8) | s)];
    }
}

// The two mixing lookups of one pixel: sprite pixel s over buffer byte d.
template <PixelMode Mode>
[[gnu::always_inline]] inline std::uint32_t Mixed(std::uint32_t s, std::uint32_t d,
                                                  const std::uint8_t* mix) {
    return Mode == PixelMode::MixSrc ? mix[(s << 8) | d] : mix[(d << 8) | s];
}

// Writes `count` (at least 1) literal pixels from `src`, the first at `d`, in
// the drawing direction, one pixel at a time. The plain copy is unrolled six
// pixels per pass; the mixing modes look up four pixels before storing them,
// so that the four table reads are in flight together.
template <bool Mirror, PixelMode Mode>
[[gnu::always_inline]] inline void WritePixels(std::uint8_t* d, const std::uint8_t* src,
                                               std::int32_t count, const std::uint8_t* mix) {
    constexpr std::ptrdiff_t dir = Mirror ? -1 : 1;
    if constexpr (Mode == PixelMode::Copy) {
        (void)mix;
        // Six pixels per pass. The last pass takes the one to six pixels
        // left, and its places past the run's end write the run's last pixel
        // again, so that no branch depends on how many are left.
        std::int32_t i = 0;
        for (; i + 6 < count; i += 6) {
            // Each half read before it is written: no store has to wait for
            // a load it might alias, and three bytes fit in the registers
            // of every target.
            const std::uint8_t p0 = src[i], p1 = src[i + 1], p2 = src[i + 2];
            d[dir * i] = p0;
            d[dir * (i + 1)] = p1;
            d[dir * (i + 2)] = p2;
            const std::uint8_t p3 = src[i + 3], p4 = src[i + 4], p5 = src[i + 5];
            d[dir * (i + 3)] = p3;
            d[dir * (i + 4)] = p4;
            d[dir * (i + 5)] = p5;
        }
        const std::int32_t last = count - 1;
        const auto put = [&](std::int32_t k) __attribute__((always_inline)) {
            const std::int32_t j = std::min(i + k, last);
            d[dir * j] = src[j];
        };
        put(0);
        put(1);
        put(2);
        put(3);
        put(4);
        put(5);
    } else {
        std::int32_t i = 0;
        for (; i + 4 <= count; i += 4) {
            std::uint8_t* p0 = d + dir * i;
            std::uint8_t* p1 = d + dir * (i + 1);
            std::uint8_t* p2 = d + dir * (i + 2);
            std::uint8_t* p3 = d + dir * (i + 3);
            const std::uint32_t m0 = Mixed<Mode>(src[i], *p0, mix);
            const std::uint32_t m1 = Mixed<Mode>(src[i + 1], *p1, mix);
            const std::uint32_t m2 = Mixed<Mode>(src[i + 2], *p2, mix);
            const std::uint32_t m3 = Mixed<Mode>(src[i + 3], *p3, mix);
            *p0 = static_cast<std::uint8_t>(m0);
            *p1 = static_cast<std::uint8_t>(m1);
            *p2 = static_cast<std::uint8_t>(m2);
            *p3 = static_cast<std::uint8_t>(m3);
        }
        for (; i < count; ++i) Put<Mode>(d[dir * i], src[i], mix);
    }
}

[[gnu::always_inline]] inline std::int32_t ControlByte(const std::uint8_t*& src) {
    return static_cast<std::int8_t>(*src++);
}

// Reads the rest of a row up to and including its 0x00.
const std::uint8_t* PassOverRow(const std::uint8_t* src) {
    for (;;) {
        const std::int32_t n = ControlByte(src);
        if (n == 0) return src;
        if (n > 0) src += n;
    }
}

// One row with every column inside the window: no bounds test at all. The
// copy mode hands the row to the run-copy sequences, which go on from run to
// run by themselves (see run_copy.h).
template <bool Mirror, PixelMode Mode>
[[gnu::always_inline]] inline const std::uint8_t*
FastRow(const std::uint8_t* src, std::uint8_t* first, const std::uint8_t* mix) {
    if constexpr (Mode == PixelMode::Copy) {
        (void)mix;
        return run_copy::ContinueRow<Mirror>(Mirror ? first + 1 : first, src);
    } else {
        constexpr std::int32_t dir = Mirror ? -1 : 1;
        std::int32_t col = 0;
        for (;;) {
            const std::int32_t n = ControlByte(src);
            if (n > 0) {
                WritePixels<Mirror, Mode>(first + col, src, n, mix);
                src += n;
                col += dir * n;
            } else if (n < 0) {
                col -= dir * n;
            } else {
                return src;
            }
        }
    }
}

// One row that crosses a side of the window. Data columns skip .. end - 1
// land in the window, data column skip on `first`; the others are read over
// but not drawn. Each literal run writes the part of it that lies in that
// range, and once the row has passed the range its rest is only read over.
template <bool Mirror, PixelMode Mode>
[[gnu::always_inline]] inline const std::uint8_t*
ClippedRow(const std::uint8_t* src, std::uint8_t* first, std::int32_t skip, std::int32_t end,
           const std::uint8_t* mix) {
    constexpr std::int32_t dir = Mirror ? -1 : 1;
    std::int32_t col = 0; // data column of the next run; below end
    for (;;) {
        const std::int32_t n = ControlByte(src);
        if (n > 0) {
            const std::int32_t from = std::max(col, skip);
            const std::int32_t to = std::min(col + n, end);
            if (from < to) {
                WritePixels<Mirror, Mode>(first + dir * (from - skip), src + (from - col),
                                          to - from, mix);
            }
            src += n;
            col += n;
        } else if (n < 0) {
            col -= n;
        } else {
            return src;
        }
        if (col >= end) return PassOverRow(src);
    }
}

struct RowPlan {
    const std::uint8_t* src; // data of the first row drawn
    std::uint8_t* first;     // first drawn column of the first row drawn
    std::ptrdiff_t rowStep;  // +pitch, or -pitch when flipped
    std::int32_t rows;       // at least 1
    std::int32_t skip;       // clipped path: data columns before the window
    std::int32_t end;        // clipped path: data column after the window
    const std::uint8_t* mix;
};

// The plan's fields are taken into locals first: a pixel store may alias
// anything, and the loop should not read them again after every store.
template <bool Mirror, bool Clipped, PixelMode Mode> void DrawRows(const RowPlan& plan) {
    const std::uint8_t* src = plan.src;
    std::uint8_t* first = plan.first;
    const std::ptrdiff_t rowStep = plan.rowStep;
    const std::int32_t skip = plan.skip;
    const std::int32_t end = plan.end;
    const std::uint8_t* const mix = plan.mix;
    for (std::int32_t rows = plan.rows;;) {
        if constexpr (Clipped) {
            src = ClippedRow<Mirror, Mode>(src, first, skip, end, mix);
        } else {
            (void)skip;
            (void)end;
            src = FastRow<Mirror, Mode>(src, first, mix);
        }
        if (--rows == 0) return;
        first += rowStep;
    }
}

using RowLoop = void (*)(const RowPlan&);

template <bool Mirror, bool Clipped> constexpr std::array<RowLoop, 3> RowLoopsByMode() {
    return {DrawRows<Mirror, Clipped, PixelMode::Copy>,
            DrawRows<Mirror, Clipped, PixelMode::MixSrc>,
            DrawRows<Mirror, Clipped, PixelMode::MixDst>};
}

// [mirrored][clipped][mode]
constexpr std::array<std::array<std::array<RowLoop, 3>, 2>, 2> rowLoops = {{
    {RowLoopsByMode<false, false>(), RowLoopsByMode<false, true>()},
    {RowLoopsByMode<true, false>(), RowLoopsByMode<true, true>()},
}};

} // namespace

void DrawSprite(std::int32_t x, std::int32_t y, const SpriteRecord* sprite) {
    // Coordinates are widened so that positions near the ends of the 32-bit
    // range clip like any other instead of wrapping.
    const std::int64_t w = sprite->width;
    const std::int64_t h = sprite->height;
    if (w == 0 || h == 0) return;
    const ScreenState& s = screenState;
    const std::int64_t winW = s.windowWidth;
    const std::int64_t winH = s.windowHeight;
    if (winW < 1 || winH < 1) return;
    const std::uint16_t flags = s.drawFlags;
    const bool mirror = (flags & DRAW_MIRROR_X) != 0;

    // Rows: how many, the window row of the first one drawn, and how many
    // data rows come before it.
    std::int64_t rows = h;
    std::int64_t firstRow = 0;
    std::int64_t passOver = 0;
    std::ptrdiff_t rowStep = s.pitch;
    if (!(flags & DRAW_FLIP_Y)) {
        if (y + h > winH) rows = winH - y;
        if (y < 0) {
            rows += y;
            passOver = -std::int64_t{y};
        } else {
            firstRow = y;
        }
    } else {
        // Data row r lands on window row y + h - 1 - r: the rows that fall
        // below the window come first in the data.
        const std::int64_t bottom = y + h - 1;
        rowStep = -rowStep;
        if (y < 0) rows += y;
        if (bottom > winH - 1) {
            passOver = bottom - (winH - 1);
            rows -= passOver;
            firstRow = winH - 1;
        } else {
            firstRow = bottom;
        }
    }
    if (rows <= 0) return;

    // Columns: the fast path when the sprite lies wholly inside, else the
    // columns to skip at the start of each row and the ones that remain.
    bool clipped = false;
    std::int64_t firstCol = 0;
    std::int64_t skip = 0;
    std::int64_t avail = 0;
    if (x >= winW || x + w <= 0) return;
    if (x >= 0 && x + w <= winW) {
        firstCol = mirror ? x + w - 1 : x;
    } else {
        clipped = true;
        avail = std::min(x + w, winW) - std::max<std::int64_t>(x, 0);
        if (!mirror) {
            skip = x < 0 ? -std::int64_t{x} : 0;
            firstCol = std::max<std::int64_t>(x, 0);
        } else {
            skip = x + w - 1 >= winW ? x + w - winW : 0;
            firstCol = std::min(x + w - 1, winW - 1);
        }
    }

    RowPlan plan;
    plan.src = sprite->data;
    for (std::int64_t r = 0; r < passOver; ++r) plan.src = PassOverRow(plan.src);
    plan.first = s.bufferBase + static_cast<std::ptrdiff_t>((firstRow + s.windowY) * s.pitch +
                                                            firstCol + s.windowX);
    plan.rowStep = rowStep;
    plan.rows = static_cast<std::int32_t>(rows);
    plan.skip = static_cast<std::int32_t>(skip);
    plan.end = static_cast<std::int32_t>(skip + avail);
    plan.mix = s.mixTable;

    std::size_t mode = 0;
    if (flags & DRAW_MIX_SRC_ROW) {
        mode = 1;
    } else if (flags & DRAW_MIX_DST_ROW) {
        mode = 2;
    }
    rowLoops[mirror][clipped][mode](plan);
}

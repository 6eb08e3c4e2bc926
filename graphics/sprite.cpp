// The run-length sprite renderer.
//
// DrawSprite settles everything that does not change along the sprite once
// per call: which rows are drawn and where the first one lies, the row step
// (negative when flipped), and whether every column lands inside the window.
// It then runs one of twelve row loops, all instances of DrawRows: direction
// (normal or mirrored) x path (fast or clipped) x pixel mode (copy or one of
// the two mixing lookups). No flag is looked at inside a loop.
//
// Within a row the cursor is a column offset from the row's first drawn
// column, so that a mirrored row walking leftwards never forms an address
// outside the window; addresses are formed only for pixels written.
#include "graphics/graphics.h"

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

// Writes `count` literal pixels from `src`, the first at `d`, in the drawing
// direction. The plain copy is unrolled six pixels per pass. The mixing modes
// still look every pixel up on its own, but take the source and buffer bytes
// four at a time in one word each and store the four results as one word, so
// that the loads of one group do not wait for the stores of the last.
template <bool Mirror, PixelMode Mode>
[[gnu::always_inline]] inline void WritePixels(std::uint8_t* d, const std::uint8_t* src,
                                               std::int32_t count, const std::uint8_t* mix) {
    constexpr std::ptrdiff_t dir = Mirror ? -1 : 1;
    std::int32_t i = 0;
    if constexpr (Mode == PixelMode::Copy) {
        for (; i + 6 <= count; i += 6) {
            d[dir * i] = src[i];
            d[dir * (i + 1)] = src[i + 1];
            d[dir * (i + 2)] = src[i + 2];
            d[dir * (i + 3)] = src[i + 3];
            d[dir * (i + 4)] = src[i + 4];
            d[dir * (i + 5)] = src[i + 5];
        }
    } else {
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
    }
    for (; i < count; ++i) Put<Mode>(d[dir * i], src[i], mix);
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

// One row with every column inside the window: no bounds test at all.
template <bool Mirror, PixelMode Mode>
[[gnu::always_inline]] inline const std::uint8_t*
FastRow(const std::uint8_t* src, std::uint8_t* first, const std::uint8_t* mix) {
    constexpr std::int32_t dir = Mirror ? -1 : 1;
    std::int32_t col = 0;
    for (;;) {
        const std::int32_t n = ControlByte(src);
        if (n > 0) {
            std::uint8_t* d = first + col;
            if constexpr (Mode == PixelMode::Copy) {
                const RunCopyTableType& table = Mirror ? MirroredRunCopyTable : RunCopyTable;
                table[static_cast<std::size_t>(n - 1)][reinterpret_cast<std::uintptr_t>(d) & 3](
                    d, src, static_cast<std::uint32_t>(n));
            } else {
                WritePixels<Mirror, Mode>(d, src, n, mix);
            }
            src += n;
            col += dir * n;
        } else if (n < 0) {
            col -= dir * n;
        } else {
            return src;
        }
    }
}

// One row that crosses a side of the window. `skip` data columns at the start
// of the row fall outside, then `avail` window columns remain in the drawing
// direction; whatever lies beyond them is read over but not drawn.
template <bool Mirror, PixelMode Mode>
[[gnu::always_inline]] inline const std::uint8_t*
ClippedRow(const std::uint8_t* src, std::uint8_t* first, std::int32_t skip, std::int32_t avail,
           const std::uint8_t* mix) {
    constexpr std::int32_t dir = Mirror ? -1 : 1;
    std::int32_t col = 0;

    // A literal run of n pixels from the cursor; false once the row is drained.
    const auto literal = [&](std::int32_t n) __attribute__((always_inline)) {
        if (n < avail) {
            WritePixels<Mirror, Mode>(first + col, src, n, mix);
            src += n;
            col += dir * n;
            avail -= n;
            return true;
        }
        WritePixels<Mirror, Mode>(first + col, src, avail, mix);
        src = PassOverRow(src + n);
        return false;
    };

    // Until the skipped columns are used up.
    while (skip > 0) {
        const std::int32_t n = ControlByte(src);
        if (n == 0) return src;
        if (n > 0) {
            if (n <= skip) {
                src += n;
                skip -= n;
                continue;
            }
            src += skip;
            if (!literal(n - skip)) return src;
        } else {
            const std::int32_t m = -n;
            if (m < skip) {
                skip -= m;
                continue;
            }
            col += dir * (m - skip);
            avail -= m - skip;
            if (avail <= 0) return PassOverRow(src);
        }
        break;
    }

    // Inside the window.
    for (;;) {
        const std::int32_t n = ControlByte(src);
        if (n == 0) return src;
        if (n > 0) {
            if (!literal(n)) return src;
        } else {
            col -= dir * n;
            avail += n;
            if (avail <= 0) return PassOverRow(src);
        }
    }
}

struct RowPlan {
    const std::uint8_t* src; // data of the first row drawn
    std::uint8_t* first;     // first drawn column of the first row drawn
    std::ptrdiff_t rowStep;  // +pitch, or -pitch when flipped
    std::int32_t rows;       // at least 1
    std::int32_t skip;       // clipped path only
    std::int32_t avail;      // clipped path only
    const std::uint8_t* mix;
};

template <bool Mirror, bool Clipped, PixelMode Mode> void DrawRows(const RowPlan& plan) {
    const std::uint8_t* src = plan.src;
    std::uint8_t* first = plan.first;
    for (std::int32_t rows = plan.rows;;) {
        if constexpr (Clipped) {
            src = ClippedRow<Mirror, Mode>(src, first, plan.skip, plan.avail, plan.mix);
        } else {
            src = FastRow<Mirror, Mode>(src, first, plan.mix);
        }
        if (--rows == 0) return;
        first += plan.rowStep;
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
    plan.avail = static_cast<std::int32_t>(avail);
    plan.mix = s.mixTable;

    std::size_t mode = 0;
    if (flags & DRAW_MIX_SRC_ROW) {
        mode = 1;
    } else if (flags & DRAW_MIX_DST_ROW) {
        mode = 2;
    }
    rowLoops[mirror][clipped][mode](plan);
}

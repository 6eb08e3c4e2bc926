// The screen state and the clipped horizontal/vertical line drawer.
#include "graphics/graphics.h"

#include <cstring>

ScreenState screenState{};

namespace {

enum class SpanMode { Plain, MixSrc, MixDst };

// Clips the end points a, b of one axis to 0 .. limit - 1 and orders them.
// Returns false when the span lies wholly outside.
bool ClipAxis(std::int32_t& a, std::int32_t& b, std::int32_t limit) {
    const std::int32_t maxCoord = limit - 1;
    std::int32_t low = a;
    std::int32_t high = b;
    if (low > high) {
        low = b;
        high = a;
    }
    if (high < 0 || low > maxCoord) return false;
    a = low < 0 ? 0 : low;
    b = high > maxCoord ? maxCoord : high;
    return true;
}

// One span loop per direction and mode: `step` is 1 for a horizontal span and
// the pitch for a vertical one. The plain horizontal span is a block fill.
template <bool Vertical, SpanMode Mode>
void DrawSpan(std::uint8_t* first, std::int32_t count, std::int32_t pitch, std::uint8_t colour,
              const std::uint8_t* mix) {
    if constexpr (!Vertical && Mode == SpanMode::Plain) {
        (void)pitch;
        (void)mix;
        std::memset(first, colour, static_cast<std::size_t>(count));
    } else {
        const std::ptrdiff_t step = Vertical ? pitch : 1;
        std::ptrdiff_t offset = 0;
        for (std::int32_t i = 0; i < count; ++i, offset += step) {
            std::uint8_t& pixel = first[offset];
            if constexpr (Mode == SpanMode::Plain) {
                pixel = colour;
            } else if constexpr (Mode == SpanMode::MixSrc) {
                pixel = mix[(std::size_t{colour} << 8) | pixel];
            } else {
                pixel = mix[(std::size_t{pixel} << 8) | colour];
            }
        }
    }
}

} // namespace

void DrawHVLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                std::uint32_t colour) {
    const ScreenState& s = screenState;
    if (s.windowWidth < 1 || s.windowHeight < 1) return;
    if (!ClipAxis(x1, x2, s.windowWidth) || !ClipAxis(y1, y2, s.windowHeight)) return;

    std::uint8_t* first = s.windowBase + std::ptrdiff_t{y1} * s.pitch + x1;
    const bool vertical = x1 == x2;
    const std::int32_t count = vertical ? y2 - y1 + 1 : x2 - x1 + 1;

    const auto c = static_cast<std::uint8_t>(colour);
    const std::uint16_t mixing = s.drawFlags & (DRAW_MIX_SRC_ROW | DRAW_MIX_DST_ROW);
    if (vertical) {
        if (!mixing) return DrawSpan<true, SpanMode::Plain>(first, count, s.pitch, c, s.mixTable);
        if (mixing & DRAW_MIX_SRC_ROW) {
            return DrawSpan<true, SpanMode::MixSrc>(first, count, s.pitch, c, s.mixTable);
        }
        return DrawSpan<true, SpanMode::MixDst>(first, count, s.pitch, c, s.mixTable);
    }
    if (!mixing) return DrawSpan<false, SpanMode::Plain>(first, count, s.pitch, c, s.mixTable);
    if (mixing & DRAW_MIX_SRC_ROW) {
        return DrawSpan<false, SpanMode::MixSrc>(first, count, s.pitch, c, s.mixTable);
    }
    DrawSpan<false, SpanMode::MixDst>(first, count, s.pitch, c, s.mixTable);
}

// Fuzzes the sprite validator, encoder, renderer and line drawer.
//
// Input: a 24-byte header, then the sprite data (or, with the bitmap bit, an
// 8-bit bitmap that the encoder turns into sprite data). Data that the
// validator passes is drawn at the header's position, flags and window size
// by DrawSprite and by the reference renderer on two copies of one canvas,
// and the whole buffers must agree: the window's margins are part of the
// buffer, so a stray write anywhere shows, and one past the buffer is an ASan
// fault. The data sits alone in an exactly sized heap block so that ASan
// reports any read past its end. A line is drawn the same way.
//
//   cmake --preset fuzz -B build/fuzz && cmake --build build/fuzz
//   build/fuzz/bin/graphics_sprite_fuzzer -max_total_time=60 -max_len=8192
#include "graphics/graphics.h"
#include "tests/graphics/graphics_reference.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t HEADER_SIZE = 24;

std::int32_t Int16At(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

// Header coordinates: mostly near the window, but a set top bit of the
// second byte reaches out to the ends of the 32-bit range.
std::int32_t CoordinateAt(const std::uint8_t* p) {
    const std::int32_t near = Int16At(p) % 600;
    if (!(p[1] & 0x80)) return near;
    return near < 0 ? INT32_MIN - near : INT32_MAX - near;
}

const std::vector<std::uint8_t>& MixTable() {
    static const std::vector<std::uint8_t> table = [] {
        std::mt19937 rng(5);
        return graphics_reference::RandomMixTable(rng);
    }();
    return table;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "graphics fuzzer: %s\n", what);
    std::abort();
}

void Compare(const graphics_reference::Canvas& a, const graphics_reference::Canvas& b,
             const char* what) {
    if (a.bytes != b.bytes) Fail(what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < HEADER_SIZE) return 0;
    const std::uint8_t* h = input;
    std::uint8_t width = h[0];
    std::uint8_t height = h[1];
    const std::int32_t x = CoordinateAt(h + 2);
    const std::int32_t y = CoordinateAt(h + 4);
    const auto flags = static_cast<std::uint16_t>(h[6] | h[7] << 8);
    const std::int32_t windowWidth = h[8] % 200;  // 0 included: an empty window
    const std::int32_t windowHeight = h[9] % 120; // 0 included
    const std::int32_t margin = 1 + h[10] % 8;
    const std::int32_t extraStride = h[11] % 8;
    const bool negativePitch = h[12] & 1;
    const bool fromBitmap = h[12] & 2;
    const std::uint8_t transparent = h[13];
    const std::uint32_t colour = h[14] | static_cast<std::uint32_t>(h[15]) << 8;
    const std::int32_t lx1 = CoordinateAt(h + 16), ly1 = CoordinateAt(h + 18);
    const std::int32_t lx2 = CoordinateAt(h + 20), ly2 = CoordinateAt(h + 22);
    const std::uint8_t* body = input + HEADER_SIZE;
    std::size_t bodySize = size - HEADER_SIZE;

    // The sprite data, alone in a block of exactly its size.
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t dataSize = 0;
    if (fromBitmap) {
        if (width == 0) return 0;
        height = static_cast<std::uint8_t>(std::min<std::size_t>(height, bodySize / width));
        dataSize = EncodeSprite(body, width, height, width, transparent, nullptr, 0);
        if (dataSize > SpriteDataBound(width, height)) Fail("encoding larger than its bound");
        data.reset(new std::uint8_t[dataSize]);
        if (EncodeSprite(body, width, height, width, transparent, data.get(), dataSize) != dataSize)
            Fail("encoder sizes differ");
        if (ValidateSpriteData(data.get(), dataSize, width, height) != 1)
            Fail("encoder output fails validation");
        // The encoding decodes back to the bitmap, transparent pixels untouched.
        graphics_reference::Canvas decoded(width, height, 0);
        std::fill(decoded.bytes.begin(), decoded.bytes.end(), transparent);
        decoded.Install(0, nullptr);
        graphics_reference::DrawSprite(screenState, 0, 0, SpriteRecord{data.get(), width, height});
        if (!decoded.bytes.empty() &&
            std::memcmp(decoded.bytes.data(), body, decoded.bytes.size()) != 0)
            Fail("encoding does not decode to the bitmap");
    } else {
        dataSize = bodySize;
        data.reset(new std::uint8_t[dataSize]);
        if (dataSize) std::memcpy(data.get(), body, dataSize);
        if (ValidateSpriteData(data.get(), dataSize, width, height) != 1) return 0;
    }

    std::mt19937 rng(static_cast<std::uint32_t>(size));
    graphics_reference::Canvas canvas(windowWidth, windowHeight, margin, negativePitch,
                                      extraStride);
    canvas.Fill(rng);
    graphics_reference::Canvas expected = canvas;
    const SpriteRecord sprite{data.get(), width, height};
    expected.Install(flags, MixTable().data());
    graphics_reference::DrawSprite(screenState, x, y, sprite);
    canvas.Install(flags, MixTable().data());
    DrawSprite(x, y, &sprite);
    Compare(canvas, expected, "DrawSprite differs from the reference");

    expected.Install(flags, MixTable().data());
    graphics_reference::DrawHVLine(screenState, lx1, ly1, lx2, ly2, colour);
    canvas.Install(flags, MixTable().data());
    DrawHVLine(lx1, ly1, lx2, ly2, colour);
    Compare(canvas, expected, "DrawHVLine differs from the reference");
    return 0;
}

// The strongest simple peer of the sprite renderer's fast copy in the Win32
// benchmark: the sprite's runs walked as the memcpy blitters walk them, each
// literal run copied with 16-byte SSE2 moves (unaligned loads and stores, the
// last one ending at the run's end and overlapping the one before), runs
// shorter than 16 bytes with two overlapping moves of 8, 4 or 1 bytes.
// Nothing beyond a run is written, so the transparent pixels stay. Built -O2
// (CMakeLists.txt); it needs a processor with SSE2, as the benchmark does.
#include "graphics/graphics.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

template <class T>
[[gnu::always_inline]] inline void CopyPair(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    T a, b;
    std::memcpy(&a, s, sizeof a);
    std::memcpy(&b, s + n - sizeof b, sizeof b);
    std::memcpy(d, &a, sizeof a);
    std::memcpy(d + n - sizeof b, &b, sizeof b);
}

[[gnu::target("sse2")]] inline void CopyRun(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    if (n >= 16) {
        std::size_t i = 0;
        for (; i + 16 < n; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16)));
    } else if (n >= 8) {
        CopyPair<std::uint64_t>(d, s, n);
    } else if (n >= 4) {
        CopyPair<std::uint32_t>(d, s, n);
    } else {
        d[0] = s[0];
        d[n / 2] = s[n / 2];
        d[n - 1] = s[n - 1];
    }
}

} // namespace

[[gnu::target("sse2")]] void Sse2RunBlit(std::uint8_t* dst, std::ptrdiff_t pitch,
                                         const SpriteRecord& sprite) {
    const std::uint8_t* src = sprite.data;
    for (int row = 0; row < sprite.height; ++row, dst += pitch) {
        std::uint8_t* d = dst;
        for (;;) {
            const int n = static_cast<std::int8_t>(*src++);
            if (n > 0) {
                CopyRun(d, src, static_cast<std::size_t>(n));
                src += n;
                d += n;
            } else if (n < 0) {
                d -= n;
            } else {
                break;
            }
        }
    }
}

// The plain memcpy-per-run blitters the renderer's fast copy is measured
// against (workload.h), and the same walk with each run copied by 16-byte
// SSE2 moves. The Win32 benchmark builds this file for speed (-O2).
#include "bench/graphics/workload.h"

#include <cstring>

namespace gfx_workload {

namespace {

// The C runtime's memcpy, called through a pointer the compiler cannot see
// through, so that it is not expanded in line.
void* (*volatile libraryMemcpy)(void*, const void*, std::size_t) = std::memcpy;

enum class RunCopy { Inline, Library, Sse2 };

template <class T>
[[gnu::always_inline]] inline void CopyPair(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    T a, b;
    std::memcpy(&a, s, sizeof a);
    std::memcpy(&b, s + n - sizeof b, sizeof b);
    std::memcpy(d, &a, sizeof a);
    std::memcpy(d + n - sizeof b, &b, sizeof b);
}

// n bytes (1 to 127) with unaligned 16-byte moves, the last one ending at
// the run's end and overlapping the one before; under 16 bytes, two
// overlapping moves of 8, 4 or 1 bytes. Nothing beyond the run is written.
// Written with the compiler's vector type, so that it becomes SSE2 moves
// where it is inlined into code built for SSE2 (Sse2RunBlit).
[[gnu::always_inline]] inline void Sse2Copy(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    using Vector = char __attribute__((vector_size(16)));
    if (n >= 16) {
        Vector v;
        std::size_t i = 0;
        for (; i + 16 < n; i += 16) {
            std::memcpy(&v, s + i, 16);
            std::memcpy(d + i, &v, 16);
        }
        std::memcpy(&v, s + n - 16, 16);
        std::memcpy(d + n - 16, &v, 16);
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

template <RunCopy Copy>
[[gnu::always_inline]] inline void Blit(std::uint8_t* dst, std::ptrdiff_t pitch,
                                        const SpriteRecord& sprite) {
    const std::uint8_t* src = sprite.data;
    for (int row = 0; row < sprite.height; ++row, dst += pitch) {
        std::uint8_t* d = dst;
        for (;;) {
            const int n = static_cast<std::int8_t>(*src++);
            if (n > 0) {
                if constexpr (Copy == RunCopy::Library) {
                    libraryMemcpy(d, src, static_cast<std::size_t>(n));
                } else if constexpr (Copy == RunCopy::Sse2) {
                    Sse2Copy(d, src, static_cast<std::size_t>(n));
                } else {
                    std::memcpy(d, src, static_cast<std::size_t>(n));
                }
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

} // namespace

void MemcpyBlit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite) {
    Blit<RunCopy::Inline>(dst, pitch, sprite);
}

void LibraryMemcpyBlit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite) {
    Blit<RunCopy::Library>(dst, pitch, sprite);
}

[[gnu::target("sse2")]] void Sse2RunBlit(std::uint8_t* dst, std::ptrdiff_t pitch,
                                         const SpriteRecord& sprite) {
    Blit<RunCopy::Sse2>(dst, pitch, sprite);
}

} // namespace gfx_workload

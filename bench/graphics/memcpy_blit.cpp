// The plain memcpy-per-run blitters the renderer's fast copy is measured
// against (workload.h). The Win32 benchmark builds this file for speed (-O2).
#include "bench/graphics/workload.h"

#include <cstring>

namespace gfx_workload {

namespace {

// The C runtime's memcpy, called through a pointer the compiler cannot see
// through, so that it is not expanded in line.
void* (*volatile libraryMemcpy)(void*, const void*, std::size_t) = std::memcpy;

template <bool Library>
void Blit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite) {
    const std::uint8_t* src = sprite.data;
    for (int row = 0; row < sprite.height; ++row, dst += pitch) {
        std::uint8_t* d = dst;
        for (;;) {
            const int n = static_cast<std::int8_t>(*src++);
            if (n > 0) {
                if constexpr (Library) {
                    libraryMemcpy(d, src, static_cast<std::size_t>(n));
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
    Blit<false>(dst, pitch, sprite);
}

void LibraryMemcpyBlit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite) {
    Blit<true>(dst, pitch, sprite);
}

} // namespace gfx_workload

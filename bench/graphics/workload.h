// The sprites and positions the drawing benchmarks use, on the host and in
// the Win32 benchmark alike, and the plain blitter they are measured against.
//
// Game-like sprites of 32, 64 and 128 pixels square (a rounded silhouette
// with one or two holes per row: about a third transparent, a few runs per
// row), encoded with EncodeSprite, and 512 positions per sprite in a 640 x 480
// 8-bit buffer: wholly inside, and straddling one edge by 1 .. size - 1
// pixels. The work of a pass is counted in literal pixels landed.
#pragma once

#include "graphics/graphics.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace gfx_workload {

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 480;
constexpr int POSITIONS = 512;
constexpr int SIZES[] = {32, 64, 128};

struct Position {
    int x, y;
};

struct Workload {
    int size = 0;
    std::vector<std::uint8_t> bitmap; // size x size, 0 transparent
    std::vector<std::uint8_t> data;   // the sprite data
    SpriteRecord sprite{};
    std::vector<std::vector<std::uint8_t>> rowLiterals; // each row's literal bytes, packed
    std::vector<Position> inside, straddling;
    double insidePixels = 0, straddlingPixels = 0; // literal pixels landed per pass
    double transparentShare = 0, runsPerRow = 0;
};

// The workloads for SIZES, always the same for the same seed.
std::vector<Workload> MakeWorkloads(std::uint32_t seed);

// Points screenState at `screen` (SCREEN_WIDTH x SCREEN_HEIGHT, the window the
// whole buffer) with `mix` as the mixing table and no flags.
void InstallScreen(std::uint8_t* screen, const std::uint8_t* mix);

// Plain blitters of the same sprite data, as a programmer would write them
// with the C library (memcpy_blit.cpp): each literal run one memcpy, no
// clipping, no mirroring. `dst` is the sprite's top-left pixel, rows `pitch`
// bytes apart. MemcpyBlit leaves the copy to the compiler, which may expand
// memcpy in line (knowing a run is at most 127 bytes); LibraryMemcpyBlit
// calls the C runtime's memcpy for every run.
void MemcpyBlit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite);
void LibraryMemcpyBlit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite);
// The same walk with each run copied by 16-byte SSE2 moves (the last one
// overlapping the one before, shorter runs by two overlapping moves): the
// strongest simple per-run copy. Needs a processor with SSE2.
void Sse2RunBlit(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite);

} // namespace gfx_workload

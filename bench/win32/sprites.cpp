// The sprites part of the Win32 benchmark: DrawSprite and DrawHVLine from the
// shell library as the programs link it (i686; the sprite renderer -O2, the
// line drawer -Os), beside the plain memcpy-per-run blitters of
// bench/graphics/memcpy_blit.cpp built for speed (-O2), one of them copying
// each run with 16-byte SSE2 moves, on the sprites and
// positions of the host benchmark (bench/graphics/workload.h). The graphics
// sources are also built here with the other choice of flags
// (CMakeLists.txt), so that the build choice is measured on the same work in
// the same repetitions. Speeds are millions of literal pixels landed per
// second.
#include "bench/graphics/workload.h"
#include "bench/win32/parts.h"
#include "graphics/graphics.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The graphics sources built with the other choice of flags: the same code
// with its entry points and its screen state renamed. The sprite renderer's
// screen state is defined here, since the line drawer's source defines it.
void DrawSpriteOs(std::int32_t x, std::int32_t y, const SpriteRecord* sprite);
void DrawHVLineO2(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                  std::uint32_t colour);
ScreenState screenStateOs{};
extern ScreenState screenStateO2;

namespace {

using gfx_workload::Position;
using gfx_workload::SCREEN_HEIGHT;
using gfx_workload::SCREEN_WIDTH;
using gfx_workload::Workload;

// The C runtime's memset, called through a pointer so that it is not expanded
// in line (this file is built -Os, which would make it a string store).
void* (*volatile libraryMemset)(void*, int, std::size_t) = std::memset;

// The per-run blitters DrawSprite's fast copy is measured against
// (bench/graphics/memcpy_blit.cpp, -O2).
using Blitter = void (*)(std::uint8_t* dst, std::ptrdiff_t pitch, const SpriteRecord& sprite);
struct BlitPeer {
    const char* name;
    Blitter blit;
};
const BlitPeer kBlitPeers[] = {
    {"memcpy/run -O2", gfx_workload::MemcpyBlit},
    {"SSE2/run -O2", gfx_workload::Sse2RunBlit},
    {"memcpy() calls", gfx_workload::LibraryMemcpyBlit},
};

// Draws the same positions with DrawSprite and with a blitter from the same
// starting buffer and says whether they land the same pixels.
bool Agrees(const Workload& w, std::vector<std::uint8_t>& screen, Blitter blit) {
    std::vector<std::uint8_t> other(screen.size());
    for (std::size_t i = 0; i < screen.size(); ++i)
        screen[i] = other[i] = static_cast<std::uint8_t>(i * 7 + i / 640);
    for (Position p : w.inside) {
        DrawSprite(p.x, p.y, &w.sprite);
        blit(other.data() + p.y * SCREEN_WIDTH + p.x, SCREEN_WIDTH, w.sprite);
    }
    return other == screen;
}

void Run(const bench::Options& options) {
    std::vector<std::uint8_t> screen(SCREEN_WIDTH * SCREEN_HEIGHT);
    std::vector<std::uint8_t> mix(MIX_TABLE_SIZE);
    for (std::size_t i = 0; i < mix.size(); ++i)
        mix[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    gfx_workload::InstallScreen(screen.data(), mix.data());
    const std::vector<Workload> workloads = gfx_workload::MakeWorkloads(1995);

    for (const Workload& w : workloads) {
        bool same = true;
        for (const BlitPeer& peer : kBlitPeers) same = same && Agrees(w, screen, peer.blit);
        std::printf("sprite %3dx%-3d: same pixels as the memcpy and SSE2 blitters: %s\n", w.size,
                    w.size, same ? "yes" : "NO");
        if (!same) return;
    }

    bench::PrintHeader("sprites as shipped (speeds in millions of literal pixels per second)",
                       options);
    // DrawSprite as shipped, or its -Os build, at every position with `flags`.
    const auto draw = [&screen](bool os, const Workload& w, const std::vector<Position>& positions,
                                std::uint16_t flags) {
        return [&screen, os, &w, &positions, flags] {
            screenState.drawFlags = flags;
            screenStateOs = screenState;
            for (Position p : positions) {
                if (os) {
                    DrawSpriteOs(p.x, p.y, &w.sprite);
                } else {
                    DrawSprite(p.x, p.y, &w.sprite);
                }
            }
            screenState.drawFlags = 0;
            bench::Keep(screen.data());
        };
    };
    for (const Workload& w : workloads) {
        const std::string size = std::to_string(w.size);
        bench::Comparison copy("copy " + size, w.insidePixels);
        copy.Ours("DrawSprite", draw(false, w, w.inside, 0));
        for (const BlitPeer& peer : kBlitPeers) {
            copy.Peer(
                peer.name,
                [&screen, &w, blit = peer.blit] {
                    for (Position p : w.inside)
                        blit(screen.data() + p.y * SCREEN_WIDTH + p.x, SCREEN_WIDTH, w.sprite);
                    bench::Keep(screen.data());
                },
                1.0);
        }
        copy.Peer("DrawSprite -Os", draw(true, w, w.inside, 0));
        copy.Run(options);
    }
    // The other sprite cases beside the -Os build of the same code.
    for (const Workload& w : workloads) {
        const std::string size = std::to_string(w.size);
        struct Case {
            const char* name;
            const std::vector<Position>& positions;
            double pixels;
            std::uint16_t flags;
        };
        const Case cases[] = {{"clipped ", w.straddling, w.straddlingPixels, 0},
                              {"mirrored ", w.inside, w.insidePixels, DRAW_MIRROR_X},
                              {"mix ", w.inside, w.insidePixels, DRAW_MIX_SRC_ROW}};
        for (const Case& c : cases) {
            bench::Comparison other(c.name + size, c.pixels);
            other.Ours("DrawSprite", draw(false, w, c.positions, c.flags));
            other.Peer("DrawSprite -Os", draw(true, w, c.positions, c.flags));
            other.Run(options);
        }
    }
    bench::PrintHeader("spans as shipped (speeds in millions of pixels per second)", options);
    screenStateO2 = screenState;
    for (int length : {16, 64, 256, 640}) {
        bench::Comparison span("span " + std::to_string(length), double{SCREEN_HEIGHT} * length);
        span.Ours("DrawHVLine", [&screen, length] {
            for (int y = 0; y < SCREEN_HEIGHT; ++y) DrawHVLine(0, y, length - 1, y, 0x5A);
            bench::Keep(screen.data());
        });
        span.Peer("memset() calls", [&screen, length] {
            for (int y = 0; y < SCREEN_HEIGHT; ++y)
                libraryMemset(screen.data() + y * SCREEN_WIDTH, 0x5A,
                              static_cast<std::size_t>(length));
            bench::Keep(screen.data());
        });
        span.Peer("DrawHVLine -O2", [&screen, length] {
            for (int y = 0; y < SCREEN_HEIGHT; ++y) DrawHVLineO2(0, y, length - 1, y, 0x5A);
            bench::Keep(screen.data());
        });
        span.Run(options);
    }
}

const BenchPart part("sprites", Run);

} // namespace

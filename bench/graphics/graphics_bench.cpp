// The sprite renderer and the line drawer beside Allegro 4, SDL2, plain
// memcpy-per-run blitters, memcpy and memset, every peer in each repetition
// (bench/harness.h).
//
// Sprites and positions: bench/graphics/workload.h. One call of a sprite case
// draws the sprite at all 512 positions into a 640 x 480 8-bit buffer; speeds
// are millions of literal pixels landed per second ("MB/s": one byte each).
// Spans are horizontal lines of one length on every row.
//
//   build/<dir>/bin/graphics_bench [--reps=N] [--rounds=N] [--ms=N] [--only=TEXT]
// --only runs the cases whose name holds TEXT ("copy 128", "span"), e.g. for
// a profile.
#include "bench/graphics/peers.h"
#include "bench/graphics/workload.h"
#include "bench/harness.h"
#include "graphics/graphics.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using gfx_workload::Position;
using gfx_workload::SCREEN_HEIGHT;
using gfx_workload::SCREEN_WIDTH;
using gfx_workload::Workload;

struct Peers {
    allegro_peer::RleSprite* allegroRle;
    allegro_peer::Bitmap* allegroBitmap;
    sdl_peer::Sprite* sdlSprite;
};

struct Setup {
    std::vector<Workload> workloads = gfx_workload::MakeWorkloads(1995);
    std::vector<Peers> peers;
    std::vector<std::uint8_t> screen = std::vector<std::uint8_t>(SCREEN_WIDTH * SCREEN_HEIGHT);
    std::vector<std::uint8_t> mix = std::vector<std::uint8_t>(MIX_TABLE_SIZE);
    allegro_peer::Screen* allegroScreen = nullptr;
    sdl_peer::Screen* sdlScreen = nullptr;
};

Setup* setup = nullptr;
std::string only; // --only=TEXT

bool Wanted(const std::string& name) {
    return only.empty() || name.find(only) != std::string::npos;
}

// Runs a comparison when --only allows it.
void Run(bench::Comparison& c, const std::string& name, const bench::Options& options) {
    if (Wanted(name)) c.Run(options);
}

void Prepare() {
    std::mt19937 rng(7);
    for (auto& b : setup->mix) b = static_cast<std::uint8_t>(rng());
    setup->allegroScreen = allegro_peer::MakeScreen(SCREEN_WIDTH, SCREEN_HEIGHT);
    setup->sdlScreen = sdl_peer::MakeScreen(SCREEN_WIDTH, SCREEN_HEIGHT);
    allegro_peer::SetColourMap(setup->mix.data());
    gfx_workload::InstallScreen(setup->screen.data(), setup->mix.data());
    for (const Workload& w : setup->workloads) {
        setup->peers.push_back(
            {allegro_peer::MakeRleSprite(w.bitmap.data(), w.size, w.size),
             allegro_peer::MakeBitmap(w.bitmap.data(), w.size, w.size),
             sdl_peer::MakeRleSprite(setup->sdlScreen, w.bitmap.data(), w.size, w.size)});
    }
}

// Draws the same positions with the renderer and with a peer from the same
// starting buffer and says whether the buffers agree: the peers must be doing
// the same work for the comparison to mean anything.
template <typename Peer>
bool Agrees(const Workload& w, const std::vector<Position>& positions, std::uint16_t flags,
            std::uint8_t* peerPixels, int peerPitch, Peer&& peer) {
    std::mt19937 rng(3);
    for (auto& b : setup->screen) b = static_cast<std::uint8_t>(rng());
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        std::memcpy(peerPixels + y * peerPitch, setup->screen.data() + y * SCREEN_WIDTH,
                    SCREEN_WIDTH);
    screenState.drawFlags = flags;
    for (Position p : positions) {
        DrawSprite(p.x, p.y, &w.sprite);
        peer(p);
    }
    screenState.drawFlags = 0;
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
        if (std::memcmp(peerPixels + y * peerPitch, setup->screen.data() + y * SCREEN_WIDTH,
                        SCREEN_WIDTH) != 0)
            return false;
    }
    return true;
}

// Prints what each sprite is like and whether every peer lands the same pixels.
bool CheckPeers() {
    std::uint8_t* al = allegro_peer::Pixels(setup->allegroScreen);
    std::uint8_t* sd = sdl_peer::Pixels(setup->sdlScreen);
    const int sdPitch = sdl_peer::Pitch(setup->sdlScreen);
    std::vector<std::uint8_t> plain(setup->screen.size());
    bool all = true;
    for (std::size_t i = 0; i < setup->workloads.size(); ++i) {
        const Workload& w = setup->workloads[i];
        const Peers& p = setup->peers[i];
        std::vector<Position> mixed(w.inside.begin(), w.inside.begin() + 16);
        mixed.insert(mixed.end(), w.straddling.begin(), w.straddling.begin() + 16);
        const std::vector<Position> inside(w.inside.begin(), w.inside.begin() + 32);
        const bool a = Agrees(w, mixed, 0, al, SCREEN_WIDTH, [&](Position q) {
            allegro_peer::DrawRle(setup->allegroScreen, p.allegroRle, q.x, q.y);
        });
        const bool b = Agrees(w, mixed, 0, sd, sdPitch, [&](Position q) {
            sdl_peer::Blit(setup->sdlScreen, p.sdlSprite, q.x, q.y);
        });
        const bool c = Agrees(w, mixed, DRAW_MIX_SRC_ROW, al, SCREEN_WIDTH, [&](Position q) {
            allegro_peer::DrawTransRle(setup->allegroScreen, p.allegroRle, q.x, q.y);
        });
        const bool d = Agrees(w, mixed, DRAW_MIRROR_X, al, SCREEN_WIDTH, [&](Position q) {
            allegro_peer::DrawSpriteHFlip(setup->allegroScreen, p.allegroBitmap, q.x, q.y);
        });
        const bool e = Agrees(w, inside, 0, plain.data(), SCREEN_WIDTH, [&](Position q) {
            gfx_workload::MemcpyBlit(plain.data() + q.y * SCREEN_WIDTH + q.x, SCREEN_WIDTH,
                                     w.sprite);
        });
        const bool f = Agrees(w, inside, 0, plain.data(), SCREEN_WIDTH, [&](Position q) {
            gfx_workload::LibraryMemcpyBlit(plain.data() + q.y * SCREEN_WIDTH + q.x, SCREEN_WIDTH,
                                            w.sprite);
        });
        std::printf("sprite %3dx%-3d %5zu data bytes, %2.0f%% transparent, %.1f runs/row; same "
                    "pixels as Allegro RLE %s, SDL RLE %s (RLE path %s), Allegro trans %s, "
                    "Allegro h_flip %s, memcpy blitters %s\n",
                    w.size, w.size, w.data.size(), 100 * w.transparentShare, w.runsPerRow,
                    a ? "yes" : "NO", b ? "yes" : "NO", sdl_peer::IsRle(p.sdlSprite) ? "yes" : "NO",
                    c ? "yes" : "NO", d ? "yes" : "NO", e && f ? "yes" : "NO");
        all = all && a && b && c && d && e && f && sdl_peer::IsRle(p.sdlSprite);
    }
    return all;
}

// Our renderer at every position of `positions`, with `flags`.
std::function<void()> Ours(const Workload& w, const std::vector<Position>& positions,
                           std::uint16_t flags) {
    return [&w, &positions, flags] {
        screenState.drawFlags = flags;
        for (Position p : positions) DrawSprite(p.x, p.y, &w.sprite);
        screenState.drawFlags = 0;
        bench::Keep(setup->screen.data());
    };
}

// A peer's drawing function at every position of `positions`.
template <typename Draw>
std::function<void()> AtEach(const std::vector<Position>& positions, std::uint8_t* pixels,
                             Draw draw) {
    return [&positions, pixels, draw] {
        for (Position q : positions) draw(q);
        bench::Keep(pixels);
    };
}

void CompareSprites(const bench::Options& options) {
    bench::PrintHeader("sprites (speeds in millions of literal pixels per second)", options);
    for (std::size_t i = 0; i < setup->workloads.size(); ++i) {
        const Workload& w = setup->workloads[i];
        const Peers& p = setup->peers[i];
        allegro_peer::Screen* as = setup->allegroScreen;
        sdl_peer::Screen* ss = setup->sdlScreen;
        std::uint8_t* const screen = setup->screen.data();
        const auto sdl = [&](const std::vector<Position>& at) {
            return AtEach(at, sdl_peer::Pixels(ss),
                          [p, ss](Position q) { sdl_peer::Blit(ss, p.sdlSprite, q.x, q.y); });
        };
        const auto allegroRle = [&](const std::vector<Position>& at) {
            return AtEach(at, allegro_peer::Pixels(as), [p, as](Position q) {
                allegro_peer::DrawRle(as, p.allegroRle, q.x, q.y);
            });
        };
        using Blitter = void (*)(std::uint8_t*, std::ptrdiff_t, const SpriteRecord&);
        const auto blitter = [&](Blitter blit) {
            return AtEach(w.inside, screen, [&w, screen, blit](Position q) {
                blit(screen + q.y * SCREEN_WIDTH + q.x, SCREEN_WIDTH, w.sprite);
            });
        };
        const std::string size = std::to_string(w.size);

        bench::Comparison copy("copy " + size, w.insidePixels);
        copy.Ours("DrawSprite", Ours(w, w.inside, 0));
        copy.Peer("SDL2 RLE", sdl(w.inside), 1.2);
        copy.Peer("Allegro RLE", allegroRle(w.inside), 1.5);
        copy.Peer("memcpy/run", blitter(gfx_workload::MemcpyBlit));
        copy.Peer("memcpy() calls", blitter(gfx_workload::LibraryMemcpyBlit));
        // Each row's literals in one piece: a floor.
        copy.Peer("memcpy/row", AtEach(w.inside, screen, [&w, screen](Position q) {
                      std::uint8_t* row = screen + q.y * SCREEN_WIDTH + q.x;
                      for (const auto& literals : w.rowLiterals) {
                          std::memcpy(row, literals.data(), literals.size());
                          row += SCREEN_WIDTH;
                      }
                  }));
        Run(copy, "copy " + size, options);

        bench::Comparison clipped("clipped " + size, w.straddlingPixels);
        clipped.Ours("DrawSprite", Ours(w, w.straddling, 0));
        clipped.Peer("SDL2 RLE", sdl(w.straddling), 1.0);
        clipped.Peer("Allegro RLE", allegroRle(w.straddling));
        Run(clipped, "clipped " + size, options);

        bench::Comparison mirrored("mirrored " + size, w.insidePixels);
        mirrored.Ours("DrawSprite", Ours(w, w.inside, DRAW_MIRROR_X));
        mirrored.Peer("Allegro h_flip",
                      AtEach(w.inside, allegro_peer::Pixels(as), [p, as](Position q) {
                          allegro_peer::DrawSpriteHFlip(as, p.allegroBitmap, q.x, q.y);
                      }));
        Run(mirrored, "mirrored " + size, options);

        bench::Comparison mix("mix " + size, w.insidePixels);
        mix.Ours("DrawSprite", Ours(w, w.inside, DRAW_MIX_SRC_ROW));
        mix.Peer(
            "Allegro trans",
            AtEach(w.inside, allegro_peer::Pixels(as),
                   [p, as](Position q) { allegro_peer::DrawTransRle(as, p.allegroRle, q.x, q.y); }),
            1.5);
        Run(mix, "mix " + size, options);
    }
}

// Horizontal spans of `length` on every row: DrawHVLine against memset.
void CompareSpans(const bench::Options& options) {
    bench::PrintHeader("spans (speeds in millions of pixels per second)", options);
    for (int length : {16, 64, 256, 640}) {
        bench::Comparison span("span " + std::to_string(length), double{SCREEN_HEIGHT} * length);
        span.Ours("DrawHVLine", [length] {
            for (int y = 0; y < SCREEN_HEIGHT; ++y) DrawHVLine(0, y, length - 1, y, 0x5A);
            bench::Keep(setup->screen.data());
        });
        span.Peer(
            "memset",
            [length] {
                for (int y = 0; y < SCREEN_HEIGHT; ++y)
                    std::memset(setup->screen.data() + y * SCREEN_WIDTH, 0x5A,
                                static_cast<std::size_t>(length));
                bench::Keep(setup->screen.data());
            },
            length >= 64 ? 0.9 : 0);
        Run(span, "span " + std::to_string(length), options);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!allegro_peer::Start()) {
        std::fprintf(stderr, "Allegro could not start\n");
        return 1;
    }
    const bench::Options options = bench::ParseOptions(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--only=", 7) == 0) only = argv[i] + 7;
    }
    Setup s;
    setup = &s;
    Prepare();
    if (!CheckPeers()) {
        std::fprintf(stderr, "a peer does not land the same pixels: no comparison\n");
        return 1;
    }
    CompareSprites(options);
    CompareSpans(options);
    return 0;
}

// The sprite renderer and the line drawer beside Allegro 4, SDL2 and memcpy.
//
// Workload: game-like sprites of 32, 64 and 128 pixels square (a rounded
// silhouette with holes, about a third transparent, a few runs per row) drawn
// at 512 positions into a 640 x 480 8-bit buffer: wholly inside, straddling
// the edges, mirrored, and mixed through a 256 x 256 table. Every benchmark
// reports the literal pixels it lands per second ("pixels"); after the run a
// table gives the ratios to each peer on the same sprites and positions.
#include "bench/graphics/peers.h"
#include "graphics/graphics.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 480;
constexpr int POSITIONS = 512;

struct Position {
    int x, y;
};

struct Workload {
    int size = 0;
    std::vector<std::uint8_t> bitmap; // size x size, 0 transparent
    std::vector<std::uint8_t> data;
    SpriteRecord sprite{};
    std::vector<std::vector<std::uint8_t>> rowLiterals; // each row's literal bytes, packed
    std::vector<Position> inside, straddling;
    double insidePixels = 0, straddlingPixels = 0; // literal pixels landed per pass
    double transparentShare = 0, runsPerRow = 0;
    allegro_peer::RleSprite* allegroRle = nullptr;
    allegro_peer::Bitmap* allegroBitmap = nullptr;
    sdl_peer::Sprite* sdlSprite = nullptr;
};

struct Setup {
    std::vector<Workload> workloads;
    std::vector<std::uint8_t> screen = std::vector<std::uint8_t>(SCREEN_WIDTH * SCREEN_HEIGHT);
    std::vector<std::uint8_t> mix = std::vector<std::uint8_t>(MIX_TABLE_SIZE);
    allegro_peer::Screen* allegroScreen = nullptr;
    sdl_peer::Screen* sdlScreen = nullptr;
};

Setup setup;

// A rounded silhouette with one or two holes per row.
std::vector<std::uint8_t> GameSprite(int size, std::mt19937& rng) {
    std::vector<std::uint8_t> bitmap(static_cast<std::size_t>(size * size), 0);
    const double r = size / 2.0;
    for (int y = 0; y < size; ++y) {
        const double dy = (y + 0.5 - r) / r;
        const int half = static_cast<int>(r * std::sqrt(std::max(0.0, 1.0 - dy * dy)) + 0.5);
        const int from = size / 2 - half, to = size / 2 + half;
        for (int x = from; x < to; ++x) {
            bitmap[static_cast<std::size_t>(y * size + x)] =
                static_cast<std::uint8_t>(1 + rng() % 255);
        }
        const int holes = 1 + static_cast<int>(rng() % 2);
        for (int h = 0; h < holes && to - from > 8; ++h) {
            const int len = 1 + static_cast<int>(rng() % static_cast<unsigned>(size / 10 + 1));
            const int at =
                from + 2 + static_cast<int>(rng() % static_cast<unsigned>(to - from - 4));
            for (int x = at; x < std::min(at + len, to); ++x)
                bitmap[static_cast<std::size_t>(y * size + x)] = 0;
        }
    }
    return bitmap;
}

double VisiblePixels(const Workload& w, Position p) {
    double n = 0;
    for (int y = 0; y < w.size; ++y) {
        for (int x = 0; x < w.size; ++x) {
            const int sx = p.x + x, sy = p.y + y;
            if (sx >= 0 && sx < SCREEN_WIDTH && sy >= 0 && sy < SCREEN_HEIGHT &&
                w.bitmap[static_cast<std::size_t>(y * w.size + x)] != 0)
                ++n;
        }
    }
    return n;
}

void Prepare() {
    std::mt19937 rng(1995);
    for (auto& b : setup.mix) b = static_cast<std::uint8_t>(rng());
    setup.allegroScreen = allegro_peer::MakeScreen(SCREEN_WIDTH, SCREEN_HEIGHT);
    setup.sdlScreen = sdl_peer::MakeScreen(SCREEN_WIDTH, SCREEN_HEIGHT);
    allegro_peer::SetColourMap(setup.mix.data());

    ScreenState& s = screenState;
    s.bufferBase = setup.screen.data();
    s.windowBase = setup.screen.data();
    s.pitch = SCREEN_WIDTH;
    s.windowX = 0;
    s.windowY = 0;
    s.windowWidth = SCREEN_WIDTH;
    s.windowHeight = SCREEN_HEIGHT;
    s.mixTable = setup.mix.data();

    for (int size : {32, 64, 128}) {
        Workload w;
        w.size = size;
        w.bitmap = GameSprite(size, rng);
        const auto sz = static_cast<std::uint8_t>(size);
        w.data.resize(EncodeSprite(w.bitmap.data(), sz, sz, size, 0, nullptr, 0));
        EncodeSprite(w.bitmap.data(), sz, sz, size, 0, w.data.data(), w.data.size());
        w.sprite = SpriteRecord{w.data.data(), sz, sz};
        double transparent = 0, runs = 0;
        for (int y = 0; y < size; ++y) {
            std::vector<std::uint8_t> literals;
            for (int x = 0; x < size; ++x) {
                const std::uint8_t px = w.bitmap[static_cast<std::size_t>(y * size + x)];
                if (px == 0) {
                    ++transparent;
                } else {
                    literals.push_back(px);
                }
                if (x == 0 ||
                    (px == 0) != (w.bitmap[static_cast<std::size_t>(y * size + x - 1)] == 0))
                    ++runs;
            }
            w.rowLiterals.push_back(std::move(literals));
        }
        w.transparentShare = transparent / (size * size);
        w.runsPerRow = runs / size;
        for (int i = 0; i < POSITIONS; ++i) {
            w.inside.push_back({static_cast<int>(rng() % (SCREEN_WIDTH - size + 1)),
                                static_cast<int>(rng() % (SCREEN_HEIGHT - size + 1))});
            // Straddling one edge by 1 .. size - 1 pixels.
            const int by = 1 + static_cast<int>(rng() % static_cast<unsigned>(size - 1));
            const int along = static_cast<int>(rng() % (SCREEN_HEIGHT - size + 1));
            switch (i % 4) {
            case 0: w.straddling.push_back({by - size, along}); break;
            case 1: w.straddling.push_back({SCREEN_WIDTH - by, along}); break;
            case 2: w.straddling.push_back({along, by - size}); break;
            default: w.straddling.push_back({along, SCREEN_HEIGHT - by}); break;
            }
        }
        for (Position p : w.inside) w.insidePixels += VisiblePixels(w, p);
        for (Position p : w.straddling) w.straddlingPixels += VisiblePixels(w, p);
        w.allegroRle = allegro_peer::MakeRleSprite(w.bitmap.data(), size, size);
        w.allegroBitmap = allegro_peer::MakeBitmap(w.bitmap.data(), size, size);
        w.sdlSprite = sdl_peer::MakeRleSprite(setup.sdlScreen, w.bitmap.data(), size, size);
        setup.workloads.push_back(std::move(w));
    }
}

// Draws the same passes with the renderer and with a peer from the same
// starting buffer and says whether the buffers agree: the peers must be doing
// the same work for the comparison to mean anything.
template <typename Peer>
bool Agrees(const Workload& w, const std::vector<Position>& positions, std::uint16_t flags,
            std::uint8_t* peerPixels, int peerPitch, Peer&& peer) {
    std::mt19937 rng(3);
    for (auto& b : setup.screen) b = static_cast<std::uint8_t>(rng());
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        std::memcpy(peerPixels + y * peerPitch, setup.screen.data() + y * SCREEN_WIDTH,
                    SCREEN_WIDTH);
    screenState.drawFlags = flags;
    for (Position p : positions) {
        DrawSprite(p.x, p.y, &w.sprite);
        peer(p);
    }
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
        if (std::memcmp(peerPixels + y * peerPitch, setup.screen.data() + y * SCREEN_WIDTH,
                        SCREEN_WIDTH) != 0)
            return false;
    }
    return true;
}

void CheckPeers() {
    std::uint8_t* al = allegro_peer::Pixels(setup.allegroScreen);
    std::uint8_t* sd = sdl_peer::Pixels(setup.sdlScreen);
    const int sdPitch = sdl_peer::Pitch(setup.sdlScreen);
    for (const Workload& w : setup.workloads) {
        const std::vector<Position> few(w.straddling.begin(), w.straddling.begin() + 16);
        std::vector<Position> mixed(w.inside.begin(), w.inside.begin() + 16);
        mixed.insert(mixed.end(), few.begin(), few.end());
        const bool a = Agrees(w, mixed, 0, al, SCREEN_WIDTH, [&](Position p) {
            allegro_peer::DrawRle(setup.allegroScreen, w.allegroRle, p.x, p.y);
        });
        const bool b = Agrees(w, mixed, 0, sd, sdPitch, [&](Position p) {
            sdl_peer::Blit(setup.sdlScreen, w.sdlSprite, p.x, p.y);
        });
        const bool c = Agrees(w, mixed, DRAW_MIX_SRC_ROW, al, SCREEN_WIDTH, [&](Position p) {
            allegro_peer::DrawTransRle(setup.allegroScreen, w.allegroRle, p.x, p.y);
        });
        const bool d = Agrees(w, mixed, DRAW_MIRROR_X, al, SCREEN_WIDTH, [&](Position p) {
            allegro_peer::DrawSpriteHFlip(setup.allegroScreen, w.allegroBitmap, p.x, p.y);
        });
        std::printf("sprite %3dx%-3d %4zu data bytes, %2.0f%% transparent, %.1f runs/row; same "
                    "pixels as Allegro RLE %s, SDL RLE %s (RLE path %s), Allegro trans %s, "
                    "Allegro h_flip %s\n",
                    w.size, w.size, w.data.size(), 100 * w.transparentShare, w.runsPerRow,
                    a ? "yes" : "NO", b ? "yes" : "NO", sdl_peer::IsRle(w.sdlSprite) ? "yes" : "NO",
                    c ? "yes" : "NO", d ? "yes" : "NO");
    }
    screenState.drawFlags = 0;
}

void Report(benchmark::State& state, double pixelsPerPass) {
    state.counters["pixels"] = benchmark::Counter(
        pixelsPerPass * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

enum class Kind { Copy, Clipped, Mirrored, Mix };

const char* KindName(Kind k) {
    switch (k) {
    case Kind::Copy: return "Copy";
    case Kind::Clipped: return "CopyClipped";
    case Kind::Mirrored: return "Mirrored";
    case Kind::Mix: return "Mix";
    }
    return "";
}

void RegisterSprite(Kind kind, const char* who, std::size_t index) {
    const std::string name =
        std::string(KindName(kind)) + "/" + who + "/" + std::to_string(setup.workloads[index].size);
    const std::string peer = who;
    benchmark::RegisterBenchmark(name.c_str(), [kind, peer, index](benchmark::State& state) {
        const Workload& w = setup.workloads[index];
        const std::vector<Position>& positions = kind == Kind::Clipped ? w.straddling : w.inside;
        const double pixels = kind == Kind::Clipped ? w.straddlingPixels : w.insidePixels;
        if (peer == "shell") {
            screenState.drawFlags = kind == Kind::Mirrored ? DRAW_MIRROR_X
                                    : kind == Kind::Mix    ? DRAW_MIX_SRC_ROW
                                                           : 0;
            for (auto _ : state) {
                for (Position p : positions) DrawSprite(p.x, p.y, &w.sprite);
                benchmark::ClobberMemory();
            }
            screenState.drawFlags = 0;
        } else if (peer == "allegro") {
            for (auto _ : state) {
                for (Position p : positions) {
                    if (kind == Kind::Mix) {
                        allegro_peer::DrawTransRle(setup.allegroScreen, w.allegroRle, p.x, p.y);
                    } else if (kind == Kind::Mirrored) {
                        allegro_peer::DrawSpriteHFlip(setup.allegroScreen, w.allegroBitmap, p.x,
                                                      p.y);
                    } else {
                        allegro_peer::DrawRle(setup.allegroScreen, w.allegroRle, p.x, p.y);
                    }
                }
                benchmark::ClobberMemory();
            }
        } else if (peer == "sdl") {
            for (auto _ : state) {
                for (Position p : positions) sdl_peer::Blit(setup.sdlScreen, w.sdlSprite, p.x, p.y);
                benchmark::ClobberMemory();
            }
        } else { // memcpy of each row's literal bytes: the floor
            for (auto _ : state) {
                for (Position p : positions) {
                    std::uint8_t* row = setup.screen.data() + p.y * SCREEN_WIDTH + p.x;
                    for (const auto& literals : w.rowLiterals) {
                        std::memcpy(row, literals.data(), literals.size());
                        row += SCREEN_WIDTH;
                    }
                }
                benchmark::ClobberMemory();
            }
        }
        Report(state, pixels);
    });
}

// Horizontal spans of `length` on every row: DrawHVLine against memset.
void RegisterSpan(const char* who, int length) {
    const std::string name = std::string("Span/") + who + "/" + std::to_string(length);
    const bool shell = std::string(who) == "shell";
    benchmark::RegisterBenchmark(name.c_str(), [shell, length](benchmark::State& state) {
        screenState.drawFlags = 0;
        std::uint32_t colour = 1;
        for (auto _ : state) {
            for (int y = 0; y < SCREEN_HEIGHT; ++y) {
                if (shell) {
                    DrawHVLine(0, y, length - 1, y, colour);
                } else {
                    std::memset(setup.screen.data() + y * SCREEN_WIDTH, static_cast<int>(colour),
                                static_cast<std::size_t>(length));
                }
            }
            ++colour;
            benchmark::ClobberMemory();
        }
        Report(state, double{SCREEN_HEIGHT} * length);
    });
}

// Keeps each benchmark's pixel rates (one per repetition) for the table
// printed after the run, which takes their median.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> rates;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("pixels");
            if (it == run.counters.end()) continue;
            // Each repetition, or only the median where the repetitions
            // themselves are not reported.
            if (run.run_type == Run::RT_Iteration ||
                (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median"))
                rates[run.run_name.str()].push_back(it->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintSummary(std::map<std::string, std::vector<double>>& rates) {
    const auto rate = [&](const std::string& name) {
        auto it = rates.find(name);
        if (it == rates.end() || it->second.empty()) return 0.0;
        std::vector<double>& v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf(
        "\nMedian of the repetitions; ratio = shell / peer.\n%-12s %5s %12s  %-26s %12s %7s\n",
        "workload", "size", "shell Mpx/s", "peer", "peer Mpx/s", "ratio");
    struct Line {
        const char* kind;
        const char* peer;
        const char* label;
    };
    const Line lines[] = {
        {"Copy", "allegro", "Allegro draw_rle_sprite"},
        {"Copy", "sdl", "SDL2 RLE blit"},
        {"Copy", "memcpy", "memcpy of literals (floor)"},
        {"CopyClipped", "allegro", "Allegro draw_rle_sprite"},
        {"CopyClipped", "sdl", "SDL2 RLE blit"},
        {"Mirrored", "allegro", "Allegro draw_sprite_h_flip"},
        {"Mix", "allegro", "Allegro draw_trans_rle"},
    };
    for (const Line& line : lines) {
        for (const Workload& w : setup.workloads) {
            const std::string size = std::to_string(w.size);
            const double ours = rate(std::string(line.kind) + "/shell/" + size);
            const double theirs = rate(std::string(line.kind) + "/" + line.peer + "/" + size);
            if (ours == 0 || theirs == 0) continue;
            std::printf("%-12s %5s %12.0f  %-26s %12.0f %6.2fx\n", line.kind, size.c_str(),
                        ours / 1e6, line.label, theirs / 1e6, ours / theirs);
        }
    }
    for (int length : {16, 64, 256, 640}) {
        const std::string l = std::to_string(length);
        const double ours = rate("Span/shell/" + l), theirs = rate("Span/memset/" + l);
        if (ours == 0 || theirs == 0) continue;
        std::printf("%-12s %5s %12.0f  %-26s %12.0f %6.2fx\n", "Span", l.c_str(), ours / 1e6,
                    "memset", theirs / 1e6, ours / theirs);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!allegro_peer::Start()) {
        std::fprintf(stderr, "Allegro could not start\n");
        return 1;
    }
    Prepare();
    CheckPeers();
    for (std::size_t i = 0; i < setup.workloads.size(); ++i) {
        for (const char* who : {"shell", "allegro", "sdl", "memcpy"})
            RegisterSprite(Kind::Copy, who, i);
        for (const char* who : {"shell", "allegro", "sdl"}) RegisterSprite(Kind::Clipped, who, i);
        for (const char* who : {"shell", "allegro"}) RegisterSprite(Kind::Mirrored, who, i);
        for (const char* who : {"shell", "allegro"}) RegisterSprite(Kind::Mix, who, i);
    }
    for (int length : {16, 64, 256, 640}) {
        RegisterSpan("shell", length);
        RegisterSpan("memset", length);
    }
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter.rates);
    benchmark::Shutdown();
    return 0;
}

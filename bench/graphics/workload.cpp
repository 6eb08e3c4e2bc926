#include "bench/graphics/workload.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gfx_workload {

namespace {

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

Workload MakeWorkload(int size, std::mt19937& rng) {
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
            if (x == 0 || (px == 0) != (w.bitmap[static_cast<std::size_t>(y * size + x - 1)] == 0))
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
    return w;
}

} // namespace

std::vector<Workload> MakeWorkloads(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Workload> out;
    for (int size : SIZES) out.push_back(MakeWorkload(size, rng));
    return out;
}

void InstallScreen(std::uint8_t* screen, const std::uint8_t* mix) {
    ScreenState& s = screenState;
    s.bufferBase = screen;
    s.windowBase = screen;
    s.pitch = SCREEN_WIDTH;
    s.windowX = 0;
    s.windowY = 0;
    s.windowWidth = SCREEN_WIDTH;
    s.windowHeight = SCREEN_HEIGHT;
    s.drawFlags = 0;
    s.mixTable = mix;
}

} // namespace gfx_workload

#include "bench/unpack/corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::filesystem::path& path, std::size_t limit = 4u << 20) {
    std::ifstream f(path, std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (data.size() > limit) data.resize(limit);
    return data;
}

Bytes GeneratedImage() {
    const std::size_t width = 320, height = 200, frames = 16;
    Bytes out;
    std::uint32_t rng = 7;
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                std::uint8_t v = std::uint8_t(16 + (x + f * 3) / 10 + y / 8);
                const long dx = long(x) - 160 - long(f * 4), dy = long(y) - 100;
                if (dx * dx + dy * dy < 2500) v = std::uint8_t(200 + (y / 10) % 4);
                if ((x / 32 + y / 25) % 5 == 0) v = 0;
                rng = rng * 1664525u + 1013904223u;
                if ((rng >> 28) == 0) v = std::uint8_t(v + 1);
                out.push_back(v);
            }
        }
    }
    return out;
}

} // namespace

std::vector<CorpusItem> LoadCorpus() {
    std::vector<CorpusItem> corpus;
    Bytes licenses;
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share/common-licenses", error))
        if (e.is_regular_file()) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) {
        const Bytes d = ReadFile(p);
        licenses.insert(licenses.end(), d.begin(), d.end());
    }
    if (!licenses.empty()) corpus.push_back({"licenses", licenses});
    for (const char* program : {"/usr/bin/bash", "/usr/bin/perl", "/usr/bin/cmake"}) {
        if (std::filesystem::exists(program))
            corpus.push_back(
                {std::filesystem::path(program).filename().string(), ReadFile(program)});
    }
    for (const char* image : {"/usr/share/pixmaps/debian-logo.png",
                              "/usr/share/doc/valgrind/html/images/dh-tree.png"}) {
        if (std::filesystem::exists(image)) {
            corpus.push_back({std::filesystem::path(image).filename().string(), ReadFile(image)});
            break;
        }
    }
    corpus.push_back({"image8", GeneratedImage()});
    return corpus;
}

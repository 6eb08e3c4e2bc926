// Unpacking speed and ratio beside zlib (level 9) and LZ4 (high compression,
// level 12) on the same data, with memcpy of the output as the floor; and
// packing speed beside zlib level 9. Speeds are megabytes of unpacked data
// per second. After the runs a table sums up each corpus item.
//
// Corpus: the license texts under /usr/share/common-licenses (joined), a few
// programs from /usr/bin, an icon file if one is found, and a generated 8-bit
// picture (320 x 200 frames: gradients, flat shapes, dither noise).
#include "unpack/unpack.h"

#include <benchmark/benchmark.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Item {
    std::string name;
    Bytes data;
    Bytes ours, zlib, lz4;
};

std::vector<Item> corpus;

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

void BuildCorpus() {
    Bytes licenses;
    std::vector<std::filesystem::path> paths;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share/common-licenses"))
        if (e.is_regular_file()) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) {
        const Bytes d = ReadFile(p);
        licenses.insert(licenses.end(), d.begin(), d.end());
    }
    if (!licenses.empty()) corpus.push_back({"licenses", licenses, {}, {}, {}});
    for (const char* program : {"/usr/bin/bash", "/usr/bin/perl", "/usr/bin/cmake"}) {
        if (std::filesystem::exists(program))
            corpus.push_back({std::filesystem::path(program).filename().string(),
                              ReadFile(program),
                              {},
                              {},
                              {}});
    }
    for (const char* icon : {"/usr/share/pixmaps/debian-logo.png",
                             "/usr/share/doc/valgrind/html/images/dh-tree.png"}) {
        if (std::filesystem::exists(icon)) {
            corpus.push_back(
                {std::filesystem::path(icon).filename().string(), ReadFile(icon), {}, {}, {}});
            break;
        }
    }
    corpus.push_back({"image8", GeneratedImage(), {}, {}, {}});

    for (Item& item : corpus) {
        item.ours.resize(PackBound(item.data.size()));
        item.ours.resize(PackBlock(item.data.data(), item.data.size(), item.ours.data(), 9).size);
        uLongf zsize = compressBound(uLong(item.data.size()));
        item.zlib.resize(zsize);
        compress2(item.zlib.data(), &zsize, item.data.data(), uLong(item.data.size()), 9);
        item.zlib.resize(zsize);
        item.lz4.resize(std::size_t(LZ4_compressBound(int(item.data.size()))));
        item.lz4.resize(std::size_t(LZ4_compress_HC(reinterpret_cast<const char*>(item.data.data()),
                                                    reinterpret_cast<char*>(item.lz4.data()),
                                                    int(item.data.size()), int(item.lz4.size()),
                                                    LZ4HC_CLEVEL_MAX)));
    }
}

void Fail(benchmark::State& state, const char* what) {
    state.SkipWithError(what);
}

void Finish(benchmark::State& state, const Item& item, std::size_t packed) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(item.data.size()));
    state.counters["ratio"] = double(packed) / double(item.data.size());
}

void BM_Unpack(benchmark::State& state, const Item* item) {
    Bytes out(item->data.size());
    for (auto _ : state) {
        const UnpackResult r =
            UnpackBlockSized(item->ours.data(), item->ours.size(), out.data(), out.size());
        if (r.Failed()) return Fail(state, "unpack failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != item->data) return Fail(state, "unpack gave other bytes");
    Finish(state, *item, item->ours.size());
}

void BM_Inflate(benchmark::State& state, const Item* item) {
    Bytes out(item->data.size());
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        if (uncompress(out.data(), &size, item->zlib.data(), uLong(item->zlib.size())) != Z_OK)
            return Fail(state, "inflate failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != item->data) return Fail(state, "inflate gave other bytes");
    Finish(state, *item, item->zlib.size());
}

void BM_Lz4(benchmark::State& state, const Item* item) {
    Bytes out(item->data.size());
    for (auto _ : state) {
        if (LZ4_decompress_safe(reinterpret_cast<const char*>(item->lz4.data()),
                                reinterpret_cast<char*>(out.data()), int(item->lz4.size()),
                                int(out.size())) != int(out.size()))
            return Fail(state, "lz4 failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != item->data) return Fail(state, "lz4 gave other bytes");
    Finish(state, *item, item->lz4.size());
}

void BM_Memcpy(benchmark::State& state, const Item* item) {
    Bytes out(item->data.size());
    for (auto _ : state) {
        std::memcpy(out.data(), item->data.data(), out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Finish(state, *item, item->data.size());
}

void BM_Pack(benchmark::State& state, const Item* item) {
    Bytes out(PackBound(item->data.size()));
    std::size_t size = 0;
    for (auto _ : state) {
        size = PackBlock(item->data.data(), item->data.size(), out.data(), 9).size;
        benchmark::DoNotOptimize(out.data());
    }
    Finish(state, *item, size);
}

void BM_Deflate9(benchmark::State& state, const Item* item) {
    Bytes out(compressBound(uLong(item->data.size())));
    uLongf size = 0;
    for (auto _ : state) {
        size = uLongf(out.size());
        compress2(out.data(), &size, item->data.data(), uLong(item->data.size()), 9);
        benchmark::DoNotOptimize(out.data());
    }
    Finish(state, *item, size);
}

// Keeps each run's speed for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) speeds[run.benchmark_name()] = it->second / 1e6;
        }
    }
    std::map<std::string, double> speeds;
};

} // namespace

int main(int argc, char** argv) {
    BuildCorpus();
    const struct {
        const char* name;
        void (*fn)(benchmark::State&, const Item*);
    } kinds[] = {{"unpack", BM_Unpack}, {"inflate", BM_Inflate}, {"lz4", BM_Lz4},
                 {"memcpy", BM_Memcpy}, {"pack9", BM_Pack},      {"deflate9", BM_Deflate9}};
    for (const Item& item : corpus) {
        for (const auto& k : kinds) {
            benchmark::RegisterBenchmark((std::string(k.name) + "/" + item.name).c_str(), k.fn,
                                         &item)
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(0.2);
        }
    }
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto speed = [&](const char* kind, const Item& item) {
        const auto it =
            reporter.speeds.find(std::string(kind) + "/" + item.name + "/min_time:0.200");
        return it == reporter.speeds.end() ? 0.0 : it->second;
    };
    std::printf("\n%-16s %9s | %-20s | %-20s | %-20s | %7s %7s | %-16s | %-16s\n", "item", "bytes",
                "unpack MB/s ratio", "inflate MB/s ratio", "lz4 MB/s ratio", "memcpy", "x zlib",
                "pack9 MB/s", "deflate9 MB/s");
    double ours = 0, zlib = 0, lz4 = 0, raw = 0;
    double tUnpack = 0, tInflate = 0;
    for (const Item& item : corpus) {
        const double n = double(item.data.size());
        ours += double(item.ours.size());
        zlib += double(item.zlib.size());
        lz4 += double(item.lz4.size());
        raw += n;
        const double su = speed("unpack", item), si = speed("inflate", item);
        if (su > 0 && si > 0) {
            tUnpack += n / su;
            tInflate += n / si;
        }
        std::printf("%-16s %9zu | %9.0f %9.3f | %9.0f %9.3f | %9.0f %9.3f | %7.0f %6.2fx | %16.1f "
                    "| %16.1f\n",
                    item.name.c_str(), item.data.size(), su, double(item.ours.size()) / n, si,
                    double(item.zlib.size()) / n, speed("lz4", item), double(item.lz4.size()) / n,
                    speed("memcpy", item), si > 0 ? su / si : 0.0, speed("pack9", item),
                    speed("deflate9", item));
    }
    std::printf("%-16s %9.0f | ratio %.3f          | ratio %.3f          | ratio %.3f          |"
                " whole corpus: unpack %.2fx inflate's speed\n",
                "total", raw, ours / raw, zlib / raw, lz4 / raw,
                tUnpack > 0 ? tInflate / tUnpack : 0.0);
    return 0;
}

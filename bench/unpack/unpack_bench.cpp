// Unpacking speed beside zlib's inflate (level 9 data), libdeflate (level
// 12), zstd (level 19) and LZ4 (high compression, level 12) on the same
// corpus (corpus.h), with memcpy of the output as the floor. Speeds are
// megabytes of unpacked data per second; every peer runs in each repetition
// beside ours (bench/harness.h). A size table comes first.
#include "bench/harness.h"
#include "bench/unpack/corpus.h"
#include "unpack/unpack.h"

#include <libdeflate.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Packed {
    CorpusItem item;
    Bytes ours, zlib, deflate, zstd, lz4;
    mutable Bytes out;
};

Bytes PackOurs(const Bytes& data) {
    Bytes b(PackBound(data.size()));
    b.resize(PackBlock(data.data(), data.size(), b.data(), 9).size);
    return b;
}

Bytes PackZlib(const Bytes& data) {
    uLongf size = compressBound(uLong(data.size()));
    Bytes b(size);
    compress2(b.data(), &size, data.data(), uLong(data.size()), 9);
    b.resize(size);
    return b;
}

Bytes PackDeflate(const Bytes& data) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(12);
    Bytes b(libdeflate_deflate_compress_bound(c, data.size()));
    b.resize(libdeflate_deflate_compress(c, data.data(), data.size(), b.data(), b.size()));
    libdeflate_free_compressor(c);
    return b;
}

Bytes PackZstd(const Bytes& data) {
    Bytes b(ZSTD_compressBound(data.size()));
    b.resize(ZSTD_compress(b.data(), b.size(), data.data(), data.size(), 19));
    return b;
}

Bytes PackLz4(const Bytes& data) {
    Bytes b(std::size_t(LZ4_compressBound(int(data.size()))));
    b.resize(std::size_t(LZ4_compress_HC(reinterpret_cast<const char*>(data.data()),
                                         reinterpret_cast<char*>(b.data()), int(data.size()),
                                         int(b.size()), LZ4HC_CLEVEL_MAX)));
    return b;
}

libdeflate_decompressor* inflater = nullptr;
ZSTD_DCtx* zstdContext = nullptr;

// Each unpacker fills p.out and tells whether it succeeded.
bool UnpackOurs(const Packed& p) {
    return !UnpackBlockSized(p.ours.data(), p.ours.size(), p.out.data(), p.out.size()).Failed();
}
bool UnpackZlib(const Packed& p) {
    uLongf size = uLongf(p.out.size());
    return uncompress(p.out.data(), &size, p.zlib.data(), uLong(p.zlib.size())) == Z_OK;
}
bool UnpackDeflate(const Packed& p) {
    return libdeflate_deflate_decompress(inflater, p.deflate.data(), p.deflate.size(), p.out.data(),
                                         p.out.size(), nullptr) == LIBDEFLATE_SUCCESS;
}
bool UnpackZstd(const Packed& p) {
    return ZSTD_decompressDCtx(zstdContext, p.out.data(), p.out.size(), p.zstd.data(),
                               p.zstd.size()) == p.out.size();
}
bool UnpackLz4(const Packed& p) {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(p.lz4.data()),
                               reinterpret_cast<char*>(p.out.data()), int(p.lz4.size()),
                               int(p.out.size())) == int(p.out.size());
}
bool Copy(const Packed& p) {
    std::memcpy(p.out.data(), p.item.data.data(), p.out.size());
    return true;
}

struct Unpacker {
    const char* name;
    bool (*run)(const Packed&);
    double goal;
};
constexpr Unpacker UNPACKERS[] = {
    {"unpack", UnpackOurs, 0},  {"zlib", UnpackZlib, 1.3}, {"libdeflate", UnpackDeflate, 0},
    {"zstd-19", UnpackZstd, 0}, {"lz4hc", UnpackLz4, 0},   {"memcpy", Copy, 0},
};

} // namespace

int main(int argc, char** argv) {
    const bench::Options options = bench::ParseOptions(argc, argv);
    inflater = libdeflate_alloc_decompressor();
    zstdContext = ZSTD_createDCtx();
    std::vector<Packed> corpus;
    for (CorpusItem& item : LoadCorpus()) {
        Packed p{std::move(item), {}, {}, {}, {}, {}, {}};
        const Bytes& d = p.item.data;
        p.ours = PackOurs(d);
        p.zlib = PackZlib(d);
        p.deflate = PackDeflate(d);
        p.zstd = PackZstd(d);
        p.lz4 = PackLz4(d);
        p.out.resize(d.size());
        corpus.push_back(std::move(p));
    }

    std::printf("Packed sizes, as a share of the data:\n%-14s %10s %8s %8s %10s %8s %8s\n", "item",
                "bytes", "ours", "zlib-9", "deflate-12", "zstd-19", "lz4hc");
    double raw = 0, sizes[5] = {};
    for (const Packed& p : corpus) {
        const double n = double(p.item.data.size());
        const double s[5] = {double(p.ours.size()), double(p.zlib.size()), double(p.deflate.size()),
                             double(p.zstd.size()), double(p.lz4.size())};
        std::printf("%-14s %10zu %8.3f %8.3f %10.3f %8.3f %8.3f\n", p.item.name.c_str(),
                    p.item.data.size(), s[0] / n, s[1] / n, s[2] / n, s[3] / n, s[4] / n);
        raw += n;
        for (int k = 0; k < 5; ++k) sizes[k] += s[k];
    }
    std::printf("%-14s %10.0f %8.3f %8.3f %10.3f %8.3f %8.3f\n", "total", raw, sizes[0] / raw,
                sizes[1] / raw, sizes[2] / raw, sizes[3] / raw, sizes[4] / raw);

    // Every unpacker must give the data back before it is timed.
    for (const Packed& p : corpus) {
        for (const Unpacker& u : UNPACKERS) {
            std::fill(p.out.begin(), p.out.end(), 0);
            if (!u.run(p) || p.out != p.item.data) {
                std::printf("%s failed on %s\n", u.name, p.item.name.c_str());
                return 1;
            }
        }
    }

    bench::PrintHeader("Unpacking (goal: 1.3x zlib on the whole corpus, aim 1.5x)", options);
    for (const Packed& p : corpus) {
        bench::Comparison c(p.item.name, double(p.item.data.size()));
        for (const Unpacker& u : UNPACKERS) {
            auto fn = [&p, &u] {
                u.run(p);
                bench::Keep(p.out.data());
            };
            if (&u == UNPACKERS)
                c.Ours(u.name, fn);
            else
                c.Peer(u.name, fn);
        }
        c.Run(options);
    }
    // The whole corpus in one call: the figure the goal is about.
    bench::Comparison all("whole corpus", raw);
    for (const Unpacker& u : UNPACKERS) {
        auto fn = [&corpus, &u] {
            for (const Packed& p : corpus) {
                u.run(p);
                bench::Keep(p.out.data());
            }
        };
        if (&u == UNPACKERS)
            all.Ours(u.name, fn);
        else
            all.Peer(u.name, fn, u.goal);
    }
    all.Run(options);
    libdeflate_free_decompressor(inflater);
    ZSTD_freeDCtx(zstdContext);
    return 0;
}

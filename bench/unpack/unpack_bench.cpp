// Unpacking speed beside zlib's inflate (level 9 data), libdeflate (level
// 12), zstd (level 19) and LZ4 (high compression, level 12) on the same
// corpus (corpus.h), with memcpy of the output as the floor. Speeds are
// megabytes of unpacked data per second; every peer runs in each repetition
// beside ours (bench/harness.h). A size table comes first.
#include "bench/unpack/compare.h"
#include "unpack/unpack.h"

#include <libdeflate.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zstd.h>

namespace {

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

bool UnpackDeflate(const Bytes& in, Bytes& out) {
    return libdeflate_deflate_decompress(inflater, in.data(), in.size(), out.data(), out.size(),
                                         nullptr) == LIBDEFLATE_SUCCESS;
}
bool UnpackZstd(const Bytes& in, Bytes& out) {
    return ZSTD_decompressDCtx(zstdContext, out.data(), out.size(), in.data(), in.size()) ==
           out.size();
}
bool UnpackLz4(const Bytes& in, Bytes& out) {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(in.data()),
                               reinterpret_cast<char*>(out.data()), int(in.size()),
                               int(out.size())) == int(out.size());
}
bool Copy(const Bytes& in, Bytes& out) {
    std::memcpy(out.data(), in.data(), out.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const bench::Options options = bench::ParseOptions(argc, argv);
    inflater = libdeflate_alloc_decompressor();
    zstdContext = ZSTD_createDCtx();
    const char* formats[] = {"ours", "zlib-9", "deflate-12", "zstd-19", "lz4hc"};
    std::vector<PackedItem> items =
        PackCorpus(LoadCorpus(), {PackOurs, PackZlib, PackDeflate, PackZstd, PackLz4});

    std::printf("Packed sizes, as a share of the data:\n%-16s %10s", "item", "bytes");
    for (const char* f : formats) std::printf(" %10s", f);
    std::vector<double> sizes(std::size(formats));
    double raw = 0;
    for (const PackedItem& p : items) {
        const double n = double(p.item.data.size());
        raw += n;
        std::printf("\n%-16s %10.0f", p.item.name.c_str(), n);
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            sizes[k] += double(p.formats[k].size());
            std::printf(" %10.3f", double(p.formats[k].size()) / n);
        }
    }
    std::printf("\n%-16s %10.0f", "total", raw);
    for (double s : sizes) std::printf(" %10.3f", s / raw);
    std::printf("\n");

    const std::vector<Unpacker> unpackers = {
        {"unpack", 0, UnpackWith<UnpackBlockSized>, 0},
        {"zlib", 1, UnpackZlib, 1.6},
        {"libdeflate", 2, UnpackDeflate, 0},
        {"zstd-19", 3, UnpackZstd, 0},
        {"lz4hc", 4, UnpackLz4, 0},
        {"memcpy", -1, Copy, 0},
    };
    if (!UnpackersAgree(items, unpackers)) return 1;
    CompareUnpackers("Unpacking on x86-64 (goal: 1.6x zlib over the whole corpus, aim 2x)", items,
                     unpackers, options);
    libdeflate_free_decompressor(inflater);
    ZSTD_freeDCtx(zstdContext);
    return 0;
}

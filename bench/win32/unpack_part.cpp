// Unpacking as shipped: UnpackBlock from the shell library, built as the
// programs build it (i686, -Os, the SSE2 scan chosen at run time where the
// processor has it), beside zlib built for i686. The same decoder is also
// built here with -O2, and without its SSE2 variant (the plain scan that the
// era's processors run), so that the build choices are measured on the same
// data in the same repetitions.
#include "bench/unpack/compare.h"
#include "bench/win32/parts.h"
#include "unpack/unpack.h"

#include <zlib.h>

// The decoder's other builds (CMakeLists.txt): the same source with its
// entry points renamed.
UnpackResult UnpackBlockSizedO2(const void*, std::size_t, void*, std::size_t);
UnpackResult UnpackBlockSizedPlain(const void*, std::size_t, void*, std::size_t);
UnpackResult UnpackBlockSizedPlainO2(const void*, std::size_t, void*, std::size_t);

namespace {

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

template <UnpackResult (*Entry)(const void*, std::size_t, void*, std::size_t)>
bool UnpackWith(const Bytes& in, Bytes& out) {
    return !Entry(in.data(), in.size(), out.data(), out.size()).Failed();
}

bool UnpackZlib(const Bytes& in, Bytes& out) {
    uLongf size = uLongf(out.size());
    return uncompress(out.data(), &size, in.data(), uLong(in.size())) == Z_OK;
}

void Run(const bench::Options& options) {
    std::vector<PackedItem> items = PackCorpus(LoadCorpus(), {PackOurs, PackZlib});
    const Unpacker shipped = {"unpack", 0, UnpackWith<UnpackBlockSized>, 0};
    const Unpacker plain = {"unpack plain", 0, UnpackWith<UnpackBlockSizedPlain>, 0};
    const Unpacker zlib = {"zlib-i686", 1, UnpackZlib, 1.0};
    const std::vector<Unpacker> all = {shipped,
                                       zlib,
                                       plain,
                                       {"unpack -O2", 0, UnpackWith<UnpackBlockSizedO2>, 0},
                                       {"plain -O2", 0, UnpackWith<UnpackBlockSizedPlainO2>, 0}};
    if (!UnpackersAgree(items, all)) return;
    CompareUnpackers("Unpacking as shipped, i686 (goal: 1.0x zlib-i686 over the whole corpus, "
                     "aim 1.5x); unpack = -Os with the SSE2 scan where the processor has it",
                     items, all, options);
    CompareUnpackers("The plain scan alone, as the era's processors run it (-Os)", items,
                     {plain, zlib}, options);
}

BenchPart part("unpack", Run);

} // namespace

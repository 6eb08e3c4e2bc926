// Unpacking as shipped: UnpackBlock from the shell library, built as the
// programs build it (i686, -Os, the SSE2 scan chosen at run time where the
// processor has it), beside zlib built for i686. The same decoder is also
// built here with -O2, and without its SSE2 variant (the plain scan that the
// era's processors run), so that the build choices are measured on the same
// data in the same repetitions.
#include "bench/unpack/compare.h"
#include "bench/win32/parts.h"
#include "unpack/unpack.h"

// The decoder's other builds (CMakeLists.txt): the same source with its
// entry points renamed.
UnpackResult UnpackBlockSizedO2(const void*, std::size_t, void*, std::size_t);
UnpackResult UnpackBlockSizedPlain(const void*, std::size_t, void*, std::size_t);
UnpackResult UnpackBlockSizedPlainO2(const void*, std::size_t, void*, std::size_t);

namespace {

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

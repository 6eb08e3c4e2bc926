// Unpacking as shipped: UnpackBlock from the shell library, built as the
// programs build it (i686, -O2, the SSE2 scan chosen at run time where the
// system supports SSE2), beside zlib built for i686. The same decoder is also
// built here without its SSE2 variant (the plain scan that the era's
// processors run), and at -Os, the size-optimised choice, so that the build
// choices are measured on the same data in the same repetitions.
#include "bench/unpack/compare.h"
#include "bench/win32/parts.h"
#include "unpack/unpack.h"

// The decoder's other builds (CMakeLists.txt): the same source with its
// entry points renamed.
UnpackResult UnpackBlockSizedOs(const void*, std::size_t, void*, std::size_t);
UnpackResult UnpackBlockSizedPlain(const void*, std::size_t, void*, std::size_t);
UnpackResult UnpackBlockSizedPlainOs(const void*, std::size_t, void*, std::size_t);

namespace {

void Run(const bench::Options& options) {
    std::vector<PackedItem> items = PackCorpus(LoadCorpus(), {PackOurs, PackZlib});
    const Unpacker shipped = {"unpack", 0, UnpackWith<UnpackBlockSized>, 0};
    const Unpacker plain = {"unpack plain", 0, UnpackWith<UnpackBlockSizedPlain>, 0};
    const Unpacker zlib = {"zlib-i686", 1, UnpackZlib, 1.6};
    const std::vector<Unpacker> all = {shipped,
                                       zlib,
                                       plain,
                                       {"unpack -Os", 0, UnpackWith<UnpackBlockSizedOs>, 0},
                                       {"plain -Os", 0, UnpackWith<UnpackBlockSizedPlainOs>, 0}};
    if (!UnpackersAgree(items, all)) return;
    CompareUnpackers("Unpacking as shipped, i686 (goal: 1.6x zlib-i686 over the whole corpus); "
                     "unpack = -O2 with the SSE2 scan where the system supports SSE2",
                     items, all, options);
    CompareUnpackers("The plain scan alone, as every processor before SSE2 and Windows 95, 98 "
                     "and NT 4.0 run it (-O2; goal: 1.3x zlib-i686)",
                     items, {plain, {"zlib-i686", 1, UnpackZlib, 1.3}}, options);
}

BenchPart part("unpack", Run);

} // namespace

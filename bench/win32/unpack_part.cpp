// Unpacking as shipped: UnpackBlock from the shell library, built as the
// programs build it (i686, -O2), beside zlib built for i686. The decoder the
// system and the processor choose runs first; then each of the others that
// the shipped build carries, forced, in the same repetitions: the MMX
// decoder, which every processor with MMX runs where the system does not
// support SSE2 (Windows 95, 98 and NT 4.0 among them), and the plain scan,
// which processors without MMX run. The same decoder is also built at -Os,
// the size-optimised choice, so that the build choices are measured on the
// same data too.
#include "bench/unpack/compare.h"
#include "bench/win32/parts.h"
#include "unpack/unpack.h"

// The decoder's -Os build (CMakeLists.txt): the same source with its entry
// points renamed.
UnpackResult UnpackBlockSizedOs(const void*, std::size_t, void*, std::size_t);

namespace {

UnpackVariant shipped = UNPACK_PLAIN; // the first unpack's choice on this machine

bool UnpackAsShipped(const Bytes& in, Bytes& out) {
    UnpackUseVariant(shipped);
    return UnpackWith<UnpackBlockSized>(in, out);
}

template <UnpackVariant V> bool UnpackAs(const Bytes& in, Bytes& out) {
    UnpackUseVariant(V);
    return UnpackWith<UnpackBlockSized>(in, out);
}

const char* VariantName(UnpackVariant v) {
    switch (v) {
    case UNPACK_PLAIN: return "the plain scan";
    case UNPACK_SSE2: return "the SSE2 decoder";
    case UNPACK_MMX: return "the MMX decoder";
    case UNPACK_READ_AHEAD: return "the read-ahead decoder";
    }
    return "?";
}

void Run(const bench::Options& options) {
    shipped = UnpackCurrentVariant();
    std::printf("\nThis machine's choice: %s\n", VariantName(shipped));
    std::vector<PackedItem> items = PackCorpus(LoadCorpus(), {PackOurs, PackZlib});
    const Unpacker ours = {"unpack", 0, UnpackAsShipped, 0};
    const Unpacker mmx = {"unpack MMX", 0, UnpackAs<UNPACK_MMX>, 0};
    const Unpacker plain = {"unpack plain", 0, UnpackAs<UNPACK_PLAIN>, 0};
    const Unpacker zlib = {"zlib-i686", 1, UnpackZlib, 1.6};
    const std::vector<Unpacker> all = {
        ours, zlib, mmx, plain, {"unpack -Os", 0, UnpackWith<UnpackBlockSizedOs>, 0}};
    if (!UnpackersAgree(items, all)) return;
    CompareUnpackers("Unpacking as shipped, i686 (goal: 1.6x zlib-i686 over the whole corpus "
                     "where the system supports SSE2); unpack = -O2, this machine's choice",
                     items, all, options);
    CompareUnpackers("Without SSE2: the MMX decoder, as every processor with MMX runs it where "
                     "the system does not support SSE2, Windows 95, 98 and NT 4.0 among them "
                     "(-O2; goal: 1.3x zlib-i686); the plain scan, as processors without MMX "
                     "run it",
                     items, {mmx, {"zlib-i686", 1, UnpackZlib, 1.3}, plain}, options);
    UnpackUseVariant(shipped);
}

BenchPart part("unpack", Run);

} // namespace

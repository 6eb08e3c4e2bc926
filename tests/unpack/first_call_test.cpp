// The first call of the process: tables described with count 0 have never
// been built, so their entries are all zero. Such an entry matches any bits,
// takes none and gives symbol 0: a literal run of 0, a distance of 1, a
// length of 2. This program makes exactly one unpack call, so that nothing
// before it has touched the tables.
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

using namespace unpack_test;

TEST(UnpackFirstCall, TablesNeverBuiltDecodeAsZero) {
    BitWriter w;
    w.Bits(0, 2); // ignored
    // Chunk 1: all three tables kept (never built), K = 1.
    w.Bits(0, 5).Bits(0, 5).Bits(0, 5);
    w.Bits(1, 16);
    // Its one literal run takes no bits and is empty, so chunk 2 starts
    // right here. Chunk 2: a literal-run table of symbols 0 and 1 (one bit
    // each: 0 -> "0", 1 -> "1"); distance and length tables still unbuilt.
    w.Bits(2, 5).Bits(1, 4).Bits(1, 4);
    w.Bits(0, 5).Bits(0, 5);
    w.Bits(2, 16);           // K = 2
    w.Bits(1, 1).Raw({'x'}); // run: R = 1
                             // match: no bits, distance 1, length 2
    w.Bits(0, 1);            // run: R = 0
    w.Bits(0xFFFF, 16);      // trailing bits nobody reads
    const Bytes block = Block({3, ~0u, 0, 2}, w.Stream());

    Guarded out(3);
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
    EXPECT_EQ(r.status, UNPACK_OK) << UnpackStatusText(r.status);
    EXPECT_EQ(r.size, 3u);
    EXPECT_EQ(Hex(out.data(), 3), Hex(Bytes(3, 'x').data(), 3));
    EXPECT_TRUE(out.GuardsIntact());
}

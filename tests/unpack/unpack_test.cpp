// The unpacker on hand-made blocks: the two reference blocks in each
// placement, signatures, empty blocks, tables kept across chunks and calls,
// and one damaged block for every check the decoder makes.
#include "tests/unpack/block_builder.h"
#include "tests/unpack/strict_reader.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace unpack_test;

namespace {

::testing::AssertionResult SameBytes(const std::uint8_t* got, const Bytes& want) {
    if (std::memcmp(got, want.data(), want.size()) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << Hex(got, want.size()) << "\nwant " << Hex(want.data(), want.size());
}

enum class Placement {
    Apart,    // the block in its own buffer
    AtOutput, // the block at the destination address itself
    Below30,  // the block 30 bytes below the destination, margin set to 4
};

struct ReferenceCase {
    const char* rule;
    const Bytes* block;
    const Bytes* output;
    Placement placement;
};

const ReferenceCase kReferenceCases[] = {
    {"one chunk, separate buffer", &kAbc3Block, &kAbc3Data, Placement::Apart},
    {"one chunk, read where it lies at the destination", &kAbc3Block, &kAbc3Data,
     Placement::AtOutput},
    {"one chunk, stream ends inside the output: moved up to U + M", &kAbc3Block, &kAbc3Data,
     Placement::Below30},
    {"second chunk keeps the tables, separate buffer", &kTwoChunksBlock, &kTwoChunksData,
     Placement::Apart},
    {"second chunk keeps the tables, at the destination", &kTwoChunksBlock, &kTwoChunksData,
     Placement::AtOutput},
};

TEST(UnpackReference, BlocksDecodeInEveryPlacement) {
    for (const ReferenceCase& c : kReferenceCases) {
        SCOPED_TRACE(c.rule);
        Bytes block = *c.block;
        const std::size_t u = c.output->size();
        if (c.placement == Placement::Apart) {
            Guarded out(u);
            const UnpackResult r = UnpackBlock(block.data(), out.data());
            EXPECT_EQ(r.status, UNPACK_OK);
            EXPECT_EQ(r.size, u);
            EXPECT_TRUE(SameBytes(out.data(), *c.output));
            EXPECT_TRUE(out.GuardsIntact());
        } else if (c.placement == Placement::AtOutput) {
            Guarded area(block.size());
            std::memcpy(area.data(), block.data(), block.size());
            const UnpackResult r = UnpackBlock(area.data(), area.data());
            EXPECT_EQ(r.status, UNPACK_OK);
            EXPECT_EQ(r.size, u);
            EXPECT_TRUE(SameBytes(area.data(), *c.output));
            EXPECT_TRUE(area.GuardsIntact());
        } else {
            // Block at area[0], destination at area[30]: the stream ends 5
            // bytes into the output, so it moves to end at destination + 13.
            block[16] = 4;
            Guarded area(30 + u + 4);
            std::memcpy(area.data(), block.data(), block.size());
            const UnpackResult r = UnpackBlock(area.data(), area.data() + 30);
            EXPECT_EQ(r.status, UNPACK_OK);
            EXPECT_EQ(r.size, u);
            EXPECT_TRUE(SameBytes(area.data() + 30, *c.output));
            EXPECT_TRUE(area.GuardsIntact());
        }
    }
}

TEST(UnpackReference, SizedEntryGivesTheSame) {
    Guarded out(kTwoChunksData.size());
    const UnpackResult r =
        UnpackBlockSized(kTwoChunksBlock.data(), kTwoChunksBlock.size(), out.data(), out.size());
    EXPECT_EQ(r.status, UNPACK_OK);
    EXPECT_EQ(r.size, 12u);
    EXPECT_TRUE(SameBytes(out.data(), kTwoChunksData));
    EXPECT_TRUE(out.GuardsIntact());
}

// ---------------------------------------------------------------------------
// Signature

struct SignatureCase {
    const char* rule;
    std::size_t offset;
    std::uint8_t value;
};

const SignatureCase kSignatureCases[] = {
    {"first byte not 'R'", 0, 'r'},
    {"second byte not 'N'", 1, 0x00},
    {"third byte not 'C'", 2, 0x44},
    {"method 0", 3, 0},
    {"method 2", 3, 2},
    {"method 0x81", 3, 0x81},
};

TEST(UnpackSignature, BadSignatureOrMethodWritesNothing) {
    for (const SignatureCase& c : kSignatureCases) {
        SCOPED_TRACE(c.rule);
        // Teach the tables kAbc3Block's codes first; a refused block must leave them.
        Guarded first(9);
        ASSERT_FALSE(UnpackBlock(kAbc3Block.data(), first.data()).Failed());

        Bytes block = kAbc3Block;
        block[c.offset] = c.value;
        Guarded out(9, 0x11);
        for (auto entry : {0, 1}) {
            const UnpackResult r =
                entry == 0 ? UnpackBlock(block.data(), out.data())
                           : UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
            EXPECT_TRUE(r.Failed());
            EXPECT_EQ(r.status, UNPACK_BAD_SIGNATURE);
            EXPECT_EQ(r.size, 0u);
        }
        EXPECT_TRUE(SameBytes(out.data(), Bytes(9, 0x11))) << "destination written";
        EXPECT_TRUE(out.GuardsIntact());

        // The second chunk of kTwoChunksBlock alone, as a block: it keeps all three
        // tables, so it decodes only if the refused call left them as they were.
        // Its stream: 2 ignored bits, three counts of 0, K = 1, run of 3 'x' 'y' 'z'.
        BitWriter w;
        w.Bits(0, 2).Bits(0, 5).Bits(0, 5).Bits(0, 5).Bits(1, 16);
        w.Bits(1, 1);                      // literal-run symbol 2 (code "1")
        w.Bits(1, 1).Raw({'x', 'y', 'z'}); // extra bit 1: R = 2 + 1 = 3
        const Bytes keep = Block({3, ~0u, 0, 1}, w.Stream());
        Guarded kept(3);
        EXPECT_EQ(UnpackBlock(keep.data(), kept.data()).status, UNPACK_OK);
        EXPECT_TRUE(SameBytes(kept.data(), {'x', 'y', 'z'}));
    }
}

// ---------------------------------------------------------------------------
// Empty and short blocks

TEST(UnpackEmpty, EmptyBlocksSucceedWithZero) {
    // U = 0, no chunk, no stream at all.
    const Bytes noChunk = Block({0, 0, 0, 0}, {});
    Guarded out(0);
    UnpackResult r = UnpackBlock(noChunk.data(), out.data());
    EXPECT_FALSE(r.Failed());
    EXPECT_EQ(r.size, 0u);
    r = UnpackBlockSized(noChunk.data(), noChunk.size(), out.data(), 0);
    EXPECT_FALSE(r.Failed());

    // U = 0 and one chunk with one empty literal run.
    BitWriter w;
    w.Bits(0, 2);            // ignored
    w.Bits(1, 5).Bits(1, 4); // literal-run table: symbol 0, one bit (code 0)
    w.Bits(0, 5).Bits(0, 5); // distance and length tables kept
    w.Bits(1, 16);           // K = 1
    w.Bits(0, 1);            // literal run: symbol 0, R = 0
    const Bytes oneChunk = Block({0, ~0u, 0, 1}, w.Stream());
    r = UnpackBlockSized(oneChunk.data(), oneChunk.size(), out.data(), 0);
    EXPECT_EQ(r.status, UNPACK_OK);
    EXPECT_EQ(r.size, 0u);
    EXPECT_TRUE(out.GuardsIntact());
}

// U = 8 but the one chunk writes "ab" only.
Bytes ShortChunkBlock() {
    BitWriter w;
    w.Bits(0, 2);
    w.Bits(3, 5).Bits(0, 4).Bits(0, 4).Bits(1, 4); // run table: symbol 2 alone, 1 bit
    w.Bits(0, 5).Bits(0, 5);
    w.Bits(1, 16);                           // K = 1
    w.Bits(0, 1).Bits(0, 1).Raw({'a', 'b'}); // symbol 2, extra bit 0: R = 2
    return Block({8, ~0u, 0, 1}, w.CompleteStream());
}

TEST(UnpackShortChunk, LastChunkEndingBeforeUStillReturnsU) {
    // The bytes after "ab" stay as they were.
    const Bytes block = ShortChunkBlock();
    Guarded out(8, '.');
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
    EXPECT_EQ(r.status, UNPACK_OK);
    EXPECT_EQ(r.size, 8u);
    EXPECT_TRUE(SameBytes(out.data(), {'a', 'b', '.', '.', '.', '.', '.', '.'}));
}

TEST(UnpackMatch, ShortDistanceRepeatsTheLastBytes) {
    // "x" then distance 1, length 5: x six times.
    BitWriter w;
    w.Bits(0, 2);
    w.Bits(2, 5).Bits(1, 4).Bits(1, 4);            // run table: symbols 0 and 1, one bit each
    w.Bits(1, 5).Bits(1, 4);                       // distance table: symbol 0 (distance 1), one bit
    w.Bits(3, 5).Bits(0, 4).Bits(0, 4).Bits(1, 4); // length table: symbol 2 alone
    w.Bits(2, 16);                                 // K = 2
    w.Bits(1, 1).Raw({'x'});                       // run: symbol 1, R = 1
    w.Bits(0, 1);                                  // distance value 0: distance 1
    w.Bits(0, 1).Bits(1, 1);                       // length symbol 2, extra 1: 3, length 5
    w.Bits(0, 1);                                  // run: R = 0
    const Bytes block = Block({6, ~0u, 0, 1}, w.Stream());
    Guarded out(6);
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
    EXPECT_EQ(r.status, UNPACK_OK);
    EXPECT_TRUE(SameBytes(out.data(), Bytes(6, 'x')));
    EXPECT_TRUE(out.GuardsIntact());
}

// ---------------------------------------------------------------------------
// Damaged blocks, one per check

// The start of a chunk with codes that make the damaged streams short:
// run table symbols 0, 1, 2 (lengths 2, 1, 2: codes 1 -> "0", 0 -> "10",
// 2 -> "11"), distance table symbols 0 and 2 (one bit each: 0 -> "0",
// 2 -> "1"), length table symbols 0 and 3 (0 -> "0", 3 -> "1").
void Tables(BitWriter& w) {
    w.Bits(3, 5).Bits(2, 4).Bits(1, 4).Bits(2, 4);
    w.Bits(3, 5).Bits(1, 4).Bits(0, 4).Bits(1, 4);
    w.Bits(4, 5).Bits(1, 4).Bits(0, 4).Bits(0, 4).Bits(1, 4);
}
// Writes code bits in stream order (first character first).
void Code(BitWriter& w, const char* bits) {
    for (; *bits; ++bits) w.Bits(*bits == '1', 1);
}

// "abc", then a match of distance 3 and length 6 into U = 8.
Bytes MatchPastUBlock() {
    BitWriter w;
    w.Bits(0, 2);
    Tables(w);
    w.Bits(2, 16); // K = 2
    Code(w, "11");
    w.Bits(1, 1).Raw({'a', 'b', 'c'}); // R = 3
    Code(w, "1");
    w.Bits(0, 1); // distance symbol 2, extra 0: 2, distance 3
    Code(w, "1");
    w.Bits(0, 2);                                     // length symbol 3, extra 0: 4, length 6
    Code(w, "10");                                    // run of 0
    return Block({8, ~0u, 0, 1}, w.CompleteStream()); // 3 + 6 > 8
}

struct DamageCase {
    const char* rule;
    Bytes (*build)();
    UnpackStatus want;
};

const DamageCase kDamageCases[] = {
    {"a table of 17 symbols",
     [] {
         BitWriter w;
         w.Bits(0, 2).Bits(17, 5); // literal-run table count 17
         for (int i = 0; i < 17; ++i) w.Bits(4, 4);
         return Block({4, ~0u, 0, 1}, w.Stream());
     },
     UNPACK_BAD_TABLE},
    {"a code no entry matches (16 entries, incomplete code)",
     [] {
         BitWriter w;
         w.Bits(0, 2).Bits(16, 5);                  // literal-run table of 16 symbols
         for (int i = 0; i < 16; ++i) w.Bits(5, 4); // all 5 bits: codes 00000..01111
         w.Bits(0, 5).Bits(0, 5).Bits(1, 16);       // other tables kept, K = 1
         Code(w, "11111");                          // no 5-bit code starts with 1
         w.Bits(0, 16);
         return Block({4, ~0u, 0, 1}, w.Stream());
     },
     UNPACK_BAD_CODE},
    {"chunk count 0 while U is 5",
     [] {
         return Block({5, 0, 0, 0}, {});
     },
     UNPACK_NO_CHUNKS},
    {"a chunk of 0 literal runs",
     [] {
         BitWriter w;
         w.Bits(0, 2);
         Tables(w);
         w.Bits(0, 16); // K = 0
         w.Bits(0, 16);
         return Block({4, ~0u, 0, 1}, w.Stream());
     },
     UNPACK_NO_RUNS},
    {"bits needed past P (K cut off)",
     [] {
         BitWriter w;
         w.Bits(0, 2);
         Tables(w);            // 2 + 55 bits: K would need bits 57-72
         Bytes s = w.Stream(); // 4 words: bits 0-63 only
         return Block({4, ~0u, 0, 1}, s);
     },
     UNPACK_STREAM_ENDED},
    {"raw bytes past P",
     [] {
         BitWriter w;
         w.Bits(0, 2);
         Tables(w);
         w.Bits(1, 16); // K = 1
         Code(w, "11");
         w.Bits(1, 1);      // run symbol 2, extra 1: R = 3
         w.Raw({'a', 'b'}); // only 2 of the 3 raw bytes
         return Block({4, ~0u, 0, 1}, w.Stream());
     },
     UNPACK_STREAM_ENDED},
    {"a literal run past U",
     [] {
         BitWriter w;
         w.Bits(0, 2);
         Tables(w);
         w.Bits(1, 16);
         Code(w, "11");
         w.Bits(1, 1).Raw({'a', 'b', 'c'}); // R = 3 into U = 2
         return Block({2, ~0u, 0, 1}, w.Stream());
     },
     UNPACK_OUTPUT_FULL},
    {"a match past U", MatchPastUBlock, UNPACK_OUTPUT_FULL},
    {"a match before the output's start",
     [] {
         BitWriter w;
         w.Bits(0, 2);
         Tables(w);
         w.Bits(2, 16);
         Code(w, "0"); // run symbol 1: R = 1
         w.Raw({'a'});
         Code(w, "1");
         w.Bits(0, 1); // distance 3 with 1 byte written
         Code(w, "0"); // length 2
         Code(w, "10");
         return Block({8, ~0u, 0, 1}, w.Stream());
     },
     UNPACK_BAD_DISTANCE},
};

TEST(UnpackDamaged, EveryCheckTrips) {
    for (const DamageCase& c : kDamageCases) {
        SCOPED_TRACE(c.rule);
        const Bytes block = c.build();
        std::uint32_t u = 0;
        ASSERT_TRUE(ReadPackHeader(block.data(), block.size(), &u, nullptr, nullptr));
        Guarded out(u);
        // An exact-size heap copy, so that any read past it is caught.
        std::vector<std::uint8_t> copy(block);
        const UnpackResult r = UnpackBlockSized(copy.data(), copy.size(), out.data(), out.size());
        EXPECT_EQ(r.status, c.want) << UnpackStatusText(r.status);
        EXPECT_EQ(r.size, 0u);
        EXPECT_TRUE(out.GuardsIntact());
        // The plain entry finds the same fault.
        Guarded out2(u);
        EXPECT_EQ(UnpackBlock(copy.data(), out2.data()).status, c.want);
        EXPECT_TRUE(out2.GuardsIntact());
        // So does the tests' reader, read as the unpacker reads.
        const StrictResult lenient = StrictUnpack(copy, {true, nullptr});
        EXPECT_EQ(lenient.status, c.want) << lenient.fault;
    }
}

// The result's count of bytes written, beside its size.
struct ProducedCase {
    const char* rule;
    Bytes (*build)();
    UnpackStatus status;
    std::uint32_t size;
    std::uint32_t produced;
};

const ProducedCase kProducedCases[] = {
    {"a whole block: U bytes written", [] { return kAbc3Block; }, UNPACK_OK, 9, 9},
    {"chunks ending before U: U as the size, the 2 bytes written as the count", ShortChunkBlock,
     UNPACK_OK, 8, 2},
    {"a failing block: size 0, the 3 bytes written before the fault", MatchPastUBlock,
     UNPACK_OUTPUT_FULL, 0, 3},
};

TEST(UnpackProduced, CountsTheBytesTheChunksWrote) {
    for (const ProducedCase& c : kProducedCases) {
        SCOPED_TRACE(c.rule);
        const Bytes block = c.build();
        Guarded out(16);
        for (auto entry : {0, 1}) {
            const UnpackResult r =
                entry == 0 ? UnpackBlock(block.data(), out.data())
                           : UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
            EXPECT_EQ(r.status, c.status) << UnpackStatusText(r.status);
            EXPECT_EQ(r.size, c.size);
            EXPECT_EQ(r.produced, c.produced);
        }
    }
}

TEST(UnpackDamaged, LookAheadPastTheEndIsNoFault) {
    // kAbc3Block's stream: words at 0-9, the raw bytes "abc" at 10-12, the word at
    // 13-14 whose bit 0 is the last bit decoded, and a word at 15-16 that the
    // reader only looks ahead to. Cutting up to 3 bytes (the look-ahead word
    // and the high byte holding no decoded bit) keeps the block valid; the
    // 4th cut takes the last bit, the 5th and later cut into the raw bytes.
    for (std::uint32_t cut = 0; cut <= 7; ++cut) {
        SCOPED_TRACE("stream shortened by " + std::to_string(cut));
        Bytes block(kAbc3Block.begin(), kAbc3Block.end() - cut);
        block[11] = std::uint8_t(0x11 - cut);
        Guarded out(9);
        const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
        if (cut <= 3) {
            EXPECT_EQ(r.status, UNPACK_OK);
            EXPECT_TRUE(SameBytes(out.data(), kAbc3Data));
        } else {
            EXPECT_EQ(r.status, UNPACK_STREAM_ENDED);
        }
        EXPECT_TRUE(out.GuardsIntact());
    }
}

// ---------------------------------------------------------------------------
// The sized entry's refusals

struct FitCase {
    const char* rule;
    std::size_t sourceSize; // of kAbc3Block's 35 bytes
    std::size_t capacity;
    std::uint8_t margin;
    int offset; // where the block lies, from the destination
    UnpackStatus want;
};

const FitCase kFitCases[] = {
    {"source shorter than the signature", 3, 9, 0, 40, UNPACK_BAD_SIGNATURE},
    {"source shorter than the header", 17, 9, 0, 40, UNPACK_DOES_NOT_FIT},
    {"stream longer than the source", 34, 9, 0, 40, UNPACK_DOES_NOT_FIT},
    {"U larger than the destination", 35, 8, 0, 40, UNPACK_DOES_NOT_FIT},
    {"exact sizes fit", 35, 9, 0, 40, UNPACK_OK},
    // The stream starts 8 bytes into the output and ends 25 bytes in: it must
    // move up to end at U + M = 39.
    {"stream inside the output, U + M past the capacity", 35, 38, 30, -10, UNPACK_DOES_NOT_FIT},
    {"stream inside the output, U + M within the capacity", 35, 39, 30, -10, UNPACK_OK},
    // Block at the destination: its stream starts at 18, above U = 9, so the
    // output never reaches it and no room for M is needed.
    {"stream above the output's U bytes stays where it lies", 35, 9, 30, 0, UNPACK_OK},
};

TEST(UnpackSized, RefusesBlocksThatDoNotFit) {
    for (const FitCase& c : kFitCases) {
        SCOPED_TRACE(c.rule);
        Bytes block = kAbc3Block;
        block[16] = c.margin;
        const std::size_t below = 10;
        Guarded area(below + std::max<std::size_t>(c.capacity, 40 + block.size()), 0x33);
        std::uint8_t* dest = area.data() + below;
        std::uint8_t* source = dest + c.offset;
        std::memcpy(source, block.data(), block.size());
        const std::vector<std::uint8_t> before(area.data(), area.data() + area.size());
        const UnpackResult r = UnpackBlockSized(source, c.sourceSize, dest, c.capacity);
        EXPECT_EQ(r.status, c.want) << UnpackStatusText(r.status);
        if (c.want == UNPACK_OK) {
            EXPECT_TRUE(SameBytes(dest, kAbc3Data));
            // Nothing written past the capacity.
            EXPECT_EQ(0, std::memcmp(before.data() + below + c.capacity, dest + c.capacity,
                                     area.size() - below - c.capacity));
        } else {
            EXPECT_EQ(0, std::memcmp(before.data(), area.data(), area.size())) << "written";
        }
        EXPECT_TRUE(area.GuardsIntact());
    }
}

} // namespace

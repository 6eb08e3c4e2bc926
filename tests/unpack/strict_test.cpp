// The strict reader itself: the reference blocks pass it in every placement
// and are fetched to their last byte; a stream cut short, the old empty block
// and a margin too small for unpacking in place fail it, while the lenient
// unpacker still takes the first two. Then the packer's blocks: empty data,
// and a margin that is enough and no more than two bytes over the least.
#include "tests/unpack/block_builder.h"
#include "tests/unpack/strict_reader.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <string>

using namespace unpack_test;

namespace {

struct PassCase {
    const char* rule;
    const Bytes* block;
    const Bytes* data;
    bool apart;
    std::int64_t offset; // of the block from the destination, when not apart
    int margin;          // put into the header when not negative
};

const PassCase kPassCases[] = {
    {"one chunk, apart", &kAbc3Block, &kAbc3Data, true, 0, -1},
    {"one chunk, at the destination: read where it lies", &kAbc3Block, &kAbc3Data, false, 0, -1},
    {"one chunk, 30 bytes below the destination with M = 4: moved to end at U + M", &kAbc3Block,
     &kAbc3Data, false, -30, 4},
    {"two chunks, apart", &kTwoChunksBlock, &kTwoChunksData, true, 0, -1},
    {"two chunks, at the destination", &kTwoChunksBlock, &kTwoChunksData, false, 0, -1},
};

TEST(StrictReader, ReferenceBlocksPassAndAreFetchedToTheirLastByte) {
    for (const PassCase& c : kPassCases) {
        SCOPED_TRACE(c.rule);
        Bytes block = *c.block;
        if (c.margin >= 0) block[16] = std::uint8_t(c.margin);
        const StrictResult r = c.apart ? StrictUnpack(block) : StrictUnpackAt(block, c.offset);
        EXPECT_TRUE(r.ok) << r.fault;
        EXPECT_EQ(r.fetchedEnd, block.size() - PACK_HEADER_SIZE);
        EXPECT_EQ(r.produced, c.data->size());
        EXPECT_EQ(r.data, *c.data);
    }
}

// A stream whose last `cut` bytes are gone, P cut to match.
Bytes CutStream(const Bytes& block, std::size_t cut) {
    Bytes b(block.begin(), block.end() - std::ptrdiff_t(cut));
    const std::uint32_t p = std::uint32_t(b.size() - PACK_HEADER_SIZE);
    for (int i = 0; i < 4; ++i) b[8 + i] = std::uint8_t(p >> (24 - 8 * i));
    return b;
}

// Unpacking in place with the stream ending at destination + U + M, for a
// block whose header margin is `margin`.
StrictResult InPlaceWithMargin(Bytes block, std::uint8_t margin, const ReadOptions& options = {}) {
    block[16] = margin;
    std::uint32_t u = 0;
    ReadPackHeader(block.data(), block.size(), &u, nullptr, nullptr);
    return StrictUnpackAt(block, std::int64_t(u) + margin - std::int64_t(block.size()), options);
}

struct FaultCase {
    const char* rule;
    Bytes (*build)();
    bool inPlace;        // decoded in place with the stream at destination + U + M
    const char* fault;   // the start of the reader's fault
    bool lenientDecodes; // UnpackBlock still gives the data (apart)
    const Bytes* data;
};

const Bytes kEmpty;

const FaultCase kFaultCases[] = {
    {"the last word cut off: the reader fetches bytes P and P + 1",
     [] { return CutStream(kAbc3Block, 2); }, false, "fetches stream byte 15 of 15", true,
     &kAbc3Data},
    {"the old empty block: no chunk, P = 0, yet the first word is fetched",
     [] {
         return Block({0, 0, 0, 0}, {});
     },
     false, "fetches stream byte 0 of 0", true, &kEmpty},
    {"the margin of a block of random bytes set to 0: the output overtakes the stream",
     [] { return Pack(MakeData(Kind::Random, 3000, 5)); }, true, "stream byte", false, nullptr},
};

TEST(StrictReader, FetchesPastPAndOverwrittenStreamsFail) {
    for (const FaultCase& c : kFaultCases) {
        SCOPED_TRACE(c.rule);
        const Bytes block = c.build();
        const StrictResult r = c.inPlace ? InPlaceWithMargin(block, 0) : StrictUnpack(block);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.fault.rfind(c.fault, 0), 0u) << r.fault;
        if (c.inPlace) {
            EXPECT_NE(r.fault.find("overwritten"), std::string::npos) << r.fault;
        }
        if (c.lenientDecodes) {
            Guarded out(c.data->size());
            const UnpackResult u =
                UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
            EXPECT_EQ(u.status, UNPACK_OK) << UnpackStatusText(u.status);
            EXPECT_EQ(Hex(out.data(), out.size()), Hex(c.data->data(), c.data->size()));
        }
        // Read leniently, as the unpacker reads: what it takes, the reader
        // takes; an overwritten stream byte is read as it now is, and noted.
        const ReadOptions asUnpacker{true, nullptr};
        const StrictResult lenient =
            c.inPlace ? InPlaceWithMargin(block, 0, asUnpacker) : StrictUnpack(block, asUnpacker);
        EXPECT_EQ(lenient.overtaken, c.inPlace);
        if (c.lenientDecodes) {
            EXPECT_TRUE(lenient.ok) << lenient.fault;
            EXPECT_EQ(lenient.data, *c.data);
        }
    }
}

TEST(StrictReader, EmptyDataGivesOneChunkReadWithinP) {
    const Bytes block = Pack({}); // Pack checks it with the strict reader
    ASSERT_GE(block.size(), PACK_HEADER_SIZE);
    EXPECT_EQ(block[17], 1) << "chunk count";
    // 2 ignored bits, a literal-run table of one symbol (5 + 4 bits), two
    // tables kept (5 + 5), K (16) and the run of 0 (1): 38 bits, so the
    // reader fetches 4 words.
    EXPECT_EQ(block.size(), PACK_HEADER_SIZE + 8);
    Guarded out(0);
    const UnpackResult r = UnpackBlock(block.data(), out.data());
    EXPECT_EQ(r.status, UNPACK_OK);
    EXPECT_EQ(r.size, 0u);
    EXPECT_TRUE(out.GuardsIntact());
}

TEST(StrictReader, PackerMarginIsEnoughAndAtMostTwoBytesOver) {
    // The packer's margin counts every fetch; it may be up to 2 bytes over
    // the least that works, where a match ends just before a word the
    // reader does not fetch again.
    int tight = 0;
    for (Kind kind : {Kind::Text, Kind::Binary, Kind::Image, Kind::Random, Kind::Pattern}) {
        for (std::size_t size : {100, 5000, 70000}) {
            SCOPED_TRACE(std::string(KindName(kind)) + ", " + std::to_string(size) + " bytes");
            std::uint32_t margin = 0;
            bool safe = false;
            const Bytes block = Pack(MakeData(kind, size, 9), 9, &margin, &safe);
            ASSERT_TRUE(safe);
            std::uint32_t least = margin;
            while (least > 0 && InPlaceWithMargin(block, std::uint8_t(least - 1)).ok) --least;
            EXPECT_LE(margin, least + 2);
            tight += least > 0;
        }
    }
    EXPECT_GT(tight, 0) << "no block needed a margin";
}

} // namespace

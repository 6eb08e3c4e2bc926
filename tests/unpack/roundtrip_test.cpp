// Packer and unpacker together: data of every kind and many sizes comes back
// byte for byte into a separate buffer, in place over the block itself, and
// with the stream ending at destination + U + M, and nothing outside the
// output (and the margin) is written.
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace unpack_test;

namespace {

::testing::AssertionResult SameData(const std::uint8_t* got, const Bytes& want) {
    if (want.empty() || std::memcmp(got, want.data(), want.size()) == 0)
        return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (got[i] == want[i]) ++i;
    return ::testing::AssertionFailure()
           << "first difference at byte " << i << " of " << want.size();
}

// Unpacks `block` in the three placements and checks each.
void CheckRoundTrip(const Bytes& data, const Bytes& block, std::uint32_t margin, bool inPlaceSafe) {
    std::uint32_t u = 0, p = 0;
    std::uint8_t m = 0;
    ASSERT_TRUE(ReadPackHeader(block.data(), block.size(), &u, &p, &m));
    ASSERT_EQ(u, data.size());
    ASSERT_EQ(p + PACK_HEADER_SIZE, block.size());
    ASSERT_EQ(m, std::min<std::uint32_t>(margin, 255));

    {
        SCOPED_TRACE("separate buffer, exact sizes");
        const Bytes copy(block);
        Guarded out(u);
        const UnpackResult r = UnpackBlockSized(copy.data(), copy.size(), out.data(), out.size());
        ASSERT_EQ(r.status, UNPACK_OK) << UnpackStatusText(r.status);
        EXPECT_EQ(r.size, u);
        EXPECT_TRUE(SameData(out.data(), data));
        EXPECT_TRUE(out.GuardsIntact());
    }
    if (!inPlaceSafe) return;
    {
        SCOPED_TRACE("in place over the block itself");
        Guarded area(std::max<std::size_t>(u + m, block.size()));
        std::memcpy(area.data(), block.data(), block.size());
        const UnpackResult r = UnpackBlock(area.data(), area.data());
        ASSERT_EQ(r.status, UNPACK_OK) << UnpackStatusText(r.status);
        EXPECT_TRUE(SameData(area.data(), data));
        EXPECT_TRUE(area.GuardsIntact());
    }
    {
        SCOPED_TRACE("in place, sized entry with room for U + M only");
        Guarded area(std::max<std::size_t>(u + m, block.size()));
        std::memcpy(area.data(), block.data(), block.size());
        const UnpackResult r =
            UnpackBlockSized(area.data(), block.size(), area.data(), area.size());
        ASSERT_EQ(r.status, UNPACK_OK) << UnpackStatusText(r.status);
        EXPECT_TRUE(SameData(area.data(), data));
        EXPECT_TRUE(area.GuardsIntact());
    }
    {
        SCOPED_TRACE("stream ending at destination + U + M");
        const std::size_t top = std::size_t(u) + m;
        const std::size_t below = block.size() > top ? block.size() - top : 0;
        Guarded area(below + top);
        std::uint8_t* dest = area.data() + below;
        std::uint8_t* at = dest + top - block.size();
        std::memcpy(at, block.data(), block.size());
        const UnpackResult r = UnpackBlock(at, dest);
        ASSERT_EQ(r.status, UNPACK_OK) << UnpackStatusText(r.status);
        EXPECT_TRUE(SameData(dest, data));
        EXPECT_TRUE(area.GuardsIntact());
    }
}

const Kind kKinds[] = {Kind::Text, Kind::Binary, Kind::Image,
                       Kind::Runs, Kind::Random, Kind::Pattern};
const std::size_t kSizes[] = {0, 1, 2, 3, 4, 5, 17, 255, 1000, 4097, 32769, 65539, 200000};

TEST(UnpackRoundTrip, EveryKindAndSize) {
    for (Kind kind : kKinds) {
        for (std::size_t size : kSizes) {
            SCOPED_TRACE(std::string(KindName(kind)) + ", " + std::to_string(size) + " bytes");
            const Bytes data = MakeData(kind, size, std::uint32_t(size) + 7);
            std::uint32_t margin = 0;
            bool safe = false;
            const Bytes block = Pack(data, 9, &margin, &safe);
            // Up to this size every kind fits the margin a block can record.
            EXPECT_TRUE(safe) << "margin " << margin;
            CheckRoundTrip(data, block, margin, safe);
        }
    }
}

TEST(UnpackRoundTrip, EffortsGiveValidBlocks) {
    const Bytes data = MakeData(Kind::Text, 150000, 3);
    std::size_t sizes[10] = {};
    for (int effort = 1; effort <= 9; ++effort) {
        SCOPED_TRACE("effort " + std::to_string(effort));
        std::uint32_t margin = 0;
        bool safe = false;
        const Bytes block = Pack(data, effort, &margin, &safe);
        CheckRoundTrip(data, block, margin, safe);
        sizes[effort] = block.size();
    }
    EXPECT_LT(sizes[9], sizes[1]);
    EXPECT_LT(sizes[9], sizes[7]) << "the searched parse beats the lazy one at its top setting";
    EXPECT_LT(sizes[9], data.size() / 2) << "text should pack to less than half";
}

TEST(UnpackRoundTrip, TopLevelsAcrossSegments) {
    // The searched parse works through the data a mebibyte at a time; long
    // matches run up to a segment's end and on from the next one's start.
    const Bytes data = MakeData(Kind::Runs, 1100000, 13);
    for (int effort : {8, 9}) {
        SCOPED_TRACE("effort " + std::to_string(effort));
        std::uint32_t margin = 0;
        bool safe = false;
        const Bytes block = Pack(data, effort, &margin, &safe);
        CheckRoundTrip(data, block, margin, safe);
        EXPECT_LT(block.size(), data.size() / 100);
    }
}

struct LargeCase {
    const char* rule;
    Kind kind;
    std::size_t size;
    bool inPlaceSafe; // whether a 255-byte margin can cover it
};

const LargeCase kLargeCases[] = {
    {"text over many chunks", Kind::Text, 3u << 20, true},
    {"image data", Kind::Image, 2u << 20, true},
    {"long runs, matches of the longest length", Kind::Runs, 4u << 20, true},
    {"incompressible data up to a MiB still unpacks in place", Kind::Random, 1u << 20, true},
    // 6 bytes of overhead per 32 KiB run add up to more than a margin holds.
    {"incompressible data of 3 MiB only into a separate buffer", Kind::Random, 3u << 20, false},
};

TEST(UnpackRoundTrip, LargeData) {
    for (const LargeCase& c : kLargeCases) {
        SCOPED_TRACE(c.rule);
        const Bytes data = MakeData(c.kind, c.size, 11);
        std::uint32_t margin = 0;
        bool safe = false;
        const Bytes block = Pack(data, 6, &margin, &safe);
        EXPECT_EQ(safe, c.inPlaceSafe) << "margin " << margin;
        CheckRoundTrip(data, block, margin, safe);
    }
}

TEST(UnpackRoundTrip, DataAfterTheWindowAndAcrossChunkCuts) {
    // A phrase that comes back after more than 32768 bytes must be sent as
    // literals again; the long literal stretch between crosses chunk cuts.
    Bytes data = MakeData(Kind::Text, 2000, 5);
    const Bytes noise = MakeData(Kind::Random, 100000, 6);
    data.insert(data.end(), noise.begin(), noise.end());
    const Bytes again = MakeData(Kind::Text, 2000, 5);
    data.insert(data.end(), again.begin(), again.end());
    std::uint32_t margin = 0;
    bool safe = false;
    const Bytes block = Pack(data, 9, &margin, &safe);
    CheckRoundTrip(data, block, margin, safe);
    EXPECT_TRUE(safe);
}

} // namespace

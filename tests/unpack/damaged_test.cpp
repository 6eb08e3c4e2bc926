// Damaged packer output: cut short, bits flipped, header fields and code
// tables edited. Each gives a reported failure or a decoded block, and never
// a write outside the output (guard bytes) or a read outside the block (an
// exact-size copy on the heap; the host build runs under AddressSanitizer).
// A damaged raw byte decodes to a different output without any fault to
// find: the format has no check value the unpacker reads.
#include "tests/unpack/block_builder.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace unpack_test;

namespace {

struct Outcome {
    UnpackStatus status;
    bool exact; // the output equals the intact data
};

// Unpacks `block` (an exact-size copy) into a separate guarded buffer of
// `capacity` bytes, and also in place over itself with room for U + M.
Outcome Unpack(const Bytes& block, const Bytes& intact, std::size_t capacity) {
    const Bytes copy(block);
    Guarded out(capacity);
    const UnpackResult r = UnpackBlockSized(copy.data(), copy.size(), out.data(), out.size());
    EXPECT_TRUE(out.GuardsIntact());
    if (!r.Failed()) {
        EXPECT_LE(r.size, capacity);
    }
    const bool exact = !r.Failed() && r.size == intact.size() &&
                       std::memcmp(out.data(), intact.data(), intact.size()) == 0;

    std::uint32_t u = 0;
    std::uint8_t m = 0;
    if (ReadPackHeader(block.data(), block.size(), &u, nullptr, &m) && u <= capacity) {
        Guarded area(std::max<std::size_t>(std::size_t(u) + m, block.size()));
        std::memcpy(area.data(), block.data(), block.size());
        const UnpackResult inPlace =
            UnpackBlockSized(area.data(), block.size(), area.data(), area.size());
        EXPECT_TRUE(area.GuardsIntact());
        EXPECT_EQ(inPlace.Failed(), r.Failed()) << "in place and apart disagree";
    }
    return {r.status, exact};
}

struct Source {
    Kind kind;
    std::size_t size;
};
const Source kSources[] = {
    {Kind::Text, 20000},   {Kind::Image, 20000}, {Kind::Runs, 20000},
    {Kind::Pattern, 6000}, {Kind::Random, 3000}, {Kind::Binary, 9000},
};

TEST(UnpackDamagedData, TruncatedStreams) {
    for (const Source& s : kSources) {
        SCOPED_TRACE(KindName(s.kind));
        const Bytes data = MakeData(s.kind, s.size, 21);
        const Bytes block = Pack(data);
        const std::size_t p = block.size() - PACK_HEADER_SIZE;
        const std::size_t step = std::max<std::size_t>(1, p / 300);
        int failed = 0;
        for (std::size_t keep = 0; keep < p; keep += step) {
            SCOPED_TRACE("stream cut to " + std::to_string(keep) + " of " + std::to_string(p));
            Bytes cut(block.begin(), block.begin() + std::ptrdiff_t(PACK_HEADER_SIZE + keep));
            // The header still claims P bytes: the sized entry refuses it.
            EXPECT_EQ(Unpack(cut, data, data.size()).status, UNPACK_DOES_NOT_FIT);
            // With P cut too, the stream ends early: a failure, unless only
            // bytes that no bit needs were cut.
            for (int i = 0; i < 4; ++i) cut[8 + i] = std::uint8_t(keep >> (24 - 8 * i));
            const Outcome o = Unpack(cut, data, data.size());
            if (o.status == UNPACK_OK) {
                EXPECT_TRUE(o.exact);
                EXPECT_GE(keep + 3, p) << "decoded with more than a look-ahead cut";
            } else {
                ++failed;
            }
        }
        EXPECT_GT(failed, 0);
    }
}

TEST(UnpackDamagedData, FlippedBits) {
    for (const Source& s : kSources) {
        SCOPED_TRACE(KindName(s.kind));
        const Bytes data = MakeData(s.kind, s.size, 22);
        const Bytes block = Pack(data);
        std::uint32_t rng = 0x1234567u + std::uint32_t(s.size);
        int failures = 0;
        for (int trial = 0; trial < 400; ++trial) {
            rng = rng * 1664525u + 1013904223u;
            const std::size_t bit =
                PACK_HEADER_SIZE * 8 + (rng >> 8) % ((block.size() - PACK_HEADER_SIZE) * 8);
            SCOPED_TRACE("bit " + std::to_string(bit));
            Bytes damaged = block;
            damaged[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            const Outcome o = Unpack(damaged, data, data.size());
            failures += o.status != UNPACK_OK;
        }
        // Flips in code bits are mostly found; flips in raw bytes cannot be.
        if (s.kind != Kind::Random) {
            EXPECT_GT(failures, 0);
        }
    }
}

struct HeaderEdit {
    const char* rule;
    std::size_t offset;
    int delta;      // added to the byte
    bool mayDecode; // the block can still decode (to the intact output or a prefix)
};

const HeaderEdit kHeaderEdits[] = {
    {"U one less: output would pass U", 7, -1, false},
    {"U one more: the last chunk ends short of U", 7, +1, true},
    {"U far larger than the destination", 4, +1, false},
    {"P one less: the last word's high byte or more missing", 11, -1, true},
    {"P one more than the source holds", 11, +1, false},
    {"margin changed: apart it is not used", 16, +7, true},
    {"bytes 12 to 15 are not read", 12, +0x55, true},
    {"one chunk more than the stream holds", 17, +1, false},
};

TEST(UnpackDamagedData, EditedHeaders) {
    for (const Source& s : kSources) {
        const Bytes data = MakeData(s.kind, s.size, 23);
        const Bytes block = Pack(data);
        for (const HeaderEdit& e : kHeaderEdits) {
            SCOPED_TRACE(std::string(KindName(s.kind)) + ": " + e.rule);
            Bytes edited = block;
            edited[e.offset] = std::uint8_t(edited[e.offset] + e.delta);
            std::uint32_t u = 0;
            ReadPackHeader(edited.data(), edited.size(), &u, nullptr, nullptr);
            // Room for one byte more than the intact U, so that "U one more"
            // fits and "U far larger" does not.
            const Outcome o = Unpack(edited, data, data.size() + 1);
            if (!e.mayDecode) {
                EXPECT_NE(o.status, UNPACK_OK) << UnpackStatusText(o.status);
            }
            if (o.status == UNPACK_OK && u == data.size()) {
                EXPECT_TRUE(o.exact);
            }
        }
    }
}

TEST(UnpackDamagedData, EditedTables) {
    // The first chunk's three table descriptions take bits 2 to at most 209.
    for (const Source& s : kSources) {
        SCOPED_TRACE(KindName(s.kind));
        const Bytes data = MakeData(s.kind, s.size, 24);
        const Bytes block = Pack(data);
        int failures = 0;
        const std::size_t end = std::min<std::size_t>(210, (block.size() - PACK_HEADER_SIZE) * 8);
        for (std::size_t bit = 2; bit < end; ++bit) {
            SCOPED_TRACE("stream bit " + std::to_string(bit));
            Bytes edited = block;
            // The first raw bytes lie after the first run's length, which
            // follows the tables: these bytes are table bits.
            edited[PACK_HEADER_SIZE + bit / 8] ^= std::uint8_t(1u << (bit % 8));
            const Outcome o = Unpack(edited, data, data.size());
            failures += o.status != UNPACK_OK;
        }
        EXPECT_GT(failures, 0);
    }
}

} // namespace

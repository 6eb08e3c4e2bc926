// The decoder's fast paths against what they must not change: the 16-byte
// moves of short runs and matches leave every byte after the output as it
// was (a chunk may end before U bytes), whatever the length and however
// close to the end of the stream and the output; and the read-ahead bit
// buffer fetches no word later than the queue would, so that blocks unpack
// in place with the least margin that a reader of the format accepts.
#include "tests/unpack/block_builder.h"
#include "tests/unpack/strict_reader.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace unpack_test;

namespace {

// Streams of one chunk whose three tables give every symbol a 4-bit code, so
// that any value can be written.
class TokenWriter {
public:
    explicit TokenWriter(std::uint32_t runs) {
        w_.Bits(0, 2);
        for (int table = 0; table < 3; ++table) {
            w_.Bits(16, 5);
            for (int s = 0; s < 16; ++s) w_.Bits(4, 4);
        }
        w_.Bits(runs, 16);
    }
    TokenWriter& Run(const Bytes& raw) {
        Value(std::uint32_t(raw.size()));
        if (!raw.empty()) w_.Raw(raw);
        return *this;
    }
    TokenWriter& Match(std::uint32_t distance, std::uint32_t length) {
        Value(distance - 1);
        Value(length - 2);
        return *this;
    }
    Bytes Stream() const { return w_.CompleteStream(); }

private:
    // Symbol s, its code (canonical: s itself, first bit the highest), then
    // s - 1 extra bits.
    void Value(std::uint32_t v) {
        std::uint32_t s = 0;
        while ((1u << s) <= v) ++s; // v < 2^s; 0 and 1 are their own symbols
        const std::uint32_t reversed = (s & 1) << 3 | (s & 2) << 1 | (s & 4) >> 1 | (s & 8) >> 3;
        w_.Bits(reversed, 4);
        if (s >= 2) w_.Bits(v - (1u << (s - 1)), s - 1);
    }

    BitWriter w_;
};

Bytes Letters(std::size_t n, char first = 'a') {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(first + i % 26);
    return b;
}

struct EarlyEndCase {
    const char* rule;
    std::uint32_t unpacked; // U, larger than what the chunk writes
    Bytes (*stream)();
    Bytes written; // what the chunk writes; the rest of U stays as it was
};

const EarlyEndCase kEarlyEndCases[] = {
    {"a run of 5 raw bytes far from U", 64, [] { return TokenWriter(1).Run(Letters(5)).Stream(); },
     Letters(5)},
    {"a run of 16 raw bytes, one whole move", 64,
     [] { return TokenWriter(1).Run(Letters(16)).Stream(); }, Letters(16)},
    {"a run of 17 raw bytes, past one move", 64,
     [] { return TokenWriter(1).Run(Letters(17)).Stream(); }, Letters(17)},
    {"a run of 1 raw byte", 64, [] { return TokenWriter(1).Run(Letters(1)).Stream(); }, Letters(1)},
    {"a match of 2 that ends the chunk, an empty run after it", 64,
     [] { return TokenWriter(2).Run(Letters(3)).Match(3, 2).Run({}).Stream(); },
     Bytes{'a', 'b', 'c', 'a', 'b'}},
    {"a match of 16 from 16 back", 64,
     [] { return TokenWriter(2).Run(Letters(16)).Match(16, 16).Run({}).Stream(); },
     [] {
         Bytes b = Letters(16);
         b.insert(b.end(), b.begin(), b.end());
         return b;
     }()},
    {"a match of 9 from 9 back, repeating itself 8 bytes at a time", 64,
     [] { return TokenWriter(2).Run(Letters(9)).Match(9, 9).Run(Letters(2, 'x')).Stream(); },
     [] {
         Bytes b = Letters(9);
         b.insert(b.end(), b.begin(), b.end());
         b.insert(b.end(), {'x', 'y'});
         return b;
     }()},
    {"a match of 40 from 20 back, 16 bytes a step", 64,
     [] { return TokenWriter(2).Run(Letters(20)).Match(20, 40).Run({}).Stream(); },
     [] {
         Bytes b = Letters(20);
         for (int i = 0; i < 2; ++i) b.insert(b.end(), b.begin(), b.begin() + 20);
         return b;
     }()},
    {"a match of 17 from 16 back, its last step reading a byte the first wrote", 64,
     [] { return TokenWriter(2).Run(Letters(16)).Match(16, 17).Run({}).Stream(); },
     [] {
         Bytes b = Letters(16);
         b.insert(b.end(), b.begin(), b.end());
         b.push_back('a');
         return b;
     }()},
    {"a match of 5 from 1 back", 64,
     [] { return TokenWriter(2).Run({'q'}).Match(1, 5).Run({}).Stream(); },
     Bytes(6, std::uint8_t('q'))},
    {"runs and matches ending 3 bytes before U", 20,
     [] { return TokenWriter(3).Run(Letters(4)).Match(4, 6).Run(Letters(2)).Match(2, 5).Stream(); },
     Bytes{'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a'}},
};

TEST(UnpackFastPaths, ChunkEndingEarlyLeavesTheRestAsItWas) {
    for (const EarlyEndCase& c : kEarlyEndCases) {
        SCOPED_TRACE(c.rule);
        const Bytes block = Block({c.unpacked, ~0u, 0, 1}, c.stream());
        Guarded out(c.unpacked, '.');
        const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
        ASSERT_EQ(r.status, UNPACK_OK) << UnpackStatusText(r.status);
        EXPECT_EQ(r.size, c.unpacked);
        EXPECT_EQ(r.produced, c.written.size());
        Bytes want = c.written;
        want.resize(c.unpacked, '.');
        EXPECT_EQ(Hex(out.data(), out.size()), Hex(want.data(), want.size()));
        EXPECT_TRUE(out.GuardsIntact());
    }
}

// Unpacks `block` into a guarded buffer of exactly U bytes and compares.
::testing::AssertionResult UnpacksTo(const Bytes& block, const Bytes& want) {
    Guarded out(want.size(), '.');
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
    if (r.status != UNPACK_OK) return ::testing::AssertionFailure() << UnpackStatusText(r.status);
    if (!out.GuardsIntact()) return ::testing::AssertionFailure() << "written outside U";
    if (Hex(out.data(), out.size()) != Hex(want.data(), want.size()))
        return ::testing::AssertionFailure() << "got  " << Hex(out.data(), out.size()) << "\nwant "
                                             << Hex(want.data(), want.size());
    return ::testing::AssertionSuccess();
}

TEST(UnpackFastPaths, RunsAndMatchesOfEveryShortLengthAtTheEnd) {
    // Each length from 1 to 34 as the last run, and as the last match from
    // far back, from 9 back and from 3 back, with U exact: the moves end at
    // the end of the output and near the end of the stream.
    for (std::uint32_t n = 1; n <= 34; ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        const Bytes head = Letters(40);
        {
            SCOPED_TRACE("last run");
            const Bytes run = Letters(n, 'A');
            Bytes want = head;
            for (int i = 0; i < 2; ++i) want.push_back(want[want.size() - 26]); // "op"
            want.insert(want.end(), run.begin(), run.end());
            EXPECT_TRUE(UnpacksTo(Block({std::uint32_t(want.size()), ~0u, 0, 1},
                                        TokenWriter(2).Run(head).Match(26, 2).Run(run).Stream()),
                                  want));
        }
        for (std::uint32_t distance : {40u, 9u, 3u}) {
            if (n < 2) continue; // matches are 2 bytes or longer
            SCOPED_TRACE("last match, from " + std::to_string(distance) + " back");
            Bytes want = head;
            for (std::uint32_t i = 0; i < n; ++i) want.push_back(want[want.size() - distance]);
            EXPECT_TRUE(
                UnpacksTo(Block({std::uint32_t(want.size()), ~0u, 0, 1},
                                TokenWriter(2).Run(head).Match(distance, n).Run({}).Stream()),
                          want));
        }
    }
}

// The block in one area with the destination, its stream ending at
// destination + U + M for the margin M.
Bytes UnpackInPlace(Bytes block, std::uint8_t margin, UnpackResult& result) {
    block[16] = margin;
    std::uint32_t u = 0;
    ReadPackHeader(block.data(), block.size(), &u, nullptr, nullptr);
    const std::size_t room = std::size_t(u) + margin;
    const std::size_t area = std::max(room, block.size());
    Guarded buffer(area);
    // The block placed so that its stream ends at U + M (or at the start).
    const std::size_t at = room >= block.size() ? room - block.size() : 0;
    std::memcpy(buffer.data() + at, block.data(), block.size());
    result = UnpackBlock(buffer.data() + at, buffer.data());
    EXPECT_TRUE(buffer.GuardsIntact());
    return Bytes(buffer.data(), buffer.data() + u);
}

// The least margin with which the strict reader, which faults on a stream
// byte overwritten before it fetched it, decodes `block` in place to `data`;
// -1 when none up to 255 does.
int LeastMargin(const Bytes& block, const Bytes& data, std::uint32_t from = 255) {
    std::uint32_t u = 0, p = 0;
    ReadPackHeader(block.data(), block.size(), &u, &p, nullptr);
    from = std::min(from, p + 2); // the stream wholly above the output
    auto strictInPlace = [&](std::uint32_t m) {
        Bytes b = block;
        b[16] = std::uint8_t(m);
        const StrictResult r = StrictUnpackAt(b, std::int64_t(u) + m - std::int64_t(b.size()));
        return r.ok && r.data == data;
    };
    if (!strictInPlace(from)) return -1;
    std::uint32_t least = from;
    while (least > 0 && strictInPlace(least - 1)) --least;
    return int(least);
}

::testing::AssertionResult UnpacksInPlace(const Bytes& block, const Bytes& data, int margin) {
    UnpackResult r{};
    const Bytes out = UnpackInPlace(block, std::uint8_t(margin), r);
    if (r.status != UNPACK_OK) return ::testing::AssertionFailure() << UnpackStatusText(r.status);
    if (out != data) return ::testing::AssertionFailure() << "other bytes, margin " << margin;
    return ::testing::AssertionSuccess();
}

TEST(UnpackFastPaths, InPlaceWithTheLeastMarginTheStrictReaderTakes) {
    // Many small blocks, so that in some the tightest point falls right after
    // a match whose length made the queue add a word.
    int tight = 0;
    for (Kind kind : {Kind::Text, Kind::Binary, Kind::Image, Kind::Runs, Kind::Pattern}) {
        for (std::size_t size : {300, 1000, 4000}) {
            for (std::uint32_t seed = 1; seed < 40; ++seed) {
                SCOPED_TRACE(std::string(KindName(kind)) + ", " + std::to_string(size) +
                             " bytes, seed " + std::to_string(seed));
                const Bytes data = MakeData(kind, size, seed);
                std::uint32_t margin = 0;
                bool safe = false;
                const Bytes block = Pack(data, 9, &margin, &safe);
                if (!safe) continue;
                const int least = LeastMargin(block, data, margin);
                ASSERT_GE(least, 0);
                tight += least > 0;
                EXPECT_TRUE(UnpacksInPlace(block, data, least));
            }
        }
    }
    EXPECT_GT(tight, 0) << "no block needed a margin: nothing was tested in place";
}

// Long matches, which write output faster than they take stream bits, each
// followed by a run of 0 raw bytes, in a stream that goes on for 16 bytes
// the reader never fetches: at the least margin the output runs into the
// word the reader took last, and a run of 0 must leave the bits it holds of
// that word as they are rather than fetch it again.
TEST(UnpackFastPaths, InPlaceRunsOfNoBytesAfterOutputRanIntoTheLastWord) {
    int tight = 0;
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::uint32_t rng = seed;
        auto next = [&rng](std::uint32_t n) {
            rng = rng * 1664525u + 1013904223u;
            return (rng >> 8) % n;
        };
        const std::uint32_t matches = 2 + next(12);
        Bytes data = Letters(1 + next(24));
        TokenWriter tokens(matches + 1);
        tokens.Run(data);
        for (std::uint32_t i = 0; i < matches; ++i) {
            const std::uint32_t distance = 1 + next(std::uint32_t(data.size()));
            const std::uint32_t length = 2 + next(90);
            for (std::uint32_t k = 0; k < length; ++k) data.push_back(data[data.size() - distance]);
            tokens.Match(distance, length).Run({});
        }
        Bytes stream = tokens.Stream();
        stream.insert(stream.end(), 16, 0x5A);
        const Bytes block = Block({std::uint32_t(data.size()), ~0u, 0, 1}, stream);
        const int least = LeastMargin(block, data);
        ASSERT_GE(least, 0);
        tight += least > 0;
        EXPECT_TRUE(UnpacksInPlace(block, data, least));
    }
    EXPECT_GT(tight, 0) << "no block needed a margin: nothing was tested in place";
}

} // namespace

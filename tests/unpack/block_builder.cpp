#include "tests/unpack/block_builder.h"

#include "tests/unpack/strict_reader.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace unpack_test {

const Bytes kAbc3Block = {0x52, 0x4E, 0x43, 0x01, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x11,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x8C, 0x80, 0x18, 0x01, 0x41, 0x02,
                          0x20, 0x04, 0x00, 0x2E, 0x61, 0x62, 0x63, 0x00, 0x00, 0x00, 0x00};
const Bytes kAbc3Data = {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'};
const Bytes kTwoChunksBlock = {0x52, 0x4E, 0x43, 0x01, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00,
                               0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x8C, 0x80, 0x18, 0x01,
                               0x41, 0x02, 0x20, 0x04, 0x00, 0x2E, 0x61, 0x62, 0x63, 0x00, 0x00,
                               0x01, 0x00, 0x03, 0x00, 0x78, 0x79, 0x7A, 0x00, 0x00};
const Bytes kTwoChunksData = {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'x', 'y', 'z'};

BitWriter& BitWriter::Bits(std::uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i, ++bitCount_) {
        if (bitCount_ % 16 == 0) words_.push_back(0);
        if ((value >> i) & 1u) words_.back() |= std::uint16_t(1u << (bitCount_ % 16));
    }
    return *this;
}

BitWriter& BitWriter::Raw(const Bytes& bytes) {
    raws_.push_back({(bitCount_ + 15) / 16, bytes});
    return *this;
}

Bytes BitWriter::Stream() const {
    return Layout(words_.size());
}

Bytes BitWriter::CompleteStream() const {
    return Layout(words_.size() + 1);
}

// The first `words` words (zero past the written ones) with the raw bytes
// before the words they precede.
Bytes BitWriter::Layout(std::size_t words) const {
    Bytes out;
    std::size_t raw = 0;
    for (std::size_t w = 0; w <= words; ++w) {
        for (; raw < raws_.size() && raws_[raw].first == w; ++raw)
            out.insert(out.end(), raws_[raw].second.begin(), raws_[raw].second.end());
        if (w < words) {
            const std::uint16_t word = w < words_.size() ? words_[w] : 0;
            out.push_back(std::uint8_t(word));
            out.push_back(std::uint8_t(word >> 8));
        }
    }
    return out;
}

Bytes Block(Header header, const Bytes& stream) {
    if (header.packed == ~0u) header.packed = std::uint32_t(stream.size());
    Bytes b = {'R', 'N', 'C', 1};
    for (int i = 3; i >= 0; --i) b.push_back(std::uint8_t(header.unpacked >> (8 * i)));
    for (int i = 3; i >= 0; --i) b.push_back(std::uint8_t(header.packed >> (8 * i)));
    b.insert(b.end(), {0, 0, 0, 0, header.margin, header.chunks});
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

Guarded::Guarded(std::size_t size, std::uint8_t fill)
    : size_(size), buffer_(size + 2 * GUARD, GUARD_BYTE) {
    std::memset(buffer_.data() + GUARD, fill, size);
}

bool Guarded::GuardsIntact() const {
    for (std::size_t i = 0; i < GUARD; ++i) {
        if (buffer_[i] != GUARD_BYTE || buffer_[GUARD + size_ + i] != GUARD_BYTE) return false;
    }
    return true;
}

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Text: return "text";
    case Kind::Binary: return "binary";
    case Kind::Image: return "image";
    case Kind::Runs: return "runs";
    case Kind::Random: return "random";
    case Kind::Pattern: return "pattern";
    }
    return "?";
}

namespace {
struct Rng {
    std::uint32_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};
} // namespace

Bytes MakeData(Kind kind, std::size_t size, std::uint32_t seed) {
    Bytes out;
    out.reserve(size);
    Rng rng{seed * 2654435761u + 12345u};
    static const char* const words[] = {"the ",    "unpacker ", "reads ",  "a ",      "block ",
                                        "of ",     "data ",     "and ",    "writes ", "its ",
                                        "output ", "in ",       "one ",    "pass",    ". ",
                                        ", ",      "shell ",    "window ", "\r\n",    "program ",
                                        "memory ", "palette ",  "sprite ", "level ",  "sound "};
    switch (kind) {
    case Kind::Text:
        while (out.size() < size) {
            const char* w = words[rng.Next() % (sizeof words / sizeof *words)];
            for (; *w && out.size() < size; ++w) out.push_back(std::uint8_t(*w));
        }
        break;
    case Kind::Binary:
        // Records of little-endian fields with small values, opcodes and padding.
        while (out.size() < size) {
            const std::uint32_t r = rng.Next();
            const std::uint8_t record[12] = {0x8B,
                                             std::uint8_t(0x40 + (r & 7)),
                                             std::uint8_t(r >> 8 & 0x1F),
                                             0,
                                             0,
                                             0xE8,
                                             std::uint8_t(r >> 16),
                                             std::uint8_t(r >> 24 & 3),
                                             0,
                                             0,
                                             0x90,
                                             std::uint8_t(r & 1 ? 0xC3 : 0x90)};
            for (std::uint8_t b : record) {
                if (out.size() < size) out.push_back(b);
            }
        }
        break;
    case Kind::Image: {
        // 8-bit indexed picture, 320 wide: gradients, flat boxes, some noise.
        const std::size_t width = 320;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t x = i % width, y = i / width;
            std::uint8_t v = std::uint8_t((x / 4 + y / 3) & 0x3F);
            if ((x / 40 + y / 30) % 3 == 0) v = std::uint8_t(0x80 + (y / 30) % 16);
            if (rng.Next() % 16 == 0) v = std::uint8_t(v + rng.Next() % 3);
            out.push_back(v);
        }
        break;
    }
    case Kind::Runs:
        while (out.size() < size) {
            const std::uint8_t v = std::uint8_t(rng.Next() % 4 == 0 ? rng.Next() : 0);
            std::size_t n = 1 + rng.Next() % (rng.Next() % 8 == 0 ? 70000 : 40);
            for (; n && out.size() < size; --n) out.push_back(v);
        }
        break;
    case Kind::Random:
        for (std::size_t i = 0; i < size; ++i) out.push_back(std::uint8_t(rng.Next() >> 11));
        break;
    case Kind::Pattern:
        // Short periods, which give overlapping matches.
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t period = 1 + (i / 5000) % 7;
            out.push_back(std::uint8_t('a' + i % period));
        }
        break;
    }
    return out;
}

Bytes Pack(const Bytes& data, int effort, std::uint32_t* margin, bool* inPlaceSafe) {
    Bytes block(PackBound(data.size()));
    const PackResult r = PackBlock(data.data(), data.size(), block.data(), effort);
    EXPECT_NE(r.size, 0u) << "the packer refused " << data.size() << " bytes";
    block.resize(r.size);
    if (margin) *margin = r.margin;
    if (inPlaceSafe) *inPlaceSafe = r.inPlaceSafe;
    EXPECT_TRUE(ReadsStrictly(data, block, r.inPlaceSafe))
        << data.size() << " bytes packed at effort " << effort;
    return block;
}

namespace {
// The index of the first byte where `got` and `want` differ, as text.
std::string FirstDifference(const Bytes& got, const Bytes& want) {
    std::size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    return "byte " + std::to_string(i) + " of " + std::to_string(want.size()) + " (got " +
           std::to_string(got.size()) + " bytes)";
}
} // namespace

::testing::AssertionResult ReadsStrictly(const Bytes& data, const Bytes& block, bool inPlace) {
    std::uint32_t u = 0, p = 0;
    std::uint8_t m = 0;
    if (!ReadPackHeader(block.data(), block.size(), &u, &p, &m))
        return ::testing::AssertionFailure() << "no header";

    Bytes unpacked(u);
    const UnpackResult r =
        UnpackBlockSized(block.data(), block.size(), unpacked.data(), unpacked.size());
    if (r.Failed())
        return ::testing::AssertionFailure() << "UnpackBlock: " << UnpackStatusText(r.status);

    struct Placement {
        const char* name;
        bool apart;
        std::int64_t offset; // of the block from the destination
    };
    std::vector<Placement> placements = {{"apart", true, 0}};
    if (inPlace) {
        placements.push_back({"in place over the block", false, 0});
        placements.push_back({"stream ending at destination + U + M", false,
                              std::int64_t(u) + m - std::int64_t(block.size())});
    }
    for (const Placement& at : placements) {
        const StrictResult s = at.apart ? StrictUnpack(block) : StrictUnpackAt(block, at.offset);
        if (!s.ok) return ::testing::AssertionFailure() << at.name << ": " << s.fault;
        if (s.fetchedEnd != p)
            return ::testing::AssertionFailure()
                   << at.name << ": fetched " << s.fetchedEnd << " of " << p << " stream bytes";
        if (s.produced != u || s.data != data)
            return ::testing::AssertionFailure() << at.name << ": output differs from the data at "
                                                 << FirstDifference(s.data, data);
    }
    if (unpacked != data)
        return ::testing::AssertionFailure()
               << "UnpackBlock's output differs from the strict reader's at "
               << FirstDifference(unpacked, data);
    return ::testing::AssertionSuccess();
}

std::string Hex(const std::uint8_t* data, std::size_t size) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", data[i]);
        s += buf;
    }
    return s;
}

} // namespace unpack_test

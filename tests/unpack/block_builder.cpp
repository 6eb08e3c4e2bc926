#include "tests/unpack/block_builder.h"

#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace unpack_test {

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
    Bytes out;
    std::size_t raw = 0;
    for (std::size_t w = 0; w <= words_.size(); ++w) {
        for (; raw < raws_.size() && raws_[raw].first == w; ++raw)
            out.insert(out.end(), raws_[raw].second.begin(), raws_[raw].second.end());
        if (w < words_.size()) {
            out.push_back(std::uint8_t(words_[w]));
            out.push_back(std::uint8_t(words_[w] >> 8));
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
    return block;
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

// Helpers for the unpacker's tests: a bit writer that lays out a stream as
// the reader takes it (raw bytes of a run just before the word the reader
// holds last), a header writer, guarded buffers and generated data.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace unpack_test {

using Bytes = std::vector<std::uint8_t>;

// Builds a stream field by field. Bits() takes the value's bit 0 first.
class BitWriter {
public:
    BitWriter& Bits(std::uint32_t value, unsigned n);
    // A literal run's raw bytes, placed before word ceil(C / 16) where C is the
    // number of bits written so far.
    BitWriter& Raw(const Bytes& bytes);
    // The stream bytes: every word that holds a written bit, and raw bytes.
    // A reader of the format fetches one word more; the lenient unpacker
    // takes it as zero.
    Bytes Stream() const;
    // The stream with that word too, as the packer writes it: every byte the
    // reader fetches lies inside it.
    Bytes CompleteStream() const;

private:
    Bytes Layout(std::size_t words) const;

    std::vector<std::uint16_t> words_;
    std::uint64_t bitCount_ = 0;
    // Raw byte groups with the index of the word they precede, in order.
    std::vector<std::pair<std::uint64_t, Bytes>> raws_;
};

struct Header {
    std::uint32_t unpacked;
    std::uint32_t packed; // stream size; Block() fills it in when it is ~0
    std::uint8_t margin;
    std::uint8_t chunks;
};

// Two reference blocks. kAbc3Block unpacks to "abcabcabc": one chunk of a
// run of 3 raw bytes, a match of distance 3 and length 6, and a run of 0.
// kTwoChunksBlock adds a second chunk that describes all three tables with
// count 0 and holds one run of the raw bytes "xyz". Both streams end with
// the word the reader fetches after the last bit.
extern const Bytes kAbc3Block, kAbc3Data, kTwoChunksBlock, kTwoChunksData;

// "RNC", method 1, the header fields and the stream.
Bytes Block(Header header, const Bytes& stream);

// A buffer with guard bytes on both sides, to prove that nothing outside the
// usable part was written.
class Guarded {
public:
    static constexpr std::size_t GUARD = 64;
    static constexpr std::uint8_t GUARD_BYTE = 0xA5;
    explicit Guarded(std::size_t size, std::uint8_t fill = 0xEE);
    std::uint8_t* data() { return buffer_.data() + GUARD; }
    std::size_t size() const { return size_; }
    bool GuardsIntact() const;

private:
    std::size_t size_;
    Bytes buffer_;
};

// Data of one kind, reproducible from the seed.
enum class Kind { Text, Binary, Image, Runs, Random, Pattern };
const char* KindName(Kind kind);
Bytes MakeData(Kind kind, std::size_t size, std::uint32_t seed = 1);

// Packs `data` with the packer; fails the test when the packer gives
// nothing, or when the block is not read correctly by the strict reader
// (apart, and in place when the packer says that is safe) or by UnpackBlock.
Bytes Pack(const Bytes& data, int effort = 9, std::uint32_t* margin = nullptr,
           bool* inPlaceSafe = nullptr);

// Whether the strict reader decodes `block` to `data` apart, and (when
// `inPlace`) over the block itself and with the stream ending at
// destination + U + M, fetching every stream byte and none past P; and
// whether UnpackBlock gives the same bytes.
::testing::AssertionResult ReadsStrictly(const Bytes& data, const Bytes& block, bool inPlace);

std::string Hex(const std::uint8_t* data, std::size_t size);

} // namespace unpack_test

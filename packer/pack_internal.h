// What the packer's parts share (private to packer/): the format's limits,
// the token list a parse gives, value symbols, and code lengths
// (pack_codes.cpp); and the optimal parse of the top effort levels
// (pack_optimal.cpp), which the block writer (pack.cpp) calls. The two
// parses share only this header and pack_codes.cpp: pack_optimal.cpp needs
// nothing of pack.cpp.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace packer {

constexpr std::uint32_t WINDOW_SIZE = 32768;
constexpr std::uint32_t MATCH_MAX = 32767 + 2;
constexpr std::uint32_t RUN_MAX = 32767;
constexpr std::uint32_t RUNS_PER_CHUNK_MAX = 65535;
constexpr std::uint32_t CHUNKS_MAX = 255;
constexpr unsigned SYMBOLS = 16;
constexpr unsigned CODE_LENGTH_MAX = 15;

// A literal run followed by a match, or by the end of its chunk.
struct Token {
    std::uint32_t literals; // raw bytes of the run, 0 to 32767
    std::uint32_t length;   // match length, 0 when the chunk ends after the run
    std::uint32_t distance; // match distance, 1 to 32768
};

// The symbol of a value: the value itself below 2, else its bit width; the
// value then takes symbol - 1 extra bits after the symbol's code.
constexpr unsigned SymbolOf(std::uint32_t value) {
    return value < 2 ? value : unsigned(std::bit_width(value));
}
constexpr unsigned ExtraBits(unsigned symbol) {
    return symbol < 2 ? 0 : symbol - 1;
}

// Bytes in common at `a` and `b`, up to `limit`.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint32_t limit) {
    std::uint32_t n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            const std::uint64_t diff = x ^ y;
            if constexpr (std::endian::native == std::endian::little)
                return n + unsigned(std::countr_zero(diff)) / 8;
            else
                return n + unsigned(std::countl_zero(diff)) / 8;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

using Lengths = std::array<std::uint8_t, SYMBOLS>;
using Counts = std::array<std::uint32_t, SYMBOLS>;

// Code lengths (pack_codes.cpp)

// Huffman code lengths for at most 16 symbols (none above 15 bits); a lone
// symbol gets one bit, an unused one 0.
Lengths HuffmanLengths(const Counts& counts);

// Bits to code `counts` with `lengths`, or UINT64_MAX when a symbol in use
// has no code.
std::uint64_t CodedBits(const Counts& counts, const Lengths& lengths);

// The symbol count a table description needs for `lengths`.
unsigned DescribedSymbols(const Lengths& lengths);

// The top levels' parse (pack_optimal.cpp).
struct OptimalEffort {
    std::uint32_t depth;      // tree nodes looked at per position
    std::uint32_t niceLength; // a match this long is taken as it is
    unsigned passes;          // parses, each with the tables of the one before
    int matchPenalty;         // sixteenths of a bit charged per match for its decoding time
};

// Tokens for `size` bytes (at least 1) whose chunk ends (tokens of length 0)
// come from the parse; runs per chunk are not yet limited to 65535.
std::vector<Token> OptimalParse(const std::uint8_t* data, std::uint32_t size,
                                const OptimalEffort& effort);

} // namespace packer

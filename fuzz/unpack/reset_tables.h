// The unpacker's fuzzers start every input from the same code tables: those
// of a block that describes every entry of all three, unpacked before each
// input, so that neither a table kept by a count of 0 nor the entries after
// the last one a shorter description writes carry anything from one input
// into the next.
#pragma once

#include "unpack/unpack.h"

#include <cstdint>
#include <cstdlib>

namespace unpack_fuzz {

// U = 0, one chunk: 2 ignored bits; three tables of 16 symbols, each with a
// 4-bit code (symbol s gets the code s, its bits reversed); K = 1; one empty
// literal run (symbol 0, code 0000); then zero bits to the end of the word,
// and the word the reader fetches after it.
inline constexpr std::uint8_t kResetBlock[] = {
    0x52, 0x4E, 0x43, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x40, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22,
    0x22, 0x48, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x04, 0x89, 0x88, 0x88,
    0x88, 0x88, 0x88, 0x88, 0x88, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};

inline void ResetTables() {
    std::uint8_t out[1];
    const UnpackResult r = UnpackBlockSized(kResetBlock, sizeof kResetBlock, out, sizeof out);
    if (r.Failed() || r.produced != 0) std::abort();
}

} // namespace unpack_fuzz

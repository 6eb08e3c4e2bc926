// Arbitrary bytes as a packed block, unpacked by every decoder variant this
// build carries (the plain scan, the SSE2, MMX and read-ahead decoders) and
// read by the tests' reader leniently, the plain byte-by-byte reference:
// through the sized entry apart and in place, and through the plain entry in
// place where the input holds the whole stream. Each variant must report the
// reference's status and count of bytes written, write the same bytes up to
// that count, and leave the rest of a separate destination as it was. All
// start from the same code tables.
//
// In place, a damaged block's output can overwrite stream bytes before the
// reader reaches them; a decoder that fetched them earlier then reads other
// bytes, so such inputs are held to the bounds (AddressSanitizer) only.
#include "fuzz/unpack/reset_tables.h"
#include "tests/unpack/strict_reader.h"
#include "unpack/unpack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using unpack_test::ReaderTables;
using unpack_test::ReadOptions;
using unpack_test::StrictResult;

constexpr std::uint32_t CAPACITY_MAX = 1u << 20;
constexpr std::uint8_t UNTOUCHED = 0xA5;

const std::vector<std::uint8_t> kResetBlockBytes(std::begin(unpack_fuzz::kResetBlock),
                                                 std::end(unpack_fuzz::kResetBlock));

// The reference's tables after the reset block, as the unpacker's are.
ReaderTables ResetReferenceTables() {
    ReaderTables tables;
    if (!unpack_test::StrictUnpack(kResetBlockBytes, {true, &tables}).ok) std::abort();
    return tables;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

// `r` and the `out` bytes against the reference's reading.
void RequireSame(const UnpackResult& r, const std::uint8_t* out, const StrictResult& want,
                 std::uint32_t unpacked) {
    Require(r.status == want.status);
    Require(r.size == (want.status == UNPACK_OK ? unpacked : 0));
    Require(r.produced == want.produced);
    Require(want.produced <= want.data.size());
    Require(r.produced == 0 || std::memcmp(out, want.data.data(), r.produced) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> block(data, data + size);
    std::uint32_t u = 0, p = 0;
    std::uint8_t m = 0;
    const bool header = ReadPackHeader(data, size, &u, &p, &m);
    const std::size_t capacity = header ? std::min(u, CAPACITY_MAX) : 16;
    // Larger claims are refused before anything is read.
    const bool fits = !header || u <= CAPACITY_MAX;
    const bool inPlace = header && u <= CAPACITY_MAX;
    const bool streamInInput = header && PACK_HEADER_SIZE + std::uint64_t(p) <= size;

    const ReaderTables reset = ResetReferenceTables();
    ReaderTables tables = reset;
    StrictResult apart;
    apart.status = UNPACK_DOES_NOT_FIT;
    if (fits) apart = unpack_test::StrictUnpack(block, ReadOptions{true, &tables});
    StrictResult there;
    if (inPlace) {
        tables = reset;
        there = unpack_test::StrictUnpackAt(block, 0, ReadOptions{true, &tables});
    }

    const UnpackVariant chosen = UnpackCurrentVariant();
    for (const UnpackVariant variant : {UNPACK_PLAIN, UNPACK_SSE2, UNPACK_READ_AHEAD, UNPACK_MMX}) {
        if (!UnpackUseVariant(variant)) continue;

        // Apart: exact-size heap copies, so that any read or write outside
        // them is caught.
        unpack_fuzz::ResetTables();
        {
            const std::vector<std::uint8_t> source(block);
            std::vector<std::uint8_t> out(capacity, UNTOUCHED);
            const UnpackResult r =
                UnpackBlockSized(source.data(), source.size(), out.data(), out.size());
            RequireSame(r, out.data(), apart, u);
            Require(std::all_of(out.begin() + r.produced, out.end(),
                                [](std::uint8_t b) { return b == UNTOUCHED; }));
            Require(source == block); // the source is not written apart
        }
        if (!inPlace) continue;

        // In place over the block itself, in an area of max(U + M, block).
        const std::size_t areaSize = std::max<std::size_t>(std::size_t(u) + m, size);
        for (const bool sized : {true, false}) {
            // The plain entry trusts the header: only where the stream is there.
            if (!sized && !streamInInput) continue;
            unpack_fuzz::ResetTables();
            std::vector<std::uint8_t> area(areaSize);
            std::memcpy(area.data(), data, size);
            const UnpackResult r = sized
                                       ? UnpackBlockSized(area.data(), size, area.data(), areaSize)
                                       : UnpackBlock(area.data(), area.data());
            Require(r.produced <= u);
            if (!there.overtaken) RequireSame(r, area.data(), there, u);
        }
    }
    UnpackUseVariant(chosen);
    return 0;
}

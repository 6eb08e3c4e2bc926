// Arbitrary bytes as a packed block, through the sized entry: apart into a
// destination of exactly the capacity asked for, and in place over a buffer
// of exactly max(U + M, block) bytes. The heap copies are exact, so any read
// or write outside them is caught by AddressSanitizer.
#include "fuzz/unpack/reset_tables.h"
#include "unpack/unpack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t CAPACITY_MAX = 1u << 20;
using unpack_fuzz::ResetTables;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::uint32_t u = 0;
    std::uint8_t m = 0;
    const bool header = ReadPackHeader(data, size, &u, nullptr, &m);
    // Larger claims are refused without a write; keep the buffers small.
    const std::size_t capacity = header ? std::min(u, CAPACITY_MAX) : 16;

    ResetTables();
    {
        std::vector<std::uint8_t> block(data, data + size);
        std::vector<std::uint8_t> out(capacity);
        const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
        if (!r.Failed() && r.size > capacity) std::abort();
        if (r.Failed() && r.size != 0) std::abort();
        if (std::memcmp(block.data(), data, size) != 0)
            std::abort(); // the source is not written apart
    }
    if (header && u <= CAPACITY_MAX) {
        ResetTables();
        std::vector<std::uint8_t> area(std::max<std::size_t>(std::size_t(u) + m, size));
        std::memcpy(area.data(), data, size);
        const UnpackResult r = UnpackBlockSized(area.data(), size, area.data(), area.size());
        if (!r.Failed() && r.size != u) std::abort();
    }
    return 0;
}

// Arbitrary bytes as a packed block, through the sized entry: apart into a
// destination of exactly the capacity asked for, and in place over a buffer
// of exactly max(U + M, block) bytes. The heap copies are exact, so any read
// or write outside them is caught by AddressSanitizer.
#include "unpack/unpack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t CAPACITY_MAX = 1u << 20;

// A block that describes all three tables, unpacked before each input so
// that tables kept by a count of 0 start the same on every run.
const std::uint8_t kResetBlock[] = {0x52, 0x4E, 0x43, 0x01, 0x00, 0x00, 0x00, 0x09, 0x00,
                                    0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
                                    0x8C, 0x80, 0x18, 0x01, 0x41, 0x02, 0x20, 0x04, 0x00,
                                    0x2E, 0x61, 0x62, 0x63, 0x00, 0x00, 0x00, 0x00};

void ResetTables() {
    std::uint8_t out[9];
    if (UnpackBlockSized(kResetBlock, sizeof kResetBlock, out, sizeof out).Failed()) std::abort();
}

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

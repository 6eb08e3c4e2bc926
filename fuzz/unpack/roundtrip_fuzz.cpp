// Arbitrary data through the packer and back: the block must unpack to the
// same bytes into an exactly sized buffer, and in place over itself within
// U + M bytes whenever the packer says that is safe. The first byte chooses
// the packer's effort.
#include "unpack/unpack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t inputSize) {
    if (inputSize == 0) return 0;
    const int effort = 1 + input[0] % 9;
    const std::uint8_t* data = input + 1;
    const std::size_t size = inputSize - 1;

    std::vector<std::uint8_t> block(PackBound(size));
    const PackResult packed = PackBlock(data, size, block.data(), effort);
    if (packed.size == 0 || packed.size > block.size()) std::abort();
    block.resize(packed.size);

    std::vector<std::uint8_t> out(size);
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
    if (r.Failed() || r.size != size) std::abort();
    if (size != 0 && std::memcmp(out.data(), data, size) != 0) std::abort();

    if (packed.inPlaceSafe) {
        std::uint32_t u = 0;
        std::uint8_t m = 0;
        if (!ReadPackHeader(block.data(), block.size(), &u, nullptr, &m) || m != packed.margin)
            std::abort();
        std::vector<std::uint8_t> area(std::max<std::size_t>(size + m, block.size()));
        std::memcpy(area.data(), block.data(), block.size());
        // The plain entry, as a program unpacking a file over itself would.
        const UnpackResult inPlace = UnpackBlock(area.data(), area.data());
        if (inPlace.Failed() || inPlace.size != size) std::abort();
        if (size != 0 && std::memcmp(area.data(), data, size) != 0) std::abort();
    }
    return 0;
}

// Arbitrary data through the packer and back: the block must unpack to the
// same bytes into an exactly sized buffer, and in place over itself within
// U + M bytes whenever the packer says that is safe. The strict reader of the
// tests must read it the same way, apart and in place (over the block and
// with the stream ending at destination + U + M), fetching every stream byte
// and none past P. The first byte chooses the packer's effort.
#include "tests/unpack/strict_reader.h"
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

    const std::vector<std::uint8_t> want(data, data + size);
    const std::size_t packedSize = block.size() - PACK_HEADER_SIZE;
    auto readsStrictly = [&](const unpack_test::StrictResult& strict) {
        return strict.ok && strict.fetchedEnd == packedSize && strict.data == want;
    };
    if (!readsStrictly(unpack_test::StrictUnpack(block))) std::abort();

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
        if (!readsStrictly(unpack_test::StrictUnpackAt(block, 0)) ||
            !readsStrictly(unpack_test::StrictUnpackAt(block, std::int64_t(size) + m -
                                                                  std::int64_t(block.size()))))
            std::abort();
    }
    return 0;
}

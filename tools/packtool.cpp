// packtool: packs files into packed blocks and unpacks them again.
//
//   packtool pack [-1..-9] <input> <output>    write a packed block
//   packtool unpack [--pad] <input> <output>   expand a packed block
//   packtool info <input>                      print a block's header
//
// Exit code 0 on success, 1 on a bad block or an input or output error,
// 2 on a usage error.
//
// Nothing is lost and nothing made up. A file larger than any block is
// refused from its size, before it is read. The header is checked against
// the file before any memory is taken for the output: a stream longer than
// the file, or an unpacked size U larger than the stream could ever unpack
// to, is refused. A block whose chunks write fewer than U bytes (the unpacker
// still returns U for it) is refused too, with both numbers, unless --pad
// asks for the U bytes with zeros after the ones written. Output is written
// as tool_io.h describes, so that on any failure the output path is as it
// was.
#include "tools/tool_io.h"
#include "unpack/unpack.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The largest block: a header and the longest stream its P can give.
constexpr std::uint64_t BLOCK_MAX = PACK_HEADER_SIZE + std::uint64_t(UINT32_MAX);

constexpr const char* BLOCK_HOLDS = "a packed block holds";

// The most bytes a stream of `packed` bytes in `chunks` chunks can unpack to.
// Raw bytes give one byte each, and they lie inside the stream. Every other
// byte comes from a match. A match whose length takes b bits (code and extra
// bits) gives at most 2^b + 1 bytes, since a symbol s has a code of at least
// one bit and s - 1 extra bits and gives a length of at most 2^s + 1; that is
// at most 2 + 2185 b for every b, also for b = 0, the length 2 that a table
// entry never built gives for no bits. A chunk holds at most 65534 matches
// and takes at least 31 bits: three table counts and its run count.
std::uint64_t UnpackedSizeBound(std::uint64_t packed, unsigned chunks) {
    const std::uint64_t bits = 8 * packed;
    const std::uint64_t chunksHeld = std::min<std::uint64_t>(chunks, bits / 31);
    return packed + 2 * 65534 * chunksHeld + 2185 * bits;
}

int Usage() {
    std::fprintf(stderr, "usage: packtool pack [-1..-9] <input> <output>\n"
                         "       packtool unpack [--pad] <input> <output>\n"
                         "       packtool info <input>\n");
    return 2;
}

int Pack(int effort, const char* in, const char* out) {
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(in, data, UINT32_MAX, BLOCK_HOLDS)) return 1;
    std::vector<std::uint8_t> block(PackBound(data.size()));
    const PackResult r = PackBlock(data.data(), data.size(), block.data(), effort);
    if (r.size == 0) {
        ToolMessage("%s: %zu bytes do not fit one packed block", in, data.size());
        return 1;
    }
    if (!r.inPlaceSafe)
        ToolMessage("warning: %s needs a margin of %u bytes to unpack in place, "
                    "more than a block records (255); unpack it into a separate buffer",
                    in, unsigned(r.margin));
    return WriteWholeFile(out, block.data(), r.size) ? 0 : 1;
}

int Unpack(bool pad, const char* in, const char* out) {
    std::vector<std::uint8_t> block;
    if (!ReadWholeFile(in, block, BLOCK_MAX, BLOCK_HOLDS)) return 1;
    std::uint32_t unpacked = 0, packed = 0;
    if (!ReadPackHeader(block.data(), block.size(), &unpacked, &packed, nullptr)) {
        ToolMessage("%s: not a packed block", in);
        return 1;
    }
    const std::size_t held = block.size() - PACK_HEADER_SIZE;
    if (packed > held) {
        ToolMessage("%s: the header gives a stream of %u bytes, the file holds %zu", in,
                    unsigned(packed), held);
        return 1;
    }
    const std::uint64_t bound = UnpackedSizeBound(packed, block[17]);
    if (unpacked > bound) {
        ToolMessage("%s: the header gives an unpacked size of %u bytes, more than "
                    "its %u stream bytes can unpack to (at most %llu)",
                    in, unsigned(unpacked), unsigned(packed), (unsigned long long)bound);
        return 1;
    }
    // Not zeroed: only the bytes the chunks write (and --pad's zeros) go out.
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow)
                                             std::uint8_t[std::max<std::uint32_t>(unpacked, 1)]);
    if (!data) {
        ToolMessage("%s: not enough memory for the %u unpacked bytes", in, unsigned(unpacked));
        return 1;
    }
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), data.get(), unpacked);
    if (r.Failed()) {
        ToolMessage("%s: bad block: %s (after %u of %u bytes)", in, UnpackStatusText(r.status),
                    unsigned(r.produced), unsigned(unpacked));
        return 1;
    }
    if (r.produced < unpacked) {
        if (!pad) {
            ToolMessage("%s: the block's chunks give %u bytes, its header says %u; "
                        "nothing written (--pad writes the %u bytes, zeros after the %u)",
                        in, unsigned(r.produced), unsigned(unpacked), unsigned(unpacked),
                        unsigned(r.produced));
            return 1;
        }
        std::memset(data.get() + r.produced, 0, unpacked - r.produced);
    }
    return WriteWholeFile(out, data.get(), unpacked) ? 0 : 1;
}

int Info(const char* in) {
    std::vector<std::uint8_t> block;
    if (!ReadWholeFile(in, block, BLOCK_MAX, BLOCK_HOLDS)) return 1;
    std::uint32_t unpacked = 0, packed = 0;
    std::uint8_t margin = 0;
    if (!ReadPackHeader(block.data(), block.size(), &unpacked, &packed, &margin)) {
        ToolMessage("%s: not a packed block", in);
        return 1;
    }
    std::printf("unpacked %u bytes, stream %u bytes, margin %u, chunks %u\n", unsigned(unpacked),
                unsigned(packed), unsigned(margin), unsigned(block[17]));
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "pack") {
        int effort = 9;
        int first = 2;
        if (argc > 2 && argv[2][0] == '-' && argv[2][1] >= '1' && argv[2][1] <= '9' &&
            argv[2][2] == 0) {
            effort = argv[2][1] - '0';
            first = 3;
        }
        if (argc != first + 2) return Usage();
        return Pack(effort, argv[first], argv[first + 1]);
    }
    if (command == "unpack") {
        const bool pad = argc > 2 && std::strcmp(argv[2], "--pad") == 0;
        const int first = pad ? 3 : 2;
        if (argc != first + 2) return Usage();
        return Unpack(pad, argv[first], argv[first + 1]);
    }
    if (command == "info" && argc == 3) return Info(argv[2]);
    return Usage();
}

} // namespace

int main(int argc, char** argv) {
    return RunTool("packtool", Run, argc, argv);
}

// packtool: packs files into packed blocks and unpacks them again.
//
//   packtool pack [-1..-9] <input> <output>    write a packed block
//   packtool unpack <input> <output>           expand a packed block
//   packtool info <input>                      print a block's header
//
// Exit code 0 on success, 1 on a bad block or an input or output error,
// 2 on a usage error.
#include "unpack/unpack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadFile(const char* path, std::vector<std::uint8_t>& data) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "packtool: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    data.clear();
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) std::fprintf(stderr, "packtool: cannot read %s\n", path);
    return !failed;
}

bool WriteFile(const char* path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::fprintf(stderr, "packtool: cannot create %s: %s\n", path, std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "packtool: cannot write %s\n", path);
        return false;
    }
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: packtool pack [-1..-9] <input> <output>\n"
                         "       packtool unpack <input> <output>\n"
                         "       packtool info <input>\n");
    return 2;
}

int Pack(int effort, const char* in, const char* out) {
    std::vector<std::uint8_t> data;
    if (!ReadFile(in, data)) return 1;
    std::vector<std::uint8_t> block(PackBound(data.size()));
    const PackResult r = PackBlock(data.data(), data.size(), block.data(), effort);
    if (r.size == 0) {
        std::fprintf(stderr, "packtool: %s: %zu bytes do not fit one packed block\n", in,
                     data.size());
        return 1;
    }
    if (!r.inPlaceSafe)
        std::fprintf(stderr,
                     "packtool: warning: %s needs a margin of %u bytes to unpack in place, "
                     "more than a block records (255); unpack it into a separate buffer\n",
                     in, unsigned(r.margin));
    return WriteFile(out, block.data(), r.size) ? 0 : 1;
}

int Unpack(const char* in, const char* out) {
    std::vector<std::uint8_t> block;
    if (!ReadFile(in, block)) return 1;
    std::uint32_t unpacked = 0;
    if (!ReadPackHeader(block.data(), block.size(), &unpacked, nullptr, nullptr)) {
        std::fprintf(stderr, "packtool: %s: not a packed block\n", in);
        return 1;
    }
    std::vector<std::uint8_t> data(unpacked);
    const UnpackResult r = UnpackBlockSized(block.data(), block.size(), data.data(), data.size());
    if (r.Failed()) {
        std::fprintf(stderr, "packtool: %s: bad block: %s\n", in, UnpackStatusText(r.status));
        return 1;
    }
    return WriteFile(out, data.data(), r.size) ? 0 : 1;
}

int Info(const char* in) {
    std::vector<std::uint8_t> block;
    if (!ReadFile(in, block)) return 1;
    std::uint32_t unpacked = 0, packed = 0;
    std::uint8_t margin = 0;
    if (!ReadPackHeader(block.data(), block.size(), &unpacked, &packed, &margin)) {
        std::fprintf(stderr, "packtool: %s: not a packed block\n", in);
        return 1;
    }
    std::printf("unpacked %u bytes, stream %u bytes, margin %u, chunks %u\n", unsigned(unpacked),
                unsigned(packed), unsigned(margin), unsigned(block[17]));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
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
    if (command == "unpack" && argc == 4) return Unpack(argv[2], argv[3]);
    if (command == "info" && argc == 3) return Info(argv[2]);
    return Usage();
}

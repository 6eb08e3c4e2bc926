// Writes packed blocks of assorted small data into the directory named on the
// command line, as seeds for unpack_block_fuzz.
#include "unpack/unpack.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: unpack_seed_maker <directory>\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::string mk = "mkdir -p '" + dir + "'";
    if (std::system(mk.c_str()) != 0) return 1;
    std::uint32_t rng = 12345;
    auto next = [&] { return rng = rng * 1664525u + 1013904223u; };
    int written = 0;
    const std::size_t sizes[] = {0, 1, 3, 40, 300, 2000, 9000};
    for (int kind = 0; kind < 5; ++kind) {
        for (std::size_t size : sizes) {
            std::vector<std::uint8_t> data(size);
            for (std::size_t i = 0; i < size; ++i) {
                switch (kind) {
                case 0: data[i] = std::uint8_t("the packed data of a shell "[i % 27]); break;
                case 1: data[i] = std::uint8_t(i / 97 % 3 == 0 ? 0 : i / 300); break;
                case 2: data[i] = std::uint8_t(next() >> 24); break;
                case 3: data[i] = std::uint8_t((i % 320) / 8 + (i / 320) / 4); break;
                default:
                    data[i] = std::uint8_t(next() % 4 == 0 ? next() >> 24 : data[i ? i - 1 : 0]);
                    break;
                }
            }
            std::vector<std::uint8_t> block(PackBound(size));
            const PackResult r = PackBlock(data.data(), size, block.data(), 1 + written % 9);
            const std::string path =
                dir + "/seed-" + std::to_string(kind) + "-" + std::to_string(size);
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (!f || std::fwrite(block.data(), 1, r.size, f) != r.size) return 1;
            std::fclose(f);
            ++written;
        }
    }
    std::printf("%d seeds in %s\n", written, dir.c_str());
    return 0;
}

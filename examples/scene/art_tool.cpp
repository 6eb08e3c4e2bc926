// The art tool: draws the example's art and writes the sheet to the file
// named on its command line, for packtool to pack. It runs where the program
// is built (under the toolchain's emulator when that is not Windows).
#include "scene.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: scene_art SHEET\n", stderr);
        return 2;
    }
    static std::uint8_t sheet[ART_SHEET_CAPACITY];
    const std::size_t size = MakeArtSheet(sheet, sizeof sheet);
    if (size == 0) {
        std::fputs("scene_art: the art does not fit the sheet\n", stderr);
        return 1;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "scene_art: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(sheet, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "scene_art: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}

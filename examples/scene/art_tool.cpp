// The art tool: lays out the example's art sheet from the palette file, the
// font file and the sprite files that spritetool made of the pictures in
// art/, and writes
// it to the file named first on its command line, for packtool to pack. It
// runs where the program is built (under the toolchain's emulator when that
// is not Windows).
#include "scene.h"

#include <cstdio>
#include <vector>

namespace {

bool ReadFile(const char* path, std::vector<std::uint8_t>& data, std::size_t limit) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "scene_art: cannot open %s\n", path);
        return false;
    }
    data.resize(limit + 1);
    data.resize(std::fread(data.data(), 1, data.size(), file));
    const bool read = !std::ferror(file) && data.size() <= limit;
    std::fclose(file);
    if (!read) std::fprintf(stderr, "scene_art: cannot read %s, or it is too long\n", path);
    return read;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 + SPRITE_COUNT) {
        std::fputs("usage: scene_art SHEET PALETTE FONT SPRITE... (one per sprite, in order)\n",
                   stderr);
        return 2;
    }
    std::vector<std::uint8_t> palette;
    if (!ReadFile(argv[2], palette, ART_PALETTE_SIZE)) return 1;
    if (palette.size() != ART_PALETTE_SIZE) {
        std::fprintf(stderr, "scene_art: %s is not a palette of 256 colours\n", argv[2]);
        return 1;
    }
    std::vector<std::uint8_t> font;
    if (!ReadFile(argv[3], font, ART_SHEET_CAPACITY)) return 1;
    std::vector<std::uint8_t> files[SPRITE_COUNT];
    ArtFile sprites[SPRITE_COUNT];
    for (std::size_t i = 0; i < SPRITE_COUNT; ++i) {
        if (!ReadFile(argv[4 + i], files[i], ART_SHEET_CAPACITY)) return 1;
        sprites[i] = {files[i].data(), files[i].size()};
    }
    static std::uint8_t sheet[ART_SHEET_CAPACITY];
    const std::size_t size =
        MakeArtSheet(palette.data(), sprites, {font.data(), font.size()}, sheet, sizeof sheet);
    if (size == 0) {
        std::fputs("scene_art: a sprite is not of its size, or the art does not fit the sheet\n",
                   stderr);
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

// scene_reference ART TITLE OUT.ppm
// Draws the scene that a window title of the example program describes, with
// the host build of the shell, into memory, and writes it mapped through the
// art's palette as a binary PPM: the picture the program's window must show
// for that state. ART is the packed art block the program carries.
//
// The window lies inside a larger buffer with rows top-down, where the
// program draws into a bottom-up DIB: the same picture must come out of both.
#include "scene.h"

#include <cstdio>
#include <vector>

namespace {

constexpr std::int32_t MARGIN = 8;

bool ReadFile(const char* path, std::vector<std::uint8_t>* data) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::uint8_t buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data->insert(data->end(), buffer, buffer + n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: scene_reference ART TITLE OUT.ppm\n", stderr);
        return 2;
    }
    std::vector<std::uint8_t> block;
    if (!ReadFile(argv[1], &block)) {
        std::fprintf(stderr, "scene_reference: cannot read %s\n", argv[1]);
        return 1;
    }
    static std::uint8_t sheet[ART_SHEET_CAPACITY];
    static Art art;
    if (const ArtStatus status = LoadArt(block.data(), block.size(), sheet, sizeof sheet, &art);
        status != ART_OK) {
        std::fprintf(stderr, "scene_reference: %s: the art does not load (status %d)\n", argv[1],
                     status);
        return 1;
    }
    SceneState state;
    if (!ParseTitle(argv[2], &state)) {
        std::fprintf(stderr, "scene_reference: not a title of the scene: %s\n", argv[2]);
        return 1;
    }

    static std::uint8_t mixTable[MIX_TABLE_SIZE];
    BuildMixTable(art.palette, mixTable);
    constexpr std::int32_t pitch = SCENE_WIDTH + 2 * MARGIN;
    std::vector<std::uint8_t> buffer(std::size_t{pitch} * (SCENE_HEIGHT + 2 * MARGIN));
    screenState.bufferBase = buffer.data();
    screenState.windowBase = buffer.data() + MARGIN * pitch + MARGIN;
    screenState.pitch = pitch;
    screenState.windowX = MARGIN;
    screenState.windowY = MARGIN;
    screenState.windowWidth = SCENE_WIDTH;
    screenState.windowHeight = SCENE_HEIGHT;
    DrawScene(state, art, mixTable);

    std::vector<std::uint8_t> rgb;
    rgb.reserve(std::size_t{SCENE_WIDTH} * SCENE_HEIGHT * 3);
    for (std::int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        for (std::int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const Rgb c = art.palette[screenState.windowBase[y * pitch + x]];
            rgb.insert(rgb.end(), {c.red, c.green, c.blue});
        }
    }
    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "scene_reference: cannot create %s\n", argv[3]);
        return 1;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", SCENE_WIDTH, SCENE_HEIGHT);
    const bool written = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "scene_reference: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

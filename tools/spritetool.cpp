// spritetool: indexed PNG pictures to sprite data and back.
//
//   spritetool encode <in.png> <out> [--key N]   a picture to a sprite file
//   spritetool decode <in> <out.png> --palette <pal> [--mirror] [--flip]
//                                                draw a sprite file into a picture
//   spritetool palette <in.png> <out>            a picture's palette, 768 bytes
//   spritetool info <in>                         what a sprite file holds
//   spritetool font <in.png> <out> [--first N] [--key N]
//                                                a picture of glyphs to a font file
//   spritetool fontsheet <in> <out.png> --palette <pal>
//                                                draw a font file into its picture
//
// Exit code 0 on success, 1 on bad input or an output that cannot be
// written (the message names the file and the reason, and the output path
// is left as it was: see tool_io.h), 2 on a usage error.
//
// A sprite file is the sprite's width and height (one byte each, 1 to 255)
// and then its run-length rows, as DrawSprite takes them. encode makes the
// rows with EncodeSprite from an indexed picture of 1, 2, 4 or 8 bits a
// pixel; any other picture is refused, since sprites hold palette indices and
// nothing here reduces colours. The transparent pixels are those of the index
// given with --key or, without it, of the one palette entry that the
// picture's transparency chunk makes wholly transparent. Pixels of partly
// transparent entries, or of two transparent entries, cannot be told to the
// renderer, and such a picture is refused. A picture with no transparent
// pixel is encoded with an index that no pixel has as the encoder's
// transparent one, or, when it uses all 256, as rows of literal runs.
//
// decode checks the file with ValidateSpriteData and draws it with the
// shell's own DrawSprite, mirrored and flipped as asked, into an 8-bit
// indexed picture with the palette of <pal>: a palette file as palette
// writes it, 3 bytes (red, green, blue) a colour, 1 to 256 colours. The
// pixels the sprite leaves untouched get a palette entry that no drawn pixel
// uses (the highest one free), made transparent in the picture's
// transparency chunk.
//
// palette reads the picture only as far as its palette: a picture's size
// does not matter to it.
//
// font reads a grid of glyph cells (see font_file.h) with the refusals of
// encode, and writes the font file that LoadFont (text/text.h) takes; the
// transparent index is found as encode finds it, and there must be one.
// fontsheet checks a font file with LoadFont and draws its glyphs back into
// the grid, with lines of one pixel in the grid's colour, as decode draws a
// sprite.
#include "graphics/graphics.h"
#include "text/text.h"
#include "tools/font_file.h"
#include "tools/png_io.h"
#include "tools/tool_io.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t SPRITE_FILE_HEADER = 2; // width, height
constexpr std::size_t SPRITE_FILE_MAX = SPRITE_FILE_HEADER + SpriteDataBound(255, 255);
constexpr std::size_t PALETTE_FILE_SIZE = 256 * 3;
constexpr std::uint64_t PICTURE_FILE_MAX = 64u << 20;
constexpr PictureLimit SPRITE_LIMIT = {255, 255, "a sprite can be"};
constexpr PictureLimit FONT_PICTURE_LIMIT = {4096, 4096, "a font's picture can be"};
// A font of 256 glyphs of 255 x 255 pixels, each as large as its data gets.
constexpr std::size_t FONT_FILE_MAX =
    FONT_HEADER_SIZE + FONT_MAX_GLYPHS * (FONT_GLYPH_ENTRY_SIZE + SpriteDataBound(255, 255));

int Usage() {
    std::fprintf(stderr,
                 "usage: spritetool encode <in.png> <out> [--key N]\n"
                 "       spritetool decode <in> <out.png> --palette <pal> [--mirror] [--flip]\n"
                 "       spritetool palette <in.png> <out>\n"
                 "       spritetool info <in>\n"
                 "       spritetool font <in.png> <out> [--first N] [--key N]\n"
                 "       spritetool fontsheet <in> <out.png> --palette <pal>\n");
    return 2;
}

// The picture at `path`; with a null `limit`, only as far as its palette.
bool ReadPicture(const char* path, const PictureLimit* limit, IndexedPicture* picture) {
    Bytes file;
    if (!ReadWholeFile(path, file, PICTURE_FILE_MAX, "spritetool reads from a picture"))
        return false;
    std::string error;
    if (limit ? ReadIndexedPng(file.data(), file.size(), *limit, picture, &error)
              : ReadPngPalette(file.data(), file.size(), picture, &error))
        return true;
    ToolMessage("%s: %s", path, error.c_str());
    return false;
}

// What a sound sprite file holds, counted row by row.
struct SpriteFile {
    SpriteRecord record;
    std::size_t dataSize;
    unsigned emptyRows; // rows of the end byte alone
    unsigned literalRuns;
    unsigned transparentRuns;
    unsigned drawnPixels;
};

// Reads a sprite file and checks it: its size bytes, ValidateSpriteData, and
// no byte after the last row. `report` also prints what it finds to stdout,
// up to the first fault.
bool ReadSprite(const char* path, Bytes& file, SpriteFile* sprite, bool report) {
    if (!ReadWholeFile(path, file, SPRITE_FILE_MAX, "a sprite file holds")) return false;
    if (file.size() < SPRITE_FILE_HEADER) {
        ToolMessage("%s: %zu bytes, too short for a sprite's width and height", path, file.size());
        return false;
    }
    const std::uint8_t width = file[0], height = file[1];
    const std::uint8_t* data = file.data() + SPRITE_FILE_HEADER;
    const std::size_t size = file.size() - SPRITE_FILE_HEADER;
    if (report) std::printf("width %u, height %u\n", width, height);
    if (width == 0 || height == 0) {
        ToolMessage("%s: a sprite of %u x %u pixels, which draws nothing", path, width, height);
        return false;
    }
    const std::int32_t verdict = ValidateSpriteData(data, size, width, height);
    if (report)
        std::printf("ValidateSpriteData: %d (%s)\n", verdict, verdict == 1 ? "sound" : "unsound");
    if (verdict != 1) {
        ToolMessage("%s: not sound sprite data for %u x %u pixels: a row runs past the width "
                    "or past the end of the file",
                    path, width, height);
        return false;
    }
    // The data is sound: walk its rows for the counts and the end.
    *sprite = {{data, width, height}, 0, 0, 0, 0, 0};
    std::size_t at = 0;
    for (unsigned row = 0; row < height; ++row) {
        if (data[at] == 0) ++sprite->emptyRows;
        for (std::int32_t n; (n = std::int8_t(data[at++])) != 0;) {
            if (n > 0) {
                ++sprite->literalRuns;
                sprite->drawnPixels += unsigned(n);
                at += std::size_t(n);
            } else {
                ++sprite->transparentRuns;
            }
        }
    }
    sprite->dataSize = at;
    if (report)
        std::printf("rows %u (%u empty), runs %u (%u literal, %u transparent), "
                    "%u pixels drawn\nbytes %zu (sprite data %zu)\n",
                    unsigned(height), sprite->emptyRows,
                    sprite->literalRuns + sprite->transparentRuns, sprite->literalRuns,
                    sprite->transparentRuns, sprite->drawnPixels, file.size(), at);
    if (at != size) {
        ToolMessage("%s: %zu bytes after the sprite's last row", path, size - at);
        return false;
    }
    return true;
}

// The index whose pixels are transparent, or -1 when there is none; false
// (with a message) when the picture's transparency cannot be told to the
// renderer.
bool TransparentIndex(const char* path, const IndexedPicture& picture, const bool* used, int key,
                      int* index) {
    if (key >= 0) {
        *index = key;
        return true;
    }
    *index = -1;
    for (std::size_t i = 0; i < picture.alpha.size(); ++i) {
        if (!used[i] || picture.alpha[i] == 255) continue;
        if (picture.alpha[i] != 0) {
            ToolMessage("%s: palette entry %zu is partly transparent (alpha %u); a sprite's "
                        "pixels are drawn or not (--key N makes one index transparent)",
                        path, i, unsigned(picture.alpha[i]));
            return false;
        }
        if (*index >= 0) {
            ToolMessage("%s: palette entries %d and %zu are both transparent; a sprite has one "
                        "transparent index (--key N chooses it)",
                        path, *index, i);
            return false;
        }
        *index = int(i);
    }
    return true;
}

// A picture with the indices its pixels use and its transparent index.
struct KeyedPicture {
    IndexedPicture picture;
    bool used[256] = {};
    int transparent = -1; // none
};

// The picture at `path` with its transparent index, as TransparentIndex
// finds it with `key`; false (with a message) where either fails.
bool ReadKeyedPicture(const char* path, const PictureLimit& limit, int key, KeyedPicture* keyed) {
    if (!ReadPicture(path, &limit, &keyed->picture)) return false;
    for (std::uint8_t p : keyed->picture.pixels) keyed->used[p] = true;
    return TransparentIndex(path, keyed->picture, keyed->used, key, &keyed->transparent);
}

// Rows of literal runs alone, for an opaque picture that uses every one of
// the 256 indices and so leaves EncodeSprite none to take as transparent.
std::size_t EncodeOpaque(const IndexedPicture& picture, std::uint8_t* out) {
    std::size_t at = 0;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = picture.pixels.data() + std::size_t(y) * picture.width;
        for (std::uint32_t x = 0; x < picture.width;) {
            const std::uint32_t n = std::min<std::uint32_t>(127, picture.width - x);
            out[at++] = std::uint8_t(n);
            std::memcpy(out + at, row + x, n);
            at += n;
            x += n;
        }
        out[at++] = 0;
    }
    return at;
}

int Encode(const char* in, const char* out, int key) {
    KeyedPicture keyed;
    if (!ReadKeyedPicture(in, SPRITE_LIMIT, key, &keyed)) return 1;
    const IndexedPicture& picture = keyed.picture;
    const bool* used = keyed.used;
    int transparent = keyed.transparent;
    if (transparent < 0) {
        // Nothing is transparent: the encoder is given an index no pixel has.
        for (int i = 255; i >= 0 && transparent < 0; --i)
            if (!used[i]) transparent = i;
    }
    const auto width = std::uint8_t(picture.width), height = std::uint8_t(picture.height);
    Bytes file(SPRITE_FILE_HEADER + SpriteDataBound(width, height));
    file[0] = width;
    file[1] = height;
    std::uint8_t* data = file.data() + SPRITE_FILE_HEADER;
    const std::size_t size = transparent >= 0 ? EncodeSprite(picture.pixels.data(), width, height,
                                                             width, std::uint8_t(transparent), data,
                                                             file.size() - SPRITE_FILE_HEADER)
                                              : EncodeOpaque(picture, data);
    return WriteWholeFile(out, file.data(), SPRITE_FILE_HEADER + size) ? 0 : 1;
}

// A palette file: 3 bytes a colour, 1 to 256 colours.
bool ReadPaletteFile(const char* path, Bytes* palette) {
    if (!ReadWholeFile(path, *palette, PALETTE_FILE_SIZE, "a palette holds")) return false;
    if (palette->empty() || palette->size() % 3 != 0) {
        ToolMessage("%s: %zu bytes, not a palette (3 bytes a colour, 1 to 256 colours)", path,
                    palette->size());
        return false;
    }
    return true;
}

// A picture drawn twice by the shell's renderers, over a background of 0x00
// and one of 0xFF: a pixel that differs is one the drawing left alone.
struct Drawing {
    std::size_t width, height;
    Bytes over0, over255;

    Drawing(std::size_t w, std::size_t h)
        : width(w), height(h), over0(w * h, 0x00), over255(w * h, 0xFF) {}

    // Points screenState at one of the two pictures, the whole of it the window.
    static void PointAt(Bytes* buffer, std::size_t width, std::size_t height, std::uint16_t flags) {
        screenState.bufferBase = buffer->data();
        screenState.windowBase = buffer->data();
        screenState.pitch = std::int32_t(width);
        screenState.windowX = 0;
        screenState.windowY = 0;
        screenState.windowWidth = std::int32_t(width);
        screenState.windowHeight = std::int32_t(height);
        screenState.drawFlags = flags;
    }
};

// Writes what `drawing` holds as an indexed PNG with the colours of
// `palette`: the pixels left alone get a palette entry that no drawn pixel
// uses (the highest one free, or one added), made transparent.
int WriteDrawing(const char* in, const char* out, const char* palettePath, const Bytes& palette,
                 const Drawing& drawing) {
    const Bytes& over0 = drawing.over0;
    const Bytes& over255 = drawing.over255;
    const std::size_t colours = palette.size() / 3;
    bool used[256] = {};
    bool anyTransparent = false;
    for (std::size_t i = 0; i < over0.size(); ++i) {
        if (over0[i] != over255[i]) {
            anyTransparent = true;
            continue;
        }
        if (over0[i] >= colours) {
            ToolMessage("%s: pixel (%zu, %zu) has index %u, outside the palette of %zu colours "
                        "in %s",
                        in, i % drawing.width, i / drawing.width, unsigned(over0[i]), colours,
                        palettePath);
            return 1;
        }
        used[over0[i]] = true;
    }
    IndexedPicture picture;
    picture.width = std::uint32_t(drawing.width);
    picture.height = std::uint32_t(drawing.height);
    picture.palette = palette;
    picture.alpha.assign(colours, 255);
    picture.pixels = over0;
    if (anyTransparent) {
        int free = -1;
        for (int i = int(colours) - 1; i >= 0 && free < 0; --i)
            if (!used[i]) free = i;
        if (free < 0 && colours < 256) {
            free = int(colours);
            picture.palette.insert(picture.palette.end(), 3, 0);
            picture.alpha.push_back(255);
        }
        if (free < 0) {
            ToolMessage("%s: all 256 colours are drawn, and none is left for the transparent "
                        "pixels",
                        in);
            return 1;
        }
        picture.alpha[std::size_t(free)] = 0;
        for (std::size_t i = 0; i < over0.size(); ++i)
            if (over0[i] != over255[i]) picture.pixels[i] = std::uint8_t(free);
    }
    Bytes png;
    std::string error;
    if (!WriteIndexedPng(picture, 8, &png, &error)) {
        ToolMessage("cannot write %s: %s", out, error.c_str());
        return 1;
    }
    return WriteWholeFile(out, png.data(), png.size()) ? 0 : 1;
}

int Decode(const char* in, const char* out, const char* palettePath, std::uint16_t flags) {
    Bytes palette;
    if (!ReadPaletteFile(palettePath, &palette)) return 1;
    Bytes file;
    SpriteFile sprite;
    if (!ReadSprite(in, file, &sprite, false)) return 1;

    Drawing drawing(sprite.record.width, sprite.record.height);
    for (Bytes* buffer : {&drawing.over0, &drawing.over255}) {
        Drawing::PointAt(buffer, drawing.width, drawing.height, flags);
        DrawSprite(0, 0, &sprite.record);
    }
    return WriteDrawing(in, out, palettePath, palette, drawing);
}

int MakeFont(const char* in, const char* out, int firstCode, int key) {
    KeyedPicture keyed;
    if (!ReadKeyedPicture(in, FONT_PICTURE_LIMIT, key, &keyed)) return 1;
    const IndexedPicture& picture = keyed.picture;
    const int transparent = keyed.transparent;
    if (transparent < 0) {
        ToolMessage("%s: no transparent pixels: a font's glyphs stand on a transparent index "
                    "(from the transparency chunk, or --key N)",
                    in);
        return 1;
    }
    GlyphGrid grid;
    Bytes font;
    std::string error;
    if (!ReadGlyphGrid(picture, std::uint8_t(transparent), &grid, &error) ||
        !MakeFontFile(picture, grid, std::uint8_t(transparent), std::uint8_t(firstCode), &font,
                      &error)) {
        ToolMessage("%s: %s", in, error.c_str());
        return 1;
    }
    return WriteWholeFile(out, font.data(), font.size()) ? 0 : 1;
}

int FontSheet(const char* in, const char* out, const char* palettePath) {
    Bytes palette;
    if (!ReadPaletteFile(palettePath, &palette)) return 1;
    Bytes file;
    if (!ReadWholeFile(in, file, FONT_FILE_MAX, "a font file holds")) return 1;
    static Font font;
    const FontResult loaded = LoadFont(file.data(), file.size(), &font);
    if (loaded != FONT_OK) {
        ToolMessage("%s: a font file that fails its check (LoadFont: %d, %s)", in, int(loaded),
                    loaded == FONT_BAD_HEADER   ? "its header"
                    : loaded == FONT_BAD_GLYPHS ? "its glyph table or data"
                                                : "a glyph's sprite data");
        return 1;
    }
    const GlyphGrid grid = LayOutGlyphGrid(font);
    Drawing drawing(grid.pictureWidth, grid.pictureHeight);
    for (Bytes* buffer : {&drawing.over0, &drawing.over255}) {
        const std::uint8_t background = (*buffer)[0];
        std::fill(buffer->begin(), buffer->end(), grid.gridColour);
        for (const GlyphCell& cell : grid.cells)
            for (std::uint32_t y = 0; y < grid.cellHeight; ++y)
                std::memset(buffer->data() + std::size_t(cell.y + y) * drawing.width + cell.x,
                            background, cell.width);
        Drawing::PointAt(buffer, drawing.width, drawing.height, 0);
        for (std::size_t i = 0; i < grid.cells.size(); ++i)
            DrawSprite(std::int32_t(grid.cells[i].x), std::int32_t(grid.cells[i].y),
                       &font.glyphs[i].sprite);
    }
    return WriteDrawing(in, out, palettePath, palette, drawing);
}

int Palette(const char* in, const char* out) {
    IndexedPicture picture;
    if (!ReadPicture(in, nullptr, &picture)) return 1;
    Bytes palette(PALETTE_FILE_SIZE, 0);
    std::memcpy(palette.data(), picture.palette.data(), picture.palette.size());
    return WriteWholeFile(out, palette.data(), palette.size()) ? 0 : 1;
}

int Info(const char* in) {
    Bytes file;
    SpriteFile sprite;
    return ReadSprite(in, file, &sprite, true) ? 0 : 1;
}

// An index from 0 to 255 in decimal, or -1.
int ParseIndex(const char* text) {
    if (*text < '0' || *text > '9' || std::strlen(text) > 3) return -1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == 0 && value <= 255 ? int(value) : -1;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    std::vector<const char*> paths;
    int key = -1;
    int firstCode = -1;
    const char* palette = nullptr;
    std::uint16_t flags = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool picture = command == "encode" || command == "font";
        if (picture && arg == "--key" && i + 1 < argc && key < 0) {
            key = ParseIndex(argv[++i]);
            if (key < 0) {
                ToolMessage("--key takes a palette index from 0 to 255, not %s", argv[i]);
                return Usage();
            }
        } else if (command == "font" && arg == "--first" && i + 1 < argc && firstCode < 0) {
            firstCode = ParseIndex(argv[++i]);
            if (firstCode < 0) {
                ToolMessage("--first takes a character code from 0 to 255, not %s", argv[i]);
                return Usage();
            }
        } else if ((command == "decode" || command == "fontsheet") && arg == "--palette" &&
                   i + 1 < argc && !palette) {
            palette = argv[++i];
        } else if (command == "decode" && arg == "--mirror") {
            flags |= DRAW_MIRROR_X;
        } else if (command == "decode" && arg == "--flip") {
            flags |= DRAW_FLIP_Y;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (command == "encode" && paths.size() == 2) return Encode(paths[0], paths[1], key);
    if (command == "decode" && paths.size() == 2 && palette)
        return Decode(paths[0], paths[1], palette, flags);
    if (command == "palette" && paths.size() == 2) return Palette(paths[0], paths[1]);
    if (command == "info" && paths.size() == 1) return Info(paths[0]);
    if (command == "font" && paths.size() == 2)
        return MakeFont(paths[0], paths[1], firstCode < 0 ? ' ' : firstCode, key);
    if (command == "fontsheet" && paths.size() == 2 && palette)
        return FontSheet(paths[0], paths[1], palette);
    return Usage();
}

} // namespace

int main(int argc, char** argv) {
    return RunTool("spritetool", Run, argc, argv);
}

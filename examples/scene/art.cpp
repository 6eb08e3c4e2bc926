// The art sheet laid out from the files the build makes of the pictures in
// art/: the palette (spritetool palette), one sprite file per sprite
// (spritetool encode), in SpriteId order, and the font (spritetool font).
// The sheet is what scene.h describes; LoadArt checks every sprite's data
// and the font when the program starts.
#include "scene.h"

#include <cstring>

namespace {

void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

std::size_t MakeArtSheet(const std::uint8_t* palette, const ArtFile* sprites, ArtFile font,
                         std::uint8_t* sheet, std::size_t capacity) {
    if (capacity < ART_DIRECTORY_END) return 0;
    std::memset(sheet, 0, ART_DIRECTORY_END);
    std::memcpy(sheet, palette, ART_PALETTE_SIZE);
    PutLe16(sheet + ART_PALETTE_SIZE, SPRITE_COUNT);

    std::size_t offset = ART_DIRECTORY_END;
    for (std::size_t i = 0; i < SPRITE_COUNT; ++i) {
        const ArtFile& file = sprites[i];
        if (file.size < ART_SPRITE_FILE_HEADER || file.data[0] != SPRITE_SIZES[i].width ||
            file.data[1] != SPRITE_SIZES[i].height)
            return 0;
        const std::size_t dataSize = file.size - ART_SPRITE_FILE_HEADER;
        if (dataSize > capacity - offset || dataSize > 0xFFFF) return 0;
        std::memcpy(sheet + offset, file.data + ART_SPRITE_FILE_HEADER, dataSize);

        std::uint8_t* entry = sheet + ART_PALETTE_SIZE + 2 + i * ART_ENTRY_SIZE;
        entry[0] = SPRITE_SIZES[i].width;
        entry[1] = SPRITE_SIZES[i].height;
        PutLe16(entry + 2, static_cast<std::uint32_t>(dataSize));
        PutLe16(entry + 4, static_cast<std::uint32_t>(offset));
        PutLe16(entry + 6, static_cast<std::uint32_t>(offset >> 16));
        offset += dataSize;
    }
    if (font.size > capacity - offset) return 0;
    std::memcpy(sheet + offset, font.data, font.size);
    PutLe16(sheet + ART_FONT_ENTRY, static_cast<std::uint32_t>(font.size));
    PutLe16(sheet + ART_FONT_ENTRY + 2, static_cast<std::uint32_t>(font.size >> 16));
    PutLe16(sheet + ART_FONT_ENTRY + 4, static_cast<std::uint32_t>(offset));
    PutLe16(sheet + ART_FONT_ENTRY + 6, static_cast<std::uint32_t>(offset >> 16));
    return offset + font.size;
}

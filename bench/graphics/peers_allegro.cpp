// Allegro 4 memory bitmaps and RLE sprites, with no display.
#define ALLEGRO_NO_MAGIC_MAIN
#include <allegro.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bench/graphics/peers.h"

namespace allegro_peer {

struct Screen {
    BITMAP* bitmap;
};
struct RleSprite {
    RLE_SPRITE* rle;
};
struct Bitmap {
    BITMAP* bitmap;
};
struct Font {
    FONT* font;
};

namespace {
COLOR_MAP colourMap;

BITMAP* FromPixels(const std::uint8_t* pixels, int width, int height) {
    BITMAP* b = create_bitmap_ex(8, width, height);
    for (int y = 0; y < height; ++y) std::memcpy(b->line[y], pixels + y * width, width);
    return b;
}
} // namespace

bool Start() {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) return false;
    set_color_depth(8);
    return true;
}

Screen* MakeScreen(int width, int height) {
    return new Screen{create_bitmap_ex(8, width, height)};
}

std::uint8_t* Pixels(Screen* screen) {
    return screen->bitmap->line[0];
}

RleSprite* MakeRleSprite(const std::uint8_t* pixels, int width, int height) {
    BITMAP* b = FromPixels(pixels, width, height);
    RleSprite* s = new RleSprite{get_rle_sprite(b)};
    destroy_bitmap(b);
    return s;
}

Bitmap* MakeBitmap(const std::uint8_t* pixels, int width, int height) {
    return new Bitmap{FromPixels(pixels, width, height)};
}

void SetColourMap(const std::uint8_t* table) {
    for (int i = 0; i < 256; ++i) std::memcpy(colourMap.data[i], table + i * 256, 256);
    color_map = &colourMap;
}

void DrawRle(Screen* screen, RleSprite* sprite, int x, int y) {
    draw_rle_sprite(screen->bitmap, sprite->rle, x, y);
}

void DrawTransRle(Screen* screen, RleSprite* sprite, int x, int y) {
    draw_trans_rle_sprite(screen->bitmap, sprite->rle, x, y);
}

void DrawSpriteHFlip(Screen* screen, Bitmap* sprite, int x, int y) {
    draw_sprite_h_flip(screen->bitmap, sprite->bitmap, x, y);
}

Font* GrabFont(const std::uint8_t* pixels, int width, int height) {
    BITMAP* b = FromPixels(pixels, width, height);
    FONT* f = grab_font_from_bitmap(b);
    destroy_bitmap(b);
    return f ? new Font{f} : nullptr;
}

Font* BuiltInFont() {
    return new Font{font};
}

bool IsColourFont(Font* f) {
    return is_color_font(f->font) != 0;
}

void TextOut(Screen* screen, Font* f, const char* text, int x, int y, int colour) {
    textout_ex(screen->bitmap, f->font, text, x, y, colour, -1);
}

} // namespace allegro_peer

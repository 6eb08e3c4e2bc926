// SDL2 8-bit surfaces sharing one palette, the sprite with an RLE colour key.
#include <SDL.h>

#include <cstring>

#include "bench/graphics/peers.h"

namespace sdl_peer {

struct Screen {
    SDL_Surface* surface;
    SDL_Palette* palette;
};
struct Sprite {
    SDL_Surface* surface;
};

Screen* MakeScreen(int width, int height) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
    SDL_Palette* palette = SDL_AllocPalette(256);
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i) {
        colours[i] = SDL_Color{static_cast<Uint8>(i), static_cast<Uint8>(255 - i),
                               static_cast<Uint8>(i * 7), 255};
    }
    SDL_SetPaletteColors(palette, colours, 0, 256);
    SDL_SetSurfacePalette(s, palette);
    return new Screen{s, palette};
}

std::uint8_t* Pixels(Screen* screen) {
    return static_cast<std::uint8_t*>(screen->surface->pixels);
}
int Pitch(Screen* screen) {
    return screen->surface->pitch;
}

Sprite* MakeRleSprite(Screen* screen, const std::uint8_t* pixels, int width, int height) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
    SDL_SetSurfacePalette(s, screen->palette);
    for (int y = 0; y < height; ++y) {
        std::memcpy(static_cast<std::uint8_t*>(s->pixels) + y * s->pitch, pixels + y * width,
                    static_cast<std::size_t>(width));
    }
    SDL_SetColorKey(s, SDL_TRUE, 0);
    SDL_SetSurfaceRLE(s, 1);
    return new Sprite{s};
}

bool IsRle(Sprite* sprite) {
    return (sprite->surface->flags & SDL_RLEACCEL) != 0;
}

void Blit(Screen* screen, Sprite* sprite, int x, int y) {
    SDL_Rect r{x, y, sprite->surface->w, sprite->surface->h};
    SDL_BlitSurface(sprite->surface, nullptr, screen->surface, &r);
}

} // namespace sdl_peer

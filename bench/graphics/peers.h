// The libraries the renderer is measured against, behind a small interface
// so that their headers (Allegro's in particular) stay in their own files.
// Sprites are 8-bit bitmaps with 0 as the transparent index; destinations are
// 640 x 480 8-bit buffers, rows 640 bytes apart.
#pragma once

#include <cstdint>

namespace allegro_peer {
bool Start(); // install_allegro(SYSTEM_NONE, ...), 8-bit colour
struct Screen;
struct RleSprite;
struct Bitmap;
Screen* MakeScreen(int width, int height);
std::uint8_t* Pixels(Screen* screen); // contiguous rows
RleSprite* MakeRleSprite(const std::uint8_t* pixels, int width, int height);
Bitmap* MakeBitmap(const std::uint8_t* pixels, int width, int height);
void SetColourMap(const std::uint8_t* table); // 256 x 256, [sprite][buffer]
void DrawRle(Screen* screen, RleSprite* sprite, int x, int y);
void DrawTransRle(Screen* screen, RleSprite* sprite, int x, int y);
void DrawSpriteHFlip(Screen* screen, Bitmap* sprite, int x, int y);
} // namespace allegro_peer

namespace sdl_peer {
struct Screen;
struct Sprite;
Screen* MakeScreen(int width, int height);
std::uint8_t* Pixels(Screen* screen); // rows Pitch() apart
int Pitch(Screen* screen);
Sprite* MakeRleSprite(Screen* screen, const std::uint8_t* pixels, int width, int height);
bool IsRle(Sprite* sprite); // after one blit: did SDL take its RLE path
void Blit(Screen* screen, Sprite* sprite, int x, int y);
} // namespace sdl_peer

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

// Fonts, for the text benchmark: one grabbed from an 8-bit picture of glyph
// boxes as Allegro's grabber takes it (grab_font_from_bitmap: boxes of the
// top-left pixel's colour, glyphs on colour 0, codes from 32), or Allegro's
// own 8 x 8 font. textout_ex with colour -1 draws a colour font in its own
// colours, a mono font in `colour`; nothing behind the glyphs.
struct Font;
Font* GrabFont(const std::uint8_t* pixels, int width, int height);
Font* BuiltInFont();
bool IsColourFont(Font* font);
void TextOut(Screen* screen, Font* font, const char* text, int x, int y, int colour);
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

// The scene of the example program: everything that does not touch a window.
//
//   State    The picture is a pure function of SceneState: the animation
//            frame, the player's position, the draw flags the player sprite
//            is drawn with, whether the animation is paused and where the
//            last click put the mark (PlaceMark). The window
//            title spells the state out (FormatTitle), and ParseTitle reads
//            it back, so that a frame seen on the screen can be drawn again;
//            the picture shows it too, in the art's font (FormatStatus).
//   Keys     ReadKeyboard takes input only from the shell's hook state: the
//            arrows from keyStates, one buffered press from pendingKey with
//            pendingModifiers, turned into a character with the shell's
//            tables. Escape ends, m f s d toggle the player's draw flags
//            (mirror, flip, mix as source row, mix as destination row), p
//            pauses, n and Shift+n step one frame forward and back.
//   Art      The art sheet holds the palette, the sprites as sprite data and
//            a font; the build makes sprite files of the pictures in art/
//            and a font file of art/font.png with spritetool, the art tool
//            lays out the sheet (MakeArtSheet), packtool packs it and the
//            program unpacks it at start (LoadArt), checking every sprite and
//            the font.
//   Drawing  DrawScene draws the whole picture through the shell's
//            screenState: sky and ground of lines, sun, clouds, trees, balls,
//            fish, a ghost and the player as sprites, clipped at all four
//            edges, mirrored, flipped and mixed through a table built from
//            the palette (BuildMixTable); frames and mixed lines on top, and
//            text: the state in the status strip, a line of help below.
//
// All of it is plain integer arithmetic, so that the program and a build of
// the same source on another machine draw the same pixels.
#pragma once

#include <graphics/graphics.h>
#include <text/text.h>

#include <cstddef>
#include <cstdint>

constexpr std::int32_t SCENE_WIDTH = 320;
constexpr std::int32_t SCENE_HEIGHT = 200;

// ---------------------------------------------------------------------------
// State

struct SceneState {
    std::uint32_t frame;
    std::int32_t playerX;
    std::int32_t playerY;
    std::uint16_t playerFlags; // DRAW_* bits for the player sprite
    bool paused;
    // A star where the last click was, centred there; none before the first.
    bool marked = false;
    std::int32_t markX = 0;
    std::int32_t markY = 0;

    bool operator==(const SceneState&) const = default;
};

constexpr SceneState SCENE_START = {0, 40, 84, 0, false};

// Pixels the player moves per frame step while an arrow key is down.
constexpr std::int32_t PLAYER_STEP = 4;

// "Tarnwick scene - frame F - player X,Y - flags N - mark X,Y|none -
// running|paused"
constexpr std::size_t SCENE_TITLE_SIZE = 128;
void FormatTitle(const SceneState& state, char* title);
// Reads a title written by FormatTitle; false for any other text.
bool ParseTitle(const char* title, SceneState* state);

// "frame F  at X,Y  running|paused", the state as the status strip shows it
// (the flags are its boxes), in the columns between the flag boxes and the
// pause mark; and the line of help along the bottom.
constexpr std::size_t SCENE_STATUS_SIZE = 64;
constexpr std::int32_t SCENE_STATUS_LEFT = 66;
constexpr std::int32_t SCENE_STATUS_RIGHT = 296; // exclusive
void FormatStatus(const SceneState& state, char* status);
constexpr const char SCENE_HELP[] = "arrows move  m f s d flags  p pause  n N step  Esc ends";

// ---------------------------------------------------------------------------
// Keys

// Key indices as the shell's hook records them.
constexpr std::uint8_t KEY_INDEX_ESCAPE = 1;
constexpr std::uint8_t KEY_INDEX_EXTENDED = 128;
constexpr std::uint8_t KEY_INDEX_UP = 0x48;   // with KEY_INDEX_EXTENDED: the arrow key;
constexpr std::uint8_t KEY_INDEX_LEFT = 0x4B; // without: the keypad's
constexpr std::uint8_t KEY_INDEX_RIGHT = 0x4D;
constexpr std::uint8_t KEY_INDEX_DOWN = 0x50;

struct SceneInput {
    std::uint8_t arrows; // ARROW_* bits: held at some time since the last step
    bool quit;           // Escape was pressed
};

constexpr std::uint8_t ARROW_UP = 0x01;
constexpr std::uint8_t ARROW_DOWN = 0x02;
constexpr std::uint8_t ARROW_LEFT = 0x04;
constexpr std::uint8_t ARROW_RIGHT = 0x08;

// Looks at the hook state once: notes the arrows that are down and takes the
// buffered key press, if any. Taking it clears pendingKey and lastKey, so
// that the release of the same key cannot latch it a second time. Called
// after every message the program's thread takes, since the hook runs while
// the thread takes its keyboard messages.
void ReadKeyboard(SceneState* state, SceneInput* input);

// One frame step: moves the player by the arrows noted since the last step
// (a tap moves it once, a held key on every step) and, unless paused,
// advances the animation.
void StepScene(SceneState* state, SceneInput* input);

// A click at (x, y) of the scene puts the mark there, paused or not.
void PlaceMark(SceneState* state, std::int32_t x, std::int32_t y);

// ---------------------------------------------------------------------------
// Command line

// scene.exe [--zoom N] [--desktop] [--aspect] [MODE]
struct SceneOptions {
    std::int32_t zoom; // the window's, 1 to SCENE_ZOOM_MAX
    bool desktop;      // full screen at the desktop's mode
    bool aspect;       // full screen on the desktop: 320 x 200 shown 4:3
    const char* mode;  // an 8-bit mode of the display-mode table, or null
};
constexpr std::int32_t SCENE_ZOOM_MAX = 8;

// Reads the argument words after the program's name; false (with `*bad`
// the word at fault) for an option it does not know, a zoom that is not a
// number from 1 to SCENE_ZOOM_MAX, or a second mode.
bool ParseSceneOptions(std::uint16_t wordCount, char** words, SceneOptions* options,
                       const char** bad);

// ---------------------------------------------------------------------------
// Art

enum SpriteId : std::uint8_t {
    SPRITE_BALL,
    SPRITE_FISH,
    SPRITE_GHOST,
    SPRITE_TREE,
    SPRITE_CLOUD,
    SPRITE_SUN,
    SPRITE_PLAYER,
    SPRITE_STAR,
    SPRITE_COUNT
};

// Every sprite's size; its picture in art/ has it, and the art tool and
// LoadArt insist on it.
struct SpriteSize {
    std::uint8_t width;
    std::uint8_t height;
};
constexpr SpriteSize SPRITE_SIZES[SPRITE_COUNT] = {
    {24, 24}, // ball
    {32, 20}, // fish, facing right, fin on its back
    {28, 30}, // ghost, looking right
    {48, 64}, // tree, its crown leaning left
    {64, 24}, // cloud
    {40, 40}, // sun
    {32, 24}, // player: a rocket flying right, one fin on top
    {9, 9},   // star
};

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

struct Art {
    Rgb palette[256];
    SpriteRecord sprites[SPRITE_COUNT]; // data points into the sheet
    Font font;                          // its glyphs too
};

// The sheet, all numbers little-endian:
//   0      the palette: 256 x red, green, blue
//   768    sprite count (16 bits), SPRITE_COUNT
//   770    per sprite 8 bytes: width, height, data size (16 bits), offset
//          of the data from the start of the sheet (32 bits)
//   ...    the font: its size (32 bits), its offset (32 bits)
//   ...    the sprite data, then the font file as spritetool font writes it
constexpr std::size_t ART_PALETTE_SIZE = 256 * 3;
constexpr std::size_t ART_ENTRY_SIZE = 8;
constexpr std::size_t ART_FONT_ENTRY = ART_PALETTE_SIZE + 2 + SPRITE_COUNT * ART_ENTRY_SIZE;
constexpr std::size_t ART_DIRECTORY_END = ART_FONT_ENTRY + 8;
constexpr std::size_t ART_SHEET_CAPACITY = 32 * 1024;

// The palette (of every picture in art/): black, then ramps from dark to
// light (32 shades each unless said), and at 255 a colour the art never
// draws, the one the pictures mark transparent.
constexpr std::uint8_t COLOUR_BLACK = 0;
constexpr std::uint8_t RAMP_SKY = 1; // 63 shades, from the top of the sky to the horizon
constexpr std::uint8_t RAMP_GREEN = 64;
constexpr std::uint8_t RAMP_BROWN = 96;
constexpr std::uint8_t RAMP_WARM = 128; // red to yellow
constexpr std::uint8_t RAMP_COOL = 160; // deep blue to pale cyan
constexpr std::uint8_t RAMP_GREY = 192;
constexpr std::uint8_t RAMP_PURPLE = 224; // 31 shades
constexpr std::uint8_t ART_TRANSPARENT = 255;
constexpr std::uint8_t SHADE_TOP = 31;

// A sprite file as spritetool writes it: the width and height bytes, then
// the sprite data.
struct ArtFile {
    const std::uint8_t* data;
    std::size_t size;
};
constexpr std::size_t ART_SPRITE_FILE_HEADER = 2;

// Lays out the sheet in `sheet` from the palette (ART_PALETTE_SIZE bytes),
// one sprite file per sprite, in SpriteId order, and the font file; returns
// its size, or 0 when a file is not of its sprite's size or the sheet does
// not fit `capacity`. The sprite data and the font are checked by LoadArt.
std::size_t MakeArtSheet(const std::uint8_t* palette, const ArtFile* sprites, ArtFile font,
                         std::uint8_t* sheet, std::size_t capacity);

enum ArtStatus : std::uint8_t {
    ART_OK,
    ART_BAD_BLOCK,  // not a packed block, or one that does not unpack
    ART_TOO_LARGE,  // unpacks to more than the caller's room
    ART_BAD_SHEET,  // too short for its directory, wrong count, data outside the sheet
    ART_BAD_SPRITE, // sprite data that the renderer could not draw safely
    ART_BAD_FONT,   // a font that LoadFont refuses
};

// Unpacks the packed sheet in `block` into `sheet` (room for `capacity`
// bytes, and it must stay in place while the art is drawn: the sprite
// records and the font's glyphs point into it) and fills `art`. Every sprite
// and the font are checked.
ArtStatus LoadArt(const std::uint8_t* block, std::size_t blockSize, std::uint8_t* sheet,
                  std::size_t capacity, Art* art);

// ---------------------------------------------------------------------------
// Drawing

// mixTable[new * 256 + old] is the palette colour nearest to three parts of
// `new` and one part of `old`: with DRAW_MIX_SRC_ROW a sprite shows strongly
// over what lies below, with DRAW_MIX_DST_ROW faintly.
void BuildMixTable(const Rgb* palette, std::uint8_t* mixTable);

// Draws the scene of `state` into screenState's window, which the caller has
// set to SCENE_WIDTH x SCENE_HEIGHT pixels; `mixTable` comes from
// BuildMixTable. Leaves drawFlags 0.
void DrawScene(const SceneState& state, const Art& art, const std::uint8_t* mixTable);

struct SceneArea {
    std::int32_t left, top, right, bottom; // right and bottom exclusive
};

// The part of the window whose pixels can differ between the scenes of
// `before` and `after`: all of it when the frame differs, else the player's
// surroundings, the status strip, whose text tells the rest of the state, and
// the marks. Empty (left == right) when the two draw alike.
SceneArea ChangedArea(const SceneState& before, const SceneState& after);

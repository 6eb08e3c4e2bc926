// The shell's graphics services: one process-wide screen state, a clipped
// horizontal/vertical line drawer and a run-length sprite renderer.
//
//   Screen state  screenState says where software drawing goes: an 8-bit
//                 buffer (one palette index per byte) and its pitch, a window
//                 inside it to which all drawing is clipped, the draw flags
//                 and a 256 x 256 colour-mixing table. It is zero at start;
//                 whoever draws fills it. The line drawer addresses window
//                 pixel (x, y) at windowBase + y * pitch + x, the sprite
//                 renderer at bufferBase + (y + windowY) * pitch + x + windowX;
//                 the two agree when windowBase is set to match.
//   Lines         DrawHVLine draws a horizontal or vertical span of one colour,
//                 clipped to the window, plainly or mixed through mixTable.
//   Sprites       DrawSprite draws a run-length sprite clipped on all four
//                 sides, mirrored and/or flipped, copied or mixed. It trusts
//                 its data: data from outside goes through ValidateSpriteData
//                 first. EncodeSprite builds sprite data from an 8-bit bitmap.
//
// Sprite data: `height` rows, top row first, each a sequence of runs ended by
// a 0x00 byte. A control byte n (signed 8-bit) of 1..127 is followed by n
// palette indices for the next n columns; -128..-1 (0x80..0xFF) leaves the
// next -n columns untouched. A row's runs cover at most `width` columns; the
// columns after its last run are transparent. Index 0 is an ordinary colour.
//
// Nothing is locked and nothing allocated: the renderers read screenState and
// the sprite data directly, and neither may change while a call runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Screen state

constexpr std::uint16_t DRAW_MIRROR_X = 0x0001;    // sprite drawn mirrored left to right
constexpr std::uint16_t DRAW_FLIP_Y = 0x0002;      // sprite drawn upside down
constexpr std::uint16_t DRAW_MIX_SRC_ROW = 0x0004; // pixel = mixTable[new * 256 + old]
constexpr std::uint16_t DRAW_MIX_DST_ROW = 0x0008; // pixel = mixTable[old * 256 + new]
// DRAW_MIX_SRC_ROW wins when both mixing flags are set; other bits are ignored.

constexpr std::size_t MIX_TABLE_SIZE = 256 * 256;

struct ScreenState {
    std::uint8_t* bufferBase;     // pixel (0, 0) of the whole buffer
    const std::uint8_t* mixTable; // 256 rows of 256 entries, row-major
    std::uint8_t* windowBase;     // pixel (0, 0) of the window, for the line drawer
    std::int32_t pitch;           // bytes from a pixel to the one below it
    std::int32_t windowX;         // buffer column of the window's left edge
    std::int32_t windowY;         // buffer row of the window's top edge
    std::int32_t windowWidth;     // window x runs 0 .. windowWidth - 1
    std::int32_t windowHeight;    // window y runs 0 .. windowHeight - 1
    std::uint16_t drawFlags;      // DRAW_* bits
};

// Programs built for the 32-bit platform see the record as nine consecutive
// 32-bit slots (the flags in the low half of the last).
static_assert(offsetof(ScreenState, bufferBase) == 0);
static_assert(offsetof(ScreenState, mixTable) == sizeof(void*));
static_assert(offsetof(ScreenState, windowBase) == 2 * sizeof(void*));
static_assert(offsetof(ScreenState, pitch) == 3 * sizeof(void*));
static_assert(offsetof(ScreenState, windowX) == offsetof(ScreenState, pitch) + 4);
static_assert(offsetof(ScreenState, windowY) == offsetof(ScreenState, pitch) + 8);
static_assert(offsetof(ScreenState, windowWidth) == offsetof(ScreenState, pitch) + 12);
static_assert(offsetof(ScreenState, windowHeight) == offsetof(ScreenState, pitch) + 16);
static_assert(offsetof(ScreenState, drawFlags) == offsetof(ScreenState, pitch) + 20);
static_assert(sizeof(void*) != 4 || sizeof(ScreenState) == 36);

// The one drawing state of the process; all zero at start.
extern ScreenState screenState;

// ---------------------------------------------------------------------------
// Lines

// Draws the span between (x1, y1) and (x2, y2), end points in any order, in
// palette index colour & 0xFF. Both end points are clipped to the window on
// each axis first; a line wholly outside on either axis draws nothing. When
// the clipped x coordinates are equal the span is vertical, from the smaller
// clipped y to the larger; otherwise it is horizontal, from the smaller
// clipped x to the larger on the row of the smaller clipped y. With
// DRAW_MIX_SRC_ROW or DRAW_MIX_DST_ROW each pixel is mixed with the byte it
// replaces. An empty window (width or height below 1) draws nothing.
void DrawHVLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                std::uint32_t colour);

// ---------------------------------------------------------------------------
// Sprites

struct SpriteRecord {
    const std::uint8_t* data; // first byte of the run-length rows
    std::uint8_t width;       // pixels, 1..255; 0 draws nothing
    std::uint8_t height;      // pixels, 1..255; 0 draws nothing
};

// On the 32-bit platform a record is a 32-bit data address, then the width
// and height bytes.
static_assert(offsetof(SpriteRecord, data) == 0);
static_assert(offsetof(SpriteRecord, width) == sizeof(void*));
static_assert(offsetof(SpriteRecord, height) == sizeof(void*) + 1);
static_assert(sizeof(void*) != 4 || sizeof(SpriteRecord) == 8);

// Draws `sprite` with its top-left corner at window (x, y): it covers columns
// x .. x + width - 1 and rows y .. y + height - 1 in every orientation.
// DRAW_MIRROR_X lays each row down right to left, DRAW_FLIP_Y draws the last
// row at the top; the mixing flags act as for lines. Only literal pixels
// inside the window are written. Rows are read in stored order, and no row
// after the last one inside the window is read.
void DrawSprite(std::int32_t x, std::int32_t y, const SpriteRecord* sprite);

// Checks sprite data from an untrusted source before it is drawn: `height`
// rows must each end with 0x00 within the first `size` bytes of `data`, and
// the runs of each row must cover at most `width` columns. Nothing at or
// after data + size is read. A sprite with zero width or height reads no
// data and passes. Returns 1 when the data is sound, -1 otherwise.
std::int32_t ValidateSpriteData(const std::uint8_t* data, std::size_t size, std::uint8_t width,
                                std::uint8_t height);

// The most bytes EncodeSprite can produce for a bitmap of this size.
constexpr std::size_t SpriteDataBound(std::uint8_t width, std::uint8_t height) {
    return std::size_t{height} * (2 * std::size_t{width} + 1);
}

// Encodes a width x height bitmap of palette indices (rows `stride` bytes
// apart) as sprite data, pixels equal to `transparent` becoming transparent
// runs. Literal runs longer than 127 and transparent runs longer than 128 are
// split; transparent pixels at the end of a row are left to the row end.
// Returns the size of the encoding; the bytes are written to `out` only when
// that size fits in `capacity` (nothing is written otherwise), so a caller can
// ask with capacity 0 first or reserve SpriteDataBound bytes.
std::size_t EncodeSprite(const std::uint8_t* pixels, std::uint8_t width, std::uint8_t height,
                         std::int32_t stride, std::uint8_t transparent, std::uint8_t* out,
                         std::size_t capacity);

// ---------------------------------------------------------------------------
// Run-copy tables of the renderer's fast copy path
//
// Entry [n - 1][address % 4] copies a literal run of n pixels (1..159) from
// `src` to the buffer, where `dst` is the first destination byte written and
// address is that byte's address. Normal sequences write dst .. dst + n - 1
// left to right; mirrored sequences write src[0] to dst, src[1] to dst - 1,
// and so on, so that the run lands right to left. Every whole 4-byte-aligned
// group of the destination is written with one aligned 32-bit store (in the
// mirrored table a byte-reversed source word), the partial groups at the ends
// with byte stores. Runs of 1..3 share one byte sequence for all addresses,
// runs of 4..31 have their own sequence per address, longer runs share 16
// general sequences by (n % 4, address % 4). Only rows 1..127 are reached
// from sprite data; the longer rows exist for completeness.
//
// A sequence then goes on with the rest of the row itself: src + n is the
// row's next control byte, transparent runs move on from the run's end, each
// further literal run goes to the entry of its own length and address in the
// same table, and the row's 0x00 ends the chain. The result is the address
// just past that 0x00. Every column the row covers must lie in the buffer.
//
// On 32-bit x86 the sequences take their arguments in registers: they jump
// from one to the next, and arguments on the stack would cost every run a
// store and a load of each.
#if defined(__i386__)
#define RUN_COPY_CALL __attribute__((regparm(2)))
#else
#define RUN_COPY_CALL
#endif
using RunCopy = const std::uint8_t*(RUN_COPY_CALL*)(std::uint8_t* dst, const std::uint8_t* src,
                                                    std::uint32_t n);

constexpr std::size_t RUN_COPY_ROWS = 159;
using RunCopyTableType = std::array<std::array<RunCopy, 4>, RUN_COPY_ROWS>;

extern const RunCopyTableType RunCopyTable;
extern const RunCopyTableType MirroredRunCopyTable;

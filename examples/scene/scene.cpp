// The scene: state and title, keys, loading the art, the mixing table and
// the picture. See scene.h.
#include "scene.h"

#include <shell/shell.h>
#include <unpack/unpack.h>

#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------------------
// State and title

namespace {

constexpr const char TITLE_FRAME[] = "Tarnwick scene - frame ";
constexpr const char TITLE_PLAYER[] = " - player ";
constexpr const char TITLE_COMMA[] = ",";
constexpr const char TITLE_FLAGS[] = " - flags ";
constexpr const char TITLE_MARK[] = " - mark ";
constexpr const char TITLE_NO_MARK[] = "none";
constexpr const char TITLE_RUNNING[] = " - running";
constexpr const char TITLE_PAUSED[] = " - paused";

char* AppendText(char* out, const char* text) {
    while (*text != '\0') *out++ = *text++;
    return out;
}

char* AppendNumber(char* out, std::int64_t value) {
    if (value < 0) {
        *out++ = '-';
        value = -value;
    }
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

// Matches `text` at `*p` and moves past it.
bool TakeText(const char** p, const char* text) {
    const std::size_t n = std::strlen(text);
    if (std::strncmp(*p, text, n) != 0) return false;
    *p += n;
    return true;
}

// A decimal number in [low, high], with a minus sign where low is negative.
bool TakeNumber(const char** p, std::int64_t low, std::int64_t high, std::int64_t* value) {
    const char* s = *p;
    const bool negative = low < 0 && *s == '-';
    if (negative) ++s;
    std::int64_t v = 0;
    int digits = 0;
    for (; *s >= '0' && *s <= '9'; ++s, ++digits) {
        if (digits == 10) return false; // more than any 32-bit number has
        v = v * 10 + (*s - '0');
    }
    if (digits == 0) return false;
    if (negative) v = -v;
    if (v < low || v > high) return false;
    *value = v;
    *p = s;
    return true;
}

} // namespace

void FormatTitle(const SceneState& state, char* title) {
    char* p = AppendText(title, TITLE_FRAME);
    p = AppendNumber(p, state.frame);
    p = AppendText(p, TITLE_PLAYER);
    p = AppendNumber(p, state.playerX);
    p = AppendText(p, TITLE_COMMA);
    p = AppendNumber(p, state.playerY);
    p = AppendText(p, TITLE_FLAGS);
    p = AppendNumber(p, state.playerFlags);
    p = AppendText(p, TITLE_MARK);
    if (state.marked) {
        p = AppendNumber(p, state.markX);
        p = AppendText(p, TITLE_COMMA);
        p = AppendNumber(p, state.markY);
    } else {
        p = AppendText(p, TITLE_NO_MARK);
    }
    p = AppendText(p, state.paused ? TITLE_PAUSED : TITLE_RUNNING);
    *p = '\0';
}

bool ParseTitle(const char* title, SceneState* state) {
    const char* p = title;
    std::int64_t frame, x, y, flags, markX = 0, markY = 0;
    if (!TakeText(&p, TITLE_FRAME) || !TakeNumber(&p, 0, UINT32_MAX, &frame) ||
        !TakeText(&p, TITLE_PLAYER) || !TakeNumber(&p, INT32_MIN, INT32_MAX, &x) ||
        !TakeText(&p, TITLE_COMMA) || !TakeNumber(&p, INT32_MIN, INT32_MAX, &y) ||
        !TakeText(&p, TITLE_FLAGS) || !TakeNumber(&p, 0, 0xFFFF, &flags) ||
        !TakeText(&p, TITLE_MARK))
        return false;
    const bool marked = !TakeText(&p, TITLE_NO_MARK);
    if (marked && (!TakeNumber(&p, INT32_MIN, INT32_MAX, &markX) || !TakeText(&p, TITLE_COMMA) ||
                   !TakeNumber(&p, INT32_MIN, INT32_MAX, &markY)))
        return false;
    bool paused;
    if (TakeText(&p, TITLE_PAUSED)) {
        paused = true;
    } else if (TakeText(&p, TITLE_RUNNING)) {
        paused = false;
    } else {
        return false;
    }
    if (*p != '\0') return false;
    *state = {static_cast<std::uint32_t>(frame),
              static_cast<std::int32_t>(x),
              static_cast<std::int32_t>(y),
              static_cast<std::uint16_t>(flags),
              paused,
              marked,
              static_cast<std::int32_t>(markX),
              static_cast<std::int32_t>(markY)};
    return true;
}

void PlaceMark(SceneState* state, std::int32_t x, std::int32_t y) {
    state->marked = true;
    state->markX = x;
    state->markY = y;
}

// ---------------------------------------------------------------------------
// Command line

bool ParseSceneOptions(std::uint16_t wordCount, char** words, SceneOptions* options,
                       const char** bad) {
    *options = {1, false, false, nullptr};
    for (std::uint16_t i = 1; i < wordCount; ++i) {
        const char* word = words[i];
        *bad = word;
        if (std::strcmp(word, "--desktop") == 0) {
            options->desktop = true;
        } else if (std::strcmp(word, "--aspect") == 0) {
            options->aspect = true;
        } else if (std::strcmp(word, "--zoom") == 0) {
            std::int64_t zoom;
            const char* p = i + 1 < wordCount ? words[i + 1] : "";
            if (!TakeNumber(&p, 1, SCENE_ZOOM_MAX, &zoom) || *p != '\0') return false;
            options->zoom = static_cast<std::int32_t>(zoom);
            ++i;
        } else if (word[0] == '-' || options->mode != nullptr) {
            return false;
        } else {
            options->mode = word;
        }
    }
    *bad = nullptr;
    return true;
}

void FormatStatus(const SceneState& state, char* status) {
    char* p = AppendText(status, "frame ");
    p = AppendNumber(p, state.frame);
    p = AppendText(p, "  at ");
    p = AppendNumber(p, state.playerX);
    p = AppendText(p, TITLE_COMMA);
    p = AppendNumber(p, state.playerY);
    p = AppendText(p, state.paused ? "  paused" : "  running");
    *p = '\0';
}

// ---------------------------------------------------------------------------
// Keys

namespace {

struct ArrowKey {
    std::uint8_t keyIndex;
    std::uint8_t bit;
};
constexpr ArrowKey ARROW_KEYS[] = {
    {KEY_INDEX_UP, ARROW_UP},
    {KEY_INDEX_DOWN, ARROW_DOWN},
    {KEY_INDEX_LEFT, ARROW_LEFT},
    {KEY_INDEX_RIGHT, ARROW_RIGHT},
};

std::uint8_t ArrowsDown() {
    std::uint8_t arrows = 0;
    for (const ArrowKey& arrow : ARROW_KEYS) {
        const std::uint8_t extended = arrow.keyIndex + KEY_INDEX_EXTENDED;
        if (keyStates[arrow.keyIndex] != 0 || keyStates[extended] != 0) arrows |= arrow.bit;
    }
    return arrows;
}

// The player may leave the window all but four pixels on every side.
constexpr std::int32_t PLAYER_MARGIN = 4;

void ApplyKey(std::uint8_t key, std::uint8_t modifiers, SceneState* state, SceneInput* input) {
    if (key == KEY_INDEX_ESCAPE) {
        input->quit = true;
        return;
    }
    const std::uint8_t* chars = (modifiers & KMOD_SHIFT) ? keyCharsShifted : keyCharsUnshifted;
    switch (chars[key]) {
    case 'm': state->playerFlags ^= DRAW_MIRROR_X; break;
    case 'f': state->playerFlags ^= DRAW_FLIP_Y; break;
    case 's': state->playerFlags ^= DRAW_MIX_SRC_ROW; break;
    case 'd': state->playerFlags ^= DRAW_MIX_DST_ROW; break;
    case 'p': state->paused = !state->paused; break;
    case 'n':
        if (state->paused) ++state->frame;
        break;
    case 'N':
        if (state->paused && state->frame > 0) --state->frame;
        break;
    default: break;
    }
}

} // namespace

void ReadKeyboard(SceneState* state, SceneInput* input) {
    input->arrows |= ArrowsDown();
    if (pendingKey == 0) return;
    const std::uint8_t key = pendingKey;
    const std::uint8_t modifiers = pendingModifiers;
    pendingKey = 0;
    lastKey = 0;
    ApplyKey(key, modifiers, state, input);
}

void StepScene(SceneState* state, SceneInput* input) {
    const SpriteSize player = SPRITE_SIZES[SPRITE_PLAYER];
    std::int32_t x = state->playerX;
    std::int32_t y = state->playerY;
    if (input->arrows & ARROW_LEFT) x -= PLAYER_STEP;
    if (input->arrows & ARROW_RIGHT) x += PLAYER_STEP;
    if (input->arrows & ARROW_UP) y -= PLAYER_STEP;
    if (input->arrows & ARROW_DOWN) y += PLAYER_STEP;
    state->playerX = std::clamp(x, PLAYER_MARGIN - player.width, SCENE_WIDTH - PLAYER_MARGIN);
    state->playerY = std::clamp(y, PLAYER_MARGIN - player.height, SCENE_HEIGHT - PLAYER_MARGIN);
    if (!state->paused) ++state->frame;
    // A key still held moves the player again on the next step.
    input->arrows = ArrowsDown();
}

// ---------------------------------------------------------------------------
// Art

namespace {

std::uint32_t Le16(const std::uint8_t* p) {
    return p[0] | std::uint32_t{p[1]} << 8;
}

std::uint32_t Le32(const std::uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

} // namespace

ArtStatus LoadArt(const std::uint8_t* block, std::size_t blockSize, std::uint8_t* sheet,
                  std::size_t capacity, Art* art) {
    std::uint32_t unpackedSize = 0;
    if (!ReadPackHeader(block, blockSize, &unpackedSize, nullptr, nullptr)) return ART_BAD_BLOCK;
    if (unpackedSize > capacity) return ART_TOO_LARGE;
    const UnpackResult unpacked = UnpackBlockSized(block, blockSize, sheet, capacity);
    // A block whose chunks end early leaves the rest of the sheet unwritten.
    if (unpacked.Failed() || unpacked.produced != unpacked.size) return ART_BAD_BLOCK;
    const std::size_t size = unpacked.size;
    if (size < ART_DIRECTORY_END || Le16(sheet + ART_PALETTE_SIZE) != SPRITE_COUNT)
        return ART_BAD_SHEET;

    for (std::size_t i = 0; i < 256; ++i)
        art->palette[i] = {sheet[i * 3], sheet[i * 3 + 1], sheet[i * 3 + 2]};
    for (std::size_t i = 0; i < SPRITE_COUNT; ++i) {
        const std::uint8_t* entry = sheet + ART_PALETTE_SIZE + 2 + i * ART_ENTRY_SIZE;
        const std::uint8_t width = entry[0];
        const std::uint8_t height = entry[1];
        const std::size_t dataSize = Le16(entry + 2);
        const std::size_t offset = Le32(entry + 4);
        if (width != SPRITE_SIZES[i].width || height != SPRITE_SIZES[i].height ||
            offset < ART_DIRECTORY_END || offset > size || dataSize > size - offset)
            return ART_BAD_SHEET;
        if (ValidateSpriteData(sheet + offset, dataSize, width, height) != 1) return ART_BAD_SPRITE;
        art->sprites[i] = {sheet + offset, width, height};
    }
    const std::size_t fontSize = Le32(sheet + ART_FONT_ENTRY);
    const std::size_t fontOffset = Le32(sheet + ART_FONT_ENTRY + 4);
    if (fontOffset < ART_DIRECTORY_END || fontOffset > size || fontSize > size - fontOffset)
        return ART_BAD_SHEET;
    if (LoadFont(sheet + fontOffset, fontSize, &art->font) != FONT_OK) return ART_BAD_FONT;
    return ART_OK;
}

// ---------------------------------------------------------------------------
// Mixing table

void BuildMixTable(const Rgb* palette, std::uint8_t* mixTable) {
    for (std::uint32_t drawn = 0; drawn < 256; ++drawn) {
        for (std::uint32_t below = 0; below < 256; ++below) {
            const Rgb& a = palette[drawn];
            const Rgb& b = palette[below];
            const std::int32_t red = (3 * a.red + b.red + 2) / 4;
            const std::int32_t green = (3 * a.green + b.green + 2) / 4;
            const std::int32_t blue = (3 * a.blue + b.blue + 2) / 4;
            // The nearest of the art's colours (the transparent one excluded).
            std::int32_t best = INT32_MAX;
            std::uint8_t bestIndex = 0;
            for (std::uint32_t i = 0; i < ART_TRANSPARENT && best != 0; ++i) {
                const std::int32_t dr = palette[i].red - red;
                const std::int32_t dg = palette[i].green - green;
                const std::int32_t db = palette[i].blue - blue;
                const std::int32_t distance = dr * dr + dg * dg + db * db;
                if (distance < best) {
                    best = distance;
                    bestIndex = static_cast<std::uint8_t>(i);
                }
            }
            mixTable[drawn * 256 + below] = bestIndex;
        }
    }
}

// ---------------------------------------------------------------------------
// The picture

namespace {

// sin(2 pi angle / 256) * 4096 by Bhaskara's approximation, in integers.
constexpr std::int32_t Sine(std::uint32_t angle) {
    const auto a = static_cast<std::int32_t>(angle & 127);
    const std::int32_t p = a * (128 - a); // 0 .. 4096
    const std::int32_t v = 16384 * p / (20480 - p);
    return (angle & 128) ? -v : v;
}
static_assert(Sine(0) == 0 && Sine(64) == 4096 && Sine(128) == 0 && Sine(192) == -4096);

// centre + amplitude * sin(angle)
constexpr std::int32_t Swing(std::int32_t centre, std::int32_t amplitude, std::uint32_t angle) {
    return centre + Sine(angle) * amplitude / 4096;
}

// A mirror flag for something that faces right and swings with `angle`: set
// while it moves left, that is, while the cosine is negative.
constexpr std::uint16_t FacingFlag(std::uint32_t angle) {
    return Sine(angle + 64) < 0 ? DRAW_MIRROR_X : 0;
}

// Rows of the status strip along the top, and where its marks lie.
constexpr std::int32_t STRIP_HEIGHT = 12;
constexpr std::int32_t GROUND_TOP = 172;
// The band of help along the bottom, inside the window's frame.
constexpr std::int32_t HELP_TOP = SCENE_HEIGHT - 12;

void Sprite(const Art& art, SpriteId id, std::int32_t x, std::int32_t y, std::uint16_t flags) {
    screenState.drawFlags = flags;
    DrawSprite(x, y, &art.sprites[id]);
}

void Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::uint32_t colour,
          std::uint16_t flags) {
    screenState.drawFlags = flags;
    DrawHVLine(x1, y1, x2, y2, colour);
}

void Frame(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
           std::uint32_t colour, std::uint16_t flags) {
    Line(left, top, right, top, colour, flags);
    Line(left, bottom, right, bottom, colour, flags);
    Line(left, top + 1, left, bottom - 1, colour, flags);
    Line(right, top + 1, right, bottom - 1, colour, flags);
}

void DrawBackground(std::uint32_t t, const Art& art) {
    // Sky and ground of lines that run past both sides.
    for (std::int32_t y = 0; y < GROUND_TOP; ++y)
        Line(-8, y, SCENE_WIDTH + 8, y, RAMP_SKY + y * 62 / (GROUND_TOP - 1), 0);
    for (std::int32_t y = GROUND_TOP; y < SCENE_HEIGHT; ++y)
        Line(-8, y, SCENE_WIDTH + 8, y,
             RAMP_GREEN + 6 + (y - GROUND_TOP) * 12 / (SCENE_HEIGHT - GROUND_TOP), 0);

    // Stars twinkle in the upper sky; the first hangs over the left edge.
    constexpr std::int32_t STARS[][2] = {{-3, 30},  {40, 18},  {96, 40},
                                         {150, 22}, {200, 48}, {252, 30}};
    for (std::uint32_t i = 0; i < std::size(STARS); ++i)
        if (((t >> 3) + i) % 3 != 0) Sprite(art, SPRITE_STAR, STARS[i][0], STARS[i][1], 0);

    // The sun stands over the top right corner.
    Sprite(art, SPRITE_SUN, SCENE_WIDTH - 38, -14, 0);

    // Clouds drift right across both sides, the first over the top edge:
    // faint ones drawn as the destination row, a strong one as the source.
    for (std::uint32_t i = 0; i < 3; ++i) {
        const auto x = static_cast<std::int32_t>((t / 2 + i * 131) % (SCENE_WIDTH + 64)) - 64;
        const std::uint16_t mix = i == 1 ? DRAW_MIX_SRC_ROW : DRAW_MIX_DST_ROW;
        Sprite(art, SPRITE_CLOUD, x, -6 + static_cast<std::int32_t>(i) * 18,
               mix | (i & 1 ? DRAW_MIRROR_X : 0));
    }

    // Trees come in on the right and leave on the left; every other one
    // stands lower, its foot below the bottom edge, and is mirrored.
    for (std::uint32_t i = 0; i < 4; ++i) {
        const auto x = SCENE_WIDTH - static_cast<std::int32_t>((t + i * 92) % (SCENE_WIDTH + 48));
        const bool low = i & 1;
        Sprite(art, SPRITE_TREE, x, low ? 150 : 110, low ? DRAW_MIRROR_X : 0);
    }
}

void DrawMovers(std::uint32_t t, const Art& art) {
    // Balls on paths that reach past every edge.
    for (std::uint32_t i = 0; i < 3; ++i)
        Sprite(art, SPRITE_BALL, Swing(148, 190, t * 2 + i * 85),
               Swing(88, 120, t * 3 + i * 40 + 64), 0);

    // A fish that turns with its swim, and one belly up.
    Sprite(art, SPRITE_FISH, Swing(144, 200, t), Swing(128, 6, t * 4), FacingFlag(t));
    Sprite(art, SPRITE_FISH, Swing(170, 160, t + 100), Swing(146, 4, t * 3),
           DRAW_FLIP_Y | FacingFlag(t + 100));

    // A ghost, seen through, that rises past the top edge.
    Sprite(art, SPRITE_GHOST, Swing(230, 70, t * 2 + 30), Swing(8, 26, t * 5),
           DRAW_MIX_SRC_ROW | FacingFlag(t * 2 + 30));
}

// The player's surroundings: the sprite, its frame and its shadow line.
SceneArea PlayerArea(const SceneState& state) {
    const SpriteSize size = SPRITE_SIZES[SPRITE_PLAYER];
    return {state.playerX - 2, state.playerY - 2, state.playerX + size.width + 2,
            state.playerY + size.height + 5};
}

// The star of the mark, centred where the click was.
SceneArea MarkArea(const SceneState& state) {
    const SpriteSize size = SPRITE_SIZES[SPRITE_STAR];
    const std::int32_t left = state.markX - size.width / 2;
    const std::int32_t top = state.markY - size.height / 2;
    return {left, top, left + size.width, top + size.height};
}

void DrawPlayer(const SceneState& state, const Art& art) {
    const SceneArea area = PlayerArea(state);
    const SpriteSize size = SPRITE_SIZES[SPRITE_PLAYER];
    // A shadow line under the player, mixed darker into the ground.
    Line(state.playerX + 2, area.bottom - 1, state.playerX + size.width - 3, area.bottom - 1,
         COLOUR_BLACK, DRAW_MIX_DST_ROW);
    Sprite(art, SPRITE_PLAYER, state.playerX, state.playerY, state.playerFlags);
    Frame(area.left, area.top, area.right - 1, area.bottom - 3, RAMP_GREY + SHADE_TOP - 4, 0);
}

void DrawOverlay(const SceneState& state) {
    const std::uint32_t t = state.frame;
    // Two scanning beams, mixed in both ways, reaching past top and bottom.
    const auto beam = static_cast<std::int32_t>(t * 3 % SCENE_WIDTH);
    Line(beam, -20, beam, SCENE_HEIGHT + 20, RAMP_GREY + SHADE_TOP, DRAW_MIX_SRC_ROW);
    Line(SCENE_WIDTH - 1 - beam, SCENE_HEIGHT + 20, SCENE_WIDTH - 1 - beam, -20, RAMP_WARM + 20,
         DRAW_MIX_DST_ROW);

    // The status strip: a darker band with a box per player flag, lit when
    // the flag is set, and a pause or play mark at the right.
    for (std::int32_t y = 0; y < STRIP_HEIGHT; ++y)
        Line(0, y, SCENE_WIDTH - 1, y, COLOUR_BLACK, DRAW_MIX_DST_ROW);
    for (std::int32_t i = 0; i < 4; ++i) {
        const std::int32_t left = 6 + i * 14;
        Frame(left, 2, left + 9, 9, RAMP_GREY + 20, 0);
        if (state.playerFlags & (1 << i))
            for (std::int32_t y = 3; y < 9; ++y)
                Line(left + 1, y, left + 8, y, RAMP_PURPLE + 26, 0);
    }
    const std::int32_t mark = SCENE_WIDTH - 20;
    if (state.paused) {
        for (std::int32_t x : {mark, mark + 1, mark + 5, mark + 6})
            Line(x, 2, x, 9, RAMP_GREY + SHADE_TOP, 0);
    } else {
        for (std::int32_t j = 0; j < 8; ++j)
            Line(mark, 2 + j, mark + std::min(j, 7 - j), 2 + j, RAMP_GREEN + 28, 0);
    }

    // A frame around the whole window.
    Frame(0, 0, SCENE_WIDTH - 1, SCENE_HEIGHT - 1, RAMP_BROWN + 12, 0);
}

// The state in the status strip, plain; the help, mixed as the source row
// over a darker band, in the middle of the bottom.
void DrawStatusAndHelp(const SceneState& state, const Art& art) {
    char status[SCENE_STATUS_SIZE];
    FormatStatus(state, status);
    screenState.drawFlags = 0;
    DrawString(art.font, SCENE_STATUS_LEFT, 2, status);

    for (std::int32_t y = HELP_TOP; y < SCENE_HEIGHT - 1; ++y)
        Line(1, y, SCENE_WIDTH - 2, y, COLOUR_BLACK, DRAW_MIX_DST_ROW);
    const TextSize help = MeasureString(art.font, SCENE_HELP);
    screenState.drawFlags = DRAW_MIX_SRC_ROW;
    DrawString(art.font, (SCENE_WIDTH - help.width) / 2, HELP_TOP + 1, SCENE_HELP);
}

SceneArea Union(const SceneArea& a, const SceneArea& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

} // namespace

void DrawScene(const SceneState& state, const Art& art, const std::uint8_t* mixTable) {
    screenState.mixTable = mixTable;
    DrawBackground(state.frame, art);
    DrawMovers(state.frame, art);
    DrawPlayer(state, art);
    DrawOverlay(state);
    DrawStatusAndHelp(state, art);
    if (state.marked) {
        const SceneArea mark = MarkArea(state);
        Sprite(art, SPRITE_STAR, mark.left, mark.top, 0);
    }
    screenState.drawFlags = 0;
}

SceneArea ChangedArea(const SceneState& before, const SceneState& after) {
    const SceneArea whole = {0, 0, SCENE_WIDTH, SCENE_HEIGHT};
    if (before.frame != after.frame) return whole;
    if (before == after) return {0, 0, 0, 0};
    // The strip mixes with what lies below it, and its marks and text show
    // every other part of the state: it changes with any of them, and the
    // player only below it, down to the lower of its two places. The star of
    // a mark that comes, goes or moves may lie anywhere.
    const std::int32_t bottom =
        std::max({PlayerArea(before).bottom, PlayerArea(after).bottom, STRIP_HEIGHT});
    SceneArea area = {0, 0, SCENE_WIDTH, std::min(bottom, SCENE_HEIGHT)};
    if (before.marked != after.marked || before.markX != after.markX ||
        before.markY != after.markY) {
        if (before.marked) area = Union(area, MarkArea(before));
        if (after.marked) area = Union(area, MarkArea(after));
    }
    area.top = std::clamp(area.top, 0, SCENE_HEIGHT);
    area.bottom = std::clamp(area.bottom, 0, SCENE_HEIGHT);
    area.left = std::clamp(area.left, 0, SCENE_WIDTH);
    area.right = std::clamp(area.right, 0, SCENE_WIDTH);
    return area;
}

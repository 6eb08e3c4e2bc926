// The example's scene on the host: keys through the shell's hook state, the
// title, the art chain (laid out from spritetool's files, packed, loaded and
// checked), the mixing table, the area the program presents after a change,
// and the picture itself.
#include "scene.h"

#include "shell/shell.h"
#include "unpack/unpack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Keys

constexpr std::uint8_t SCAN_ESCAPE = 0x01;
constexpr std::uint8_t SCAN_P = 0x19;
constexpr std::uint8_t SCAN_S = 0x1F;
constexpr std::uint8_t SCAN_D = 0x20;
constexpr std::uint8_t SCAN_F = 0x21;
constexpr std::uint8_t SCAN_N = 0x31;
constexpr std::uint8_t SCAN_M = 0x32;

// Key-message flags as the system hands them to the hook: scan code in bits
// 16..23, bit 24 for an extended key, bits 30 and 31 set on a release.
constexpr std::uint32_t Press(std::uint8_t scan, bool extended = false) {
    return std::uint32_t{scan} << 16 | (extended ? 1u << 24 : 0) | 1;
}
constexpr std::uint32_t Release(std::uint8_t scan, bool extended = false) {
    return Press(scan, extended) | 0xC0000000u;
}

// One thing that happens to the program: the hook sees a key message, the
// program reads the hook state (as it does after every message), or a frame
// step passes.
struct Action {
    enum Kind { KEY, READ, STEP } kind;
    std::uint32_t flags;
};
using Actions = std::vector<Action>;

Action Key(std::uint32_t flags) {
    return {Action::KEY, flags};
}
const Action READ = {Action::READ, 0};
const Action STEP = {Action::STEP, 0};

// A key pressed and released, the program reading after each message.
Actions Tap(std::uint8_t scan, bool extended = false) {
    return {Key(Press(scan, extended)), READ, Key(Release(scan, extended)), READ};
}

Actions operator+(Actions a, const Actions& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ResetKeyboard() {
    std::memset(keyStates, 0, sizeof keyStates);
    keyModifiers = extendedKey = lastKey = pendingKey = pendingModifiers = 0;
}

struct KeyCase {
    const char* rule;
    SceneState start;
    Actions actions;
    SceneState expected;
    bool quit;
};

constexpr SceneState RUNNING = {10, 100, 80, 0, false};
constexpr SceneState PAUSED = {10, 100, 80, 0, true};

SceneState With(SceneState s, std::uint32_t frame, std::int32_t x, std::int32_t y,
                std::uint16_t flags) {
    s.frame = frame;
    s.playerX = x;
    s.playerY = y;
    s.playerFlags = flags;
    return s;
}

TEST(SceneKeys, TheHookStateDrivesTheScene) {
    const std::uint8_t LEFT = KEY_INDEX_LEFT, RIGHT = KEY_INDEX_RIGHT, UP = KEY_INDEX_UP;
    const KeyCase cases[] = {
        {"a tap of m toggles mirroring once: its release latches nothing", RUNNING, Tap(SCAN_M),
         With(RUNNING, 10, 100, 80, DRAW_MIRROR_X), false},
        {"a press and release read together still count once",
         RUNNING,
         {Key(Press(SCAN_M)), Key(Release(SCAN_M)), READ},
         With(RUNNING, 10, 100, 80, DRAW_MIRROR_X),
         false},
        {"a second tap toggles back", RUNNING, Tap(SCAN_M) + Tap(SCAN_M), RUNNING, false},
        {"f, s and d toggle flipping and the two mixing flags", RUNNING,
         Tap(SCAN_F) + Tap(SCAN_S) + Tap(SCAN_D),
         With(RUNNING, 10, 100, 80, DRAW_FLIP_Y | DRAW_MIX_SRC_ROW | DRAW_MIX_DST_ROW), false},
        {"p pauses", RUNNING, Tap(SCAN_P), PAUSED, false},
        {"p again resumes", PAUSED, Tap(SCAN_P), RUNNING, false},
        {"n steps forward while paused", PAUSED, Tap(SCAN_N) + Tap(SCAN_N),
         With(PAUSED, 12, 100, 80, 0), false},
        {"Shift+n steps back: pendingModifiers picks the shifted table", PAUSED,
         Actions{Key(Press(KEY_LEFT_SHIFT)), READ} + Tap(SCAN_N) +
             Actions{Key(Release(KEY_LEFT_SHIFT)), READ},
         With(PAUSED, 9, 100, 80, 0), false},
        {"Shift+n stops at frame 0", With(PAUSED, 0, 100, 80, 0),
         Actions{Key(Press(KEY_LEFT_SHIFT)), READ} + Tap(SCAN_N), With(PAUSED, 0, 100, 80, 0),
         false},
        {"n does nothing while the animation runs", RUNNING, Tap(SCAN_N), RUNNING, false},
        {"Escape ends the scene", RUNNING, Tap(SCAN_ESCAPE), RUNNING, true},
        {"a tapped arrow moves the player one step", RUNNING, Tap(LEFT, true) + Actions{STEP, STEP},
         With(RUNNING, 12, 96, 80, 0), false},
        {"a held arrow moves it on every step, the last one after its release",
         RUNNING,
         {Key(Press(RIGHT, true)), READ, STEP, STEP, STEP, Key(Release(RIGHT, true)), READ, STEP,
          STEP},
         With(RUNNING, 15, 116, 80, 0),
         false},
        {"the keypad's arrows move it too", RUNNING, Tap(UP) + Actions{STEP},
         With(RUNNING, 11, 100, 76, 0), false},
        {"the player moves while the animation is paused", PAUSED,
         Tap(KEY_INDEX_DOWN, true) + Actions{STEP}, With(PAUSED, 10, 100, 84, 0), false},
        {"the player stays four pixels inside the left edge", With(RUNNING, 10, -26, 80, 0),
         Tap(LEFT, true) + Actions{STEP}, With(RUNNING, 11, -28, 80, 0), false},
        {"and inside the bottom edge", With(RUNNING, 10, 100, 194, 0),
         Tap(KEY_INDEX_DOWN, true) + Actions{STEP}, With(RUNNING, 11, 100, 196, 0), false},
        {"a letter typed while an arrow is held is taken", RUNNING,
         Actions{Key(Press(RIGHT, true)), READ} + Tap(SCAN_M) + Actions{STEP},
         With(RUNNING, 11, 104, 80, DRAW_MIRROR_X), false},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.rule);
        ResetKeyboard();
        SceneState state = c.start;
        SceneInput input = {};
        for (const Action& action : c.actions) {
            switch (action.kind) {
            case Action::KEY: KeyboardHookProc(0, 0, static_cast<LPARAM>(action.flags)); break;
            case Action::READ: ReadKeyboard(&state, &input); break;
            case Action::STEP: StepScene(&state, &input); break;
            }
        }
        EXPECT_EQ(state.frame, c.expected.frame);
        EXPECT_EQ(state.playerX, c.expected.playerX);
        EXPECT_EQ(state.playerY, c.expected.playerY);
        EXPECT_EQ(state.playerFlags, c.expected.playerFlags);
        EXPECT_EQ(state.paused, c.expected.paused);
        EXPECT_EQ(input.quit, c.quit);
    }
    ResetKeyboard();
}

// ---------------------------------------------------------------------------
// Title

TEST(SceneTitle, ReadsBackWhatItWrites) {
    const SceneState states[] = {
        SCENE_START,
        {4294967295u, -28, -20, 15, true},
        {123, 316, 196, DRAW_MIRROR_X | DRAW_MIX_SRC_ROW, false},
        {9, 1, 2, 0, false, true, 0, 0},
        {9, 1, 2, 0, true, true, -2147483647 - 1, 2147483647},
    };
    for (const SceneState& state : states) {
        char title[SCENE_TITLE_SIZE];
        FormatTitle(state, title);
        SCOPED_TRACE(title);
        SceneState read = {};
        ASSERT_TRUE(ParseTitle(title, &read));
        EXPECT_TRUE(read == state);
    }
    char title[SCENE_TITLE_SIZE];
    FormatTitle({7, -3, 45, 5, true}, title);
    EXPECT_STREQ(title, "Tarnwick scene - frame 7 - player -3,45 - flags 5 - mark none - paused");
    FormatTitle({7, -3, 45, 5, false, true, 319, -4}, title);
    EXPECT_STREQ(title,
                 "Tarnwick scene - frame 7 - player -3,45 - flags 5 - mark 319,-4 - running");
    // The longest title there is fits.
    FormatTitle({4294967295u, -2147483647 - 1, -2147483647 - 1, 65535, false, true, -2147483647 - 1,
                 -2147483647 - 1},
                title);
    EXPECT_LT(std::strlen(title), SCENE_TITLE_SIZE);
}

TEST(SceneTitle, RefusesOtherTexts) {
    const struct {
        const char* rule;
        const char* title;
    } cases[] = {
        {"the bare window name", "Tarnwick scene"},
        {"no run state", "Tarnwick scene - frame 7 - player 1,2 - flags 5 - mark none"},
        {"no mark", "Tarnwick scene - frame 7 - player 1,2 - flags 5 - paused"},
        {"text after the run state",
         "Tarnwick scene - frame 7 - player 1,2 - flags 5 - mark none - paused!"},
        {"a negative frame",
         "Tarnwick scene - frame -7 - player 1,2 - flags 5 - mark none - paused"},
        {"a frame beyond 32 bits",
         "Tarnwick scene - frame 4294967296 - player 1,2 - flags 0 - mark none - paused"},
        {"a coordinate of eleven digits",
         "Tarnwick scene - frame 7 - player 10000000000,2 - flags 0 - mark none - paused"},
        {"flags beyond 16 bits",
         "Tarnwick scene - frame 7 - player 1,2 - flags 65536 - mark none - paused"},
        {"a missing coordinate",
         "Tarnwick scene - frame 7 - player 1, - flags 5 - mark none - paused"},
        {"a lone minus sign",
         "Tarnwick scene - frame 7 - player -,2 - flags 5 - mark none - paused"},
        {"a mark of one coordinate",
         "Tarnwick scene - frame 7 - player 1,2 - flags 5 - mark 4 - paused"},
        {"a mark beyond 32 bits",
         "Tarnwick scene - frame 7 - player 1,2 - flags 5 - mark 1,2147483648 - paused"},
        {"a mark neither none nor a point",
         "Tarnwick scene - frame 7 - player 1,2 - flags 5 - mark here - paused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        SceneState state = {};
        EXPECT_FALSE(ParseTitle(c.title, &state)) << c.title;
    }
}

// ---------------------------------------------------------------------------
// Art

std::vector<std::uint8_t> ReadArtFile(const std::string& name) {
    std::ifstream f(std::string(SCENE_ART_DIR) + "/" + name, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)),
                                     std::istreambuf_iterator<char>());
}

const char* const SPRITE_NAMES[SPRITE_COUNT] = {"ball",  "fish", "ghost",  "tree",
                                                "cloud", "sun",  "player", "star"};

// The sheet as the example's build lays it out, from spritetool's files.
struct ArtFiles {
    std::vector<std::uint8_t> palette = ReadArtFile("art.palette");
    std::vector<std::uint8_t> font = ReadArtFile("font.fnt");
    std::vector<std::uint8_t> sprites[SPRITE_COUNT];

    ArtFiles() {
        for (std::size_t i = 0; i < SPRITE_COUNT; ++i)
            sprites[i] = ReadArtFile(std::string(SPRITE_NAMES[i]) + ".sprite");
    }
    std::vector<std::uint8_t> Sheet() const {
        ArtFile files[SPRITE_COUNT];
        for (std::size_t i = 0; i < SPRITE_COUNT; ++i)
            files[i] = {sprites[i].data(), sprites[i].size()};
        std::vector<std::uint8_t> sheet(ART_SHEET_CAPACITY);
        if (palette.size() != ART_PALETTE_SIZE) return {};
        sheet.resize(MakeArtSheet(palette.data(), files, {font.data(), font.size()}, sheet.data(),
                                  sheet.size()));
        return sheet;
    }
};

std::vector<std::uint8_t> MakeSheet() {
    return ArtFiles().Sheet();
}

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> block(PackBound(data.size()));
    block.resize(PackBlock(data.data(), data.size(), block.data()).size);
    return block;
}

std::uint8_t* Entry(std::vector<std::uint8_t>& sheet, std::size_t sprite) {
    return sheet.data() + ART_PALETTE_SIZE + 2 + sprite * ART_ENTRY_SIZE;
}

std::size_t DataEnd(std::vector<std::uint8_t>& sheet, std::size_t sprite) {
    const std::uint8_t* e = Entry(sheet, sprite);
    return (e[4] | e[5] << 8) + (e[2] | e[3] << 8);
}

// The font's size and offset, from its entry after the sprites'.
std::size_t FontSize(const std::vector<std::uint8_t>& s) {
    return s[ART_FONT_ENTRY] | s[ART_FONT_ENTRY + 1] << 8 | s[ART_FONT_ENTRY + 2] << 16;
}
std::size_t FontOffset(const std::vector<std::uint8_t>& s) {
    return s[ART_FONT_ENTRY + 4] | s[ART_FONT_ENTRY + 5] << 8 | s[ART_FONT_ENTRY + 6] << 16;
}

TEST(SceneArt, TheSheetLoadsWithEverySprite) {
    std::vector<std::uint8_t> sheet = MakeSheet();
    ASSERT_GT(sheet.size(), ART_DIRECTORY_END);
    const std::vector<std::uint8_t> block = Pack(sheet);
    ASSERT_GT(block.size(), 0u);

    std::vector<std::uint8_t> room(ART_SHEET_CAPACITY);
    Art art = {};
    ASSERT_EQ(LoadArt(block.data(), block.size(), room.data(), room.size(), &art), ART_OK);
    EXPECT_EQ(std::memcmp(room.data(), sheet.data(), sheet.size()), 0);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(art.palette[i].red, sheet[i * 3]);
        EXPECT_EQ(art.palette[i].blue, sheet[i * 3 + 2]);
    }
    for (std::size_t i = 0; i < SPRITE_COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(art.sprites[i].width, SPRITE_SIZES[i].width);
        EXPECT_EQ(art.sprites[i].height, SPRITE_SIZES[i].height);
        EXPECT_EQ(art.sprites[i].data,
                  room.data() + (Entry(sheet, i)[4] | Entry(sheet, i)[5] << 8));
    }
    // Sprites follow one another, then the font to the end of the sheet.
    EXPECT_EQ(DataEnd(sheet, SPRITE_COUNT - 1), FontOffset(sheet));
    EXPECT_EQ(FontOffset(sheet) + FontSize(sheet), sheet.size());
    EXPECT_EQ(FontSize(sheet), ArtFiles().font.size());
    EXPECT_EQ(art.font.characters, 95);
    // The glyphs point into the sheet: '!', the first with pixels, at the
    // start of the font's glyph data.
    EXPECT_EQ(art.font.glyphs['!' - 32].sprite.data,
              room.data() + FontOffset(sheet) + FONT_HEADER_SIZE + 96 * FONT_GLYPH_ENTRY_SIZE);
}

TEST(SceneArt, TheSheetIsLaidOutOnlyFromSpritesOfTheirSize) {
    using Change = void (*)(ArtFiles & files);
    const struct {
        const char* rule;
        Change change;
    } cases[] = {
        {"a sprite narrower than its size", [](ArtFiles& f) { f.sprites[SPRITE_FISH][0] = 31; }},
        {"a sprite taller than its size", [](ArtFiles& f) { f.sprites[SPRITE_STAR][1] = 10; }},
        {"two sprites in each other's place",
         [](ArtFiles& f) { f.sprites[SPRITE_BALL].swap(f.sprites[SPRITE_SUN]); }},
        {"a file without its size bytes", [](ArtFiles& f) { f.sprites[SPRITE_TREE].resize(1); }},
        {"more data than the sheet holds",
         [](ArtFiles& f) { f.sprites[SPRITE_CLOUD].resize(ART_SHEET_CAPACITY); }},
        {"a font larger than the room left",
         [](ArtFiles& f) { f.font.resize(ART_SHEET_CAPACITY); }},
    };
    ASSERT_GT(ArtFiles().Sheet().size(), ART_DIRECTORY_END) << "the files of the build";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        ArtFiles files;
        c.change(files);
        EXPECT_EQ(files.Sheet().size(), 0u);
    }
}

TEST(SceneArt, RefusesDamagedArt) {
    using Damage = void (*)(std::vector<std::uint8_t> & sheet);
    using BlockDamage = void (*)(std::vector<std::uint8_t> & block, std::size_t * room);
    const struct {
        const char* rule;
        Damage sheetDamage;
        BlockDamage blockDamage;
        ArtStatus expected;
    } cases[] = {
        {"not a packed block", nullptr, [](auto& b, std::size_t*) { b[0] = 'X'; }, ART_BAD_BLOCK},
        {"a block cut short", nullptr, [](auto& b, std::size_t*) { b.pop_back(); }, ART_BAD_BLOCK},
        {"a sheet larger than the room", nullptr, [](auto&, std::size_t* room) { *room = 1000; },
         ART_TOO_LARGE},
        {"too short for its directory", [](auto& s) { s.resize(ART_DIRECTORY_END - 1); }, nullptr,
         ART_BAD_SHEET},
        {"another number of sprites", [](auto& s) { s[ART_PALETTE_SIZE] = SPRITE_COUNT - 1; },
         nullptr, ART_BAD_SHEET},
        {"a sprite of another size", [](auto& s) { Entry(s, SPRITE_PLAYER)[0] = 31; }, nullptr,
         ART_BAD_SHEET},
        {"sprite data past the end of the sheet", [](auto& s) { Entry(s, SPRITE_STAR)[3] = 0xFF; },
         nullptr, ART_BAD_SHEET},
        {"sprite data in the directory", [](auto& s) { Entry(s, SPRITE_BALL)[4] = 0x10; }, nullptr,
         ART_BAD_SHEET},
        {"a row without its end byte", [](auto& s) { s[DataEnd(s, SPRITE_BALL) - 1] = 0x05; },
         nullptr, ART_BAD_SPRITE},
        {"the font's data in the directory",
         [](auto& s) {
             s[ART_FONT_ENTRY + 4] = 0x10;
             s[ART_FONT_ENTRY + 5] = 0;
         },
         nullptr, ART_BAD_SHEET},
        {"the font past the end of the sheet", [](auto& s) { s[ART_FONT_ENTRY] += 1; }, nullptr,
         ART_BAD_SHEET},
        {"not a font", [](auto& s) { s[FontOffset(s)] = 'X'; }, nullptr, ART_BAD_FONT},
        {"a glyph's runs wider than the glyph",
         [](auto& s) {
             // The data of the first glyph with pixels ('!', after the empty space).
             s[FontOffset(s) + FONT_HEADER_SIZE + 96 * FONT_GLYPH_ENTRY_SIZE] = 0x85;
         },
         nullptr, ART_BAD_FONT},
        {"runs wider than the sprite",
         [](auto& s) {
             std::uint8_t* data =
                 s.data() + (Entry(s, SPRITE_STAR)[4] | Entry(s, SPRITE_STAR)[5] << 8);
             data[0] = 0x8A; // a transparent run of 118 columns in a sprite of 9
         },
         nullptr, ART_BAD_SPRITE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        std::vector<std::uint8_t> sheet = MakeSheet();
        if (c.sheetDamage) c.sheetDamage(sheet);
        std::vector<std::uint8_t> block = Pack(sheet);
        std::size_t room = ART_SHEET_CAPACITY;
        if (c.blockDamage) c.blockDamage(block, &room);
        std::vector<std::uint8_t> sheetRoom(room);
        Art art = {};
        EXPECT_EQ(LoadArt(block.data(), block.size(), sheetRoom.data(), room, &art), c.expected);
    }
}

// ---------------------------------------------------------------------------
// Mixing table and picture

class ScenePicture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sheet = MakeSheet();
        const std::vector<std::uint8_t> block = Pack(sheet);
        room.resize(ART_SHEET_CAPACITY);
        ASSERT_EQ(LoadArt(block.data(), block.size(), room.data(), room.size(), &art), ART_OK);
        mixTable.resize(MIX_TABLE_SIZE);
        BuildMixTable(art.palette, mixTable.data());
    }

    // Draws `state` into a buffer with `margin` guard bytes around the
    // window, top-down or bottom-up, filled with `fill` first; returns the
    // whole buffer.
    static std::vector<std::uint8_t> Draw(const SceneState& state, std::int32_t margin = 0,
                                          bool bottomUp = false, std::uint8_t fill = 0xA5) {
        const std::int32_t stride = SCENE_WIDTH + 2 * margin;
        const std::int32_t rows = SCENE_HEIGHT + 2 * margin;
        std::vector<std::uint8_t> buffer(std::size_t(stride) * rows, fill);
        std::uint8_t* top =
            bottomUp ? buffer.data() + std::size_t(rows - 1) * stride : buffer.data();
        screenState = {};
        screenState.bufferBase = top;
        screenState.pitch = bottomUp ? -stride : stride;
        screenState.windowX = margin;
        screenState.windowY = margin;
        screenState.windowBase = top + screenState.pitch * margin + margin;
        screenState.windowWidth = SCENE_WIDTH;
        screenState.windowHeight = SCENE_HEIGHT;
        DrawScene(state, art, mixTable.data());
        return buffer;
    }

    static inline std::vector<std::uint8_t> sheet;
    static inline std::vector<std::uint8_t> room;
    static inline Art art;
    static inline std::vector<std::uint8_t> mixTable;
};

bool SameColour(const Rgb& a, const Rgb& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

TEST_F(ScenePicture, MixingTable) {
    for (int i = 0; i < ART_TRANSPARENT; ++i) {
        SCOPED_TRACE(i);
        // A colour mixed with itself is itself.
        EXPECT_TRUE(SameColour(art.palette[mixTable[i * 257]], art.palette[i]));
    }
    // The transparent marker is no colour of a mix.
    for (std::size_t i = 0; i < MIX_TABLE_SIZE; ++i) ASSERT_NE(mixTable[i], ART_TRANSPARENT) << i;
    // White drawn over black comes out light as the source row, dark as the
    // destination row.
    const int white = RAMP_GREY + SHADE_TOP;
    const Rgb strong = art.palette[mixTable[white * 256 + COLOUR_BLACK]];
    const Rgb faint = art.palette[mixTable[COLOUR_BLACK * 256 + white]];
    EXPECT_GT(strong.green, 150);
    EXPECT_LT(faint.green, 100);
}

TEST_F(ScenePicture, CoversTheWholeWindow) {
    // Whatever the window held before, the same state gives the same picture.
    for (std::uint32_t frame : {0u, 77u, 500u}) {
        SCOPED_TRACE(frame);
        const SceneState state = {frame, 40, 84, DRAW_MIX_DST_ROW, false};
        EXPECT_EQ(Draw(state, 0, false, 0x00), Draw(state, 0, false, 0xFF));
    }
}

TEST_F(ScenePicture, BottomUpSurfaceGetsTheSamePicture) {
    const SceneState state = {33, -20, 180, DRAW_MIRROR_X | DRAW_FLIP_Y, true};
    const std::vector<std::uint8_t> down = Draw(state);
    const std::vector<std::uint8_t> up = Draw(state, 0, true);
    for (std::int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        SCOPED_TRACE(y);
        ASSERT_EQ(std::memcmp(&down[std::size_t(y) * SCENE_WIDTH],
                              &up[std::size_t(SCENE_HEIGHT - 1 - y) * SCENE_WIDTH], SCENE_WIDTH),
                  0);
    }
}

TEST_F(ScenePicture, NothingLandsOutsideTheWindow) {
    // Movers cross every edge over a cycle; the player sits in each corner.
    constexpr std::int32_t margin = 40;
    constexpr std::int32_t stride = SCENE_WIDTH + 2 * margin;
    const std::int32_t corners[][2] = {{-28, -20}, {316, -20}, {-28, 196}, {316, 196}};
    for (std::uint32_t frame = 0; frame < 512; frame += 9) {
        SCOPED_TRACE(frame);
        const std::int32_t* corner = corners[frame % 4];
        const SceneState state = {frame, corner[0], corner[1],
                                  static_cast<std::uint16_t>(frame % 16), false};
        const std::vector<std::uint8_t> buffer = Draw(state, margin);
        for (std::int32_t y = 0; y < SCENE_HEIGHT + 2 * margin; ++y) {
            for (std::int32_t x = 0; x < stride; ++x) {
                const bool inside = x >= margin && x < margin + SCENE_WIDTH && y >= margin &&
                                    y < margin + SCENE_HEIGHT;
                if (inside) continue;
                ASSERT_EQ(buffer[std::size_t(y) * stride + x], 0xA5) << x << "," << y;
            }
        }
    }
}

TEST_F(ScenePicture, TheStatusAndTheHelpFitTheirPlaces) {
    const struct {
        const char* rule;
        SceneState state;
        const char* status;
    } cases[] = {
        {"the start", SCENE_START, "frame 0  at 40,84  running"},
        {"paused over the top left corner",
         {77, -28, -20, 15, true},
         "frame 77  at -28,-20  paused"},
        {"the widest: the last frame, running",
         {UINT32_MAX, -28, -20, 15, false},
         "frame 4294967295  at -28,-20  running"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        char status[SCENE_STATUS_SIZE];
        FormatStatus(c.state, status);
        EXPECT_STREQ(status, c.status);
        const TextSize size = MeasureString(art.font, status);
        EXPECT_LE(SCENE_STATUS_LEFT + size.width, SCENE_STATUS_RIGHT);
        EXPECT_LE(2 + size.height, 12) << "inside the strip";
    }
    EXPECT_LE(MeasureString(art.font, SCENE_HELP).width, SCENE_WIDTH - 4) << "inside the frame";
}

// The status text shows in the picture: a state that differs in one number
// differs in the strip's text columns.
TEST_F(ScenePicture, TheStripShowsTheState) {
    const SceneState base = {40, 100, 80, 0, true};
    for (const SceneState other :
         {SceneState{40, 104, 80, 0, true}, SceneState{41, 100, 80, 0, true},
          SceneState{40, 100, 80, 0, false}}) {
        const std::vector<std::uint8_t> a = Draw(base), b = Draw(other);
        int differ = 0;
        for (std::int32_t y = 2; y < 11; ++y)
            for (std::int32_t x = SCENE_STATUS_LEFT; x < SCENE_STATUS_RIGHT; ++x)
                differ +=
                    a[std::size_t(y) * SCENE_WIDTH + x] != b[std::size_t(y) * SCENE_WIDTH + x];
        EXPECT_GT(differ, 0) << other.frame << " " << other.playerX << " " << other.paused;
    }
}

// Whether every pixel that differs between two pictures of the window lies
// in `area`; counts them in `changed`.
::testing::AssertionResult ChangesInside(const std::vector<std::uint8_t>& before,
                                         const std::vector<std::uint8_t>& after,
                                         const SceneArea& area, int* changed) {
    *changed = 0;
    for (std::int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        for (std::int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const std::size_t i = std::size_t(y) * SCENE_WIDTH + x;
            if (before[i] == after[i]) continue;
            ++*changed;
            if (x < area.left || x >= area.right || y < area.top || y >= area.bottom)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " changed outside " << area.left << ","
                       << area.top << ".." << area.right << "," << area.bottom;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(ScenePicture, ChangedAreaHoldsEveryChangedPixel) {
    const SceneState base = {40, 100, 80, 0, true};
    const struct {
        const char* rule;
        SceneState after;
    } cases[] = {
        {"the same state changes nothing", base},
        {"the player moves right", {40, 104, 80, 0, true}},
        {"the player moves up under the status strip", {40, 100, 2, 0, true}},
        {"the player jumps to the left edge", {40, -28, 150, 0, true}},
        {"the player is mirrored", {40, 100, 80, DRAW_MIRROR_X, true}},
        {"the player is flipped and mixed", {40, 100, 80, DRAW_FLIP_Y | DRAW_MIX_SRC_ROW, true}},
        {"the player is mixed faintly", {40, 100, 80, DRAW_MIX_DST_ROW, true}},
        {"the animation runs again", {40, 100, 80, 0, false}},
        {"the next frame", {41, 100, 80, 0, true}},
        {"a click puts the mark", {40, 100, 80, 0, true, true, 200, 150}},
        {"a click on the player", {40, 100, 80, 0, true, true, 110, 90}},
        {"a click at the corner, the star half outside", {40, 100, 80, 0, true, true, 0, 199}},
    };
    const std::vector<std::uint8_t> before = Draw(base);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const std::vector<std::uint8_t> after = Draw(c.after);
        const SceneArea area = ChangedArea(base, c.after);
        int changed = 0;
        ASSERT_TRUE(ChangesInside(before, after, area, &changed));
        const bool same = c.after == base;
        EXPECT_EQ(area.left == area.right, same);
        // Each change the table names shows on the screen.
        EXPECT_EQ(changed == 0, same);
    }
}

TEST_F(ScenePicture, ChangedAreaHoldsTheMarkWhereverItWent) {
    const SceneState marked = {40, 100, 80, 0, false, true, 30, 30};
    const struct {
        const char* rule;
        SceneState after;
    } cases[] = {
        {"the mark moves across the scene", {40, 100, 80, 0, false, true, 290, 180}},
        {"the mark moves under the status strip", {40, 100, 80, 0, false, true, 60, 3}},
        {"the mark moves a pixel", {40, 100, 80, 0, false, true, 31, 30}},
    };
    const std::vector<std::uint8_t> before = Draw(marked);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const std::vector<std::uint8_t> after = Draw(c.after);
        const SceneArea area = ChangedArea(marked, c.after);
        int changed = 0;
        ASSERT_TRUE(ChangesInside(before, after, area, &changed));
        EXPECT_GT(changed, 0);
    }
}

TEST_F(ScenePicture, TheMarkIsAStarCentredOnTheClick) {
    const SceneState plain = {40, 100, 80, 0, true};
    SceneState marked = plain;
    PlaceMark(&marked, 200, 150);
    const std::vector<std::uint8_t> a = Draw(plain);
    const std::vector<std::uint8_t> b = Draw(marked);
    const SpriteSize star = SPRITE_SIZES[SPRITE_STAR];
    int inside = 0;
    for (std::int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        for (std::int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const std::size_t i = std::size_t(y) * SCENE_WIDTH + x;
            const bool inStar =
                x >= 200 - star.width / 2 && x < 200 - star.width / 2 + star.width &&
                y >= 150 - star.height / 2 && y < 150 - star.height / 2 + star.height;
            if (!inStar) {
                ASSERT_EQ(a[i], b[i]) << x << "," << y;
            } else {
                inside += a[i] != b[i];
            }
        }
    }
    EXPECT_GT(inside, 0);
    // The star's middle pixel is where the click was.
    EXPECT_NE(a[150 * SCENE_WIDTH + 200], b[150 * SCENE_WIDTH + 200]);
}

// ---------------------------------------------------------------------------
// Command line

TEST(SceneOptions, ReadsTheCommandLine) {
    const struct {
        const char* rule;
        std::vector<const char*> words; // after the program's name
        bool ok;
        SceneOptions expected;
        const char* bad;
    } cases[] = {
        {"nothing: a window at its own size", {}, true, {1, false, false, nullptr}, nullptr},
        {"a zoom", {"--zoom", "3"}, true, {3, false, false, nullptr}, nullptr},
        {"the largest zoom", {"--zoom", "8"}, true, {8, false, false, nullptr}, nullptr},
        {"the desktop with aspect",
         {"--desktop", "--aspect"},
         true,
         {1, true, true, nullptr},
         nullptr},
        {"a mode after options",
         {"--aspect", "320x200"},
         true,
         {1, false, true, "320x200"},
         nullptr},
        {"a mode before options",
         {"0x101", "--zoom", "2"},
         true,
         {2, false, false, "0x101"},
         nullptr},
        {"zoom 0", {"--zoom", "0"}, false, {}, "--zoom"},
        {"zoom beyond the largest", {"--zoom", "9"}, false, {}, "--zoom"},
        {"a zoom that is no number", {"--zoom", "2x"}, false, {}, "--zoom"},
        {"a zoom without its number", {"--zoom"}, false, {}, "--zoom"},
        {"an option nobody knows", {"--fast"}, false, {}, "--fast"},
        {"two modes", {"320x200", "640x480"}, false, {}, "640x480"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        std::vector<char*> words = {const_cast<char*>("scene.exe")};
        for (const char* w : c.words) words.push_back(const_cast<char*>(w));
        SceneOptions options;
        const char* bad = nullptr;
        ASSERT_EQ(ParseSceneOptions(static_cast<std::uint16_t>(words.size()), words.data(),
                                    &options, &bad),
                  c.ok);
        if (!c.ok) {
            EXPECT_STREQ(bad, c.bad);
            continue;
        }
        EXPECT_EQ(options.zoom, c.expected.zoom);
        EXPECT_EQ(options.desktop, c.expected.desktop);
        EXPECT_EQ(options.aspect, c.expected.aspect);
        EXPECT_STREQ(options.mode, c.expected.mode);
    }
}

} // namespace

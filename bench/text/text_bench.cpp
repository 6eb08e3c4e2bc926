// Text drawing beside its peers, every peer in each repetition
// (bench/harness.h): a page of 44 lines of 62 characters into a 640 x 480
// 8-bit buffer, once inside the buffer and once with every line across an
// edge (left, right, and the first and last across the top and bottom).
//
//   ours               DrawString, a line a call, the example's font
//   Allegro grabbed    textout_ex with the same glyphs, grabbed from a picture
//                      of boxes each as wide as the glyph's advance, so that
//                      it draws the same pixels at the same places (checked);
//                      of a font of one colour, as the example's is, Allegro
//                      makes a mono font, drawn in that colour
//   SDL2 RLE glyphs    one RLE colour-key surface a glyph, SDL_BlitSurface a
//                      character, the pen moved by the advance (checked)
//   Allegro 8x8        textout_ex with Allegro's own 8 x 8 mono font in one
//                      colour: other glyphs (64 pixels a cell against ours of
//                      up to 5 x 9), so a figure beside ours, not the same work
//
// Speeds are nanoseconds per page.
//   build/<dir>/bin/text_bench [--reps=N] [--rounds=N] [--ms=N]
#include "bench/graphics/peers.h"
#include "bench/harness.h"
#include "graphics/graphics.h"
#include "text/text.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int WIDTH = 640, HEIGHT = 480;
constexpr int LINES = 44, COLUMNS = 62, LINE_STEP = 11;
constexpr std::uint8_t INK = 223; // the example font's one colour

std::vector<std::string> Page() {
    const std::string words =
        "The quick brown fox jumps over the lazy dog; 0123456789 pack my box with five "
        "dozen liquor jugs! (Sphinx of black quartz, judge my vow.) #42 @ $3.50 & 7% ~ ";
    std::vector<std::string> page;
    for (int i = 0; i < LINES; ++i) {
        std::string line;
        for (int c = 0; c < COLUMNS; ++c) line += words[(i * 17 + c) % words.size()];
        page.push_back(line);
    }
    return page;
}

struct Place {
    int x, y;
};

std::vector<Place> Inside() {
    std::vector<Place> at;
    for (int i = 0; i < LINES; ++i) at.push_back({4, 2 + i * 10});
    return at;
}

// Odd lines across the left edge, even ones across the right; the first
// across the top, the last across the bottom.
std::vector<Place> Across() {
    std::vector<Place> at;
    for (int i = 0; i < LINES; ++i) at.push_back({i % 2 ? -150 : 420, -5 + i * LINE_STEP});
    return at;
}

struct Glyphs {
    std::vector<std::vector<std::uint8_t>> pixels; // each glyph's sprite width x height, 0 clear
};

// Every glyph drawn by DrawSprite into a bitmap of its own, on 0 (which
// the font's glyphs never draw).
Glyphs Decode(const Font& font) {
    Glyphs g;
    for (int i = 0; i <= font.characters; ++i) {
        const SpriteRecord& s = font.glyphs[i].sprite;
        std::vector<std::uint8_t> bitmap(std::size_t(s.width) * font.height, 0);
        if (s.width > 0) {
            screenState = {bitmap.data(), nullptr, bitmap.data(), s.width, 0, 0, s.width,
                           font.height,   0};
            DrawSprite(0, 0, &s);
        }
        g.pixels.push_back(bitmap);
    }
    return g;
}

// The glyphs in boxes of colour 255, each as wide as its advance, on 0: the
// picture Allegro's grabber reads.
std::vector<std::uint8_t> AllegroGrid(const Font& font, const Glyphs& glyphs, int* width,
                                      int* height) {
    constexpr int PER_ROW = 16;
    const int count = font.characters;
    int w = 1;
    for (int row = 0; row * PER_ROW < count; ++row) {
        int x = 1;
        for (int i = row * PER_ROW; i < count && i < (row + 1) * PER_ROW; ++i)
            x += font.glyphs[i].advance + 1;
        w = std::max(w, x);
    }
    const int rows = (count + PER_ROW - 1) / PER_ROW;
    const int h = 1 + rows * (font.height + 1);
    std::vector<std::uint8_t> grid(std::size_t(w) * h, 255);
    for (int i = 0; i < count; ++i) {
        const int row = i / PER_ROW;
        int x = 1;
        for (int k = row * PER_ROW; k < i; ++k) x += font.glyphs[k].advance + 1;
        const int top = 1 + row * (font.height + 1);
        const int sprite = font.glyphs[i].sprite.width;
        for (int y = 0; y < font.height; ++y)
            for (int c = 0; c < font.glyphs[i].advance; ++c)
                grid[std::size_t(top + y) * w + x + c] =
                    c < sprite ? glyphs.pixels[i][std::size_t(y) * sprite + c] : 0;
    }
    *width = w;
    *height = h;
    return grid;
}

struct Setup {
    std::vector<std::uint8_t> fontFile;
    Font font;
    std::vector<std::string> page = Page();
    std::vector<std::uint8_t> screen = std::vector<std::uint8_t>(WIDTH * HEIGHT);
    allegro_peer::Screen* allegroScreen = nullptr;
    allegro_peer::Font* allegroGrabbed = nullptr;
    int grabbedColour = -1; // -1 for a colour font
    allegro_peer::Font* allegro8x8 = nullptr;
    sdl_peer::Screen* sdlScreen = nullptr;
    std::vector<sdl_peer::Sprite*> sdlGlyphs; // null where a glyph has no pixels
};

Setup* setup = nullptr;

void InstallScreen() {
    screenState = {
        setup->screen.data(), nullptr, setup->screen.data(), WIDTH, 0, 0, WIDTH, HEIGHT, 0};
}

void DrawOurs(const std::vector<Place>& at) {
    for (int i = 0; i < LINES; ++i)
        DrawString(setup->font, at[i].x, at[i].y, setup->page[i].c_str());
}

void DrawAllegro(allegro_peer::Font* font, int colour, const std::vector<Place>& at) {
    for (int i = 0; i < LINES; ++i)
        allegro_peer::TextOut(setup->allegroScreen, font, setup->page[i].c_str(), at[i].x, at[i].y,
                              colour);
}

void DrawSdl(const std::vector<Place>& at) {
    for (int i = 0; i < LINES; ++i) {
        int x = at[i].x;
        for (unsigned char c : setup->page[i]) {
            const FontGlyph& g = FontGlyphFor(setup->font, c);
            if (sdl_peer::Sprite* s = setup->sdlGlyphs[std::size_t(&g - setup->font.glyphs)])
                sdl_peer::Blit(setup->sdlScreen, s, x, at[i].y);
            x += g.advance;
        }
    }
}

// Draws the page with ours and with a peer over the same random picture;
// whether the pictures agree.
template <typename Peer>
bool Agrees(const std::vector<Place>& at, std::uint8_t* peerPixels, int peerPitch, Peer&& peer) {
    std::mt19937 rng(3);
    for (auto& b : setup->screen) b = static_cast<std::uint8_t>(rng() | 1);
    for (int y = 0; y < HEIGHT; ++y)
        std::copy_n(&setup->screen[std::size_t(y) * WIDTH], WIDTH, peerPixels + y * peerPitch);
    InstallScreen();
    DrawOurs(at);
    peer(at);
    for (int y = 0; y < HEIGHT; ++y)
        if (!std::equal(&setup->screen[std::size_t(y) * WIDTH],
                        &setup->screen[std::size_t(y) * WIDTH] + WIDTH, peerPixels + y * peerPitch))
            return false;
    return true;
}

bool Prepare() {
    std::ifstream f(TEXT_BENCH_FONT, std::ios::binary);
    setup->fontFile.assign(std::istreambuf_iterator<char>(f), {});
    if (LoadFont(setup->fontFile.data(), setup->fontFile.size(), &setup->font) != FONT_OK) {
        std::fprintf(stderr, "text_bench: cannot load %s\n", TEXT_BENCH_FONT);
        return false;
    }
    const Glyphs glyphs = Decode(setup->font);
    setup->allegroScreen = allegro_peer::MakeScreen(WIDTH, HEIGHT);
    int w = 0, h = 0;
    const std::vector<std::uint8_t> grid = AllegroGrid(setup->font, glyphs, &w, &h);
    setup->allegroGrabbed = allegro_peer::GrabFont(grid.data(), w, h);
    setup->allegro8x8 = allegro_peer::BuiltInFont();
    setup->sdlScreen = sdl_peer::MakeScreen(WIDTH, HEIGHT);
    for (std::size_t i = 0; i < glyphs.pixels.size(); ++i) {
        const int width = setup->font.glyphs[i].sprite.width;
        setup->sdlGlyphs.push_back(width == 0 ? nullptr
                                              : sdl_peer::MakeRleSprite(setup->sdlScreen,
                                                                        glyphs.pixels[i].data(),
                                                                        width, setup->font.height));
    }
    if (!setup->allegroGrabbed) {
        std::fprintf(stderr, "text_bench: Allegro did not grab the font\n");
        return false;
    }
    if (!allegro_peer::IsColourFont(setup->allegroGrabbed)) setup->grabbedColour = INK;
    std::uint8_t* al = allegro_peer::Pixels(setup->allegroScreen);
    std::uint8_t* sd = sdl_peer::Pixels(setup->sdlScreen);
    const int sdPitch = sdl_peer::Pitch(setup->sdlScreen);
    for (const auto& at : {Inside(), Across()}) {
        if (!Agrees(at, al, WIDTH,
                    [](const auto& p) {
                        DrawAllegro(setup->allegroGrabbed, setup->grabbedColour, p);
                    }) ||
            !Agrees(at, sd, sdPitch, [](const auto& p) { DrawSdl(p); })) {
            std::fprintf(stderr, "text_bench: a peer does not draw the same pixels\n");
            return false;
        }
    }
    // Every glyph of the page has been blitted once by now.
    for (const std::string& line : setup->page)
        for (unsigned char c : line) {
            sdl_peer::Sprite* glyph =
                setup->sdlGlyphs[std::size_t(&FontGlyphFor(setup->font, c) - setup->font.glyphs)];
            if (glyph && !sdl_peer::IsRle(glyph)) {
                std::fprintf(stderr, "text_bench: SDL did not take its RLE path\n");
                return false;
            }
        }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (!allegro_peer::Start()) {
        std::fprintf(stderr, "text_bench: Allegro did not start\n");
        return 1;
    }
    const bench::Options options = bench::ParseOptions(argc, argv);
    Setup s;
    setup = &s;
    if (!Prepare()) return 1;
    std::printf("a page: %d lines of %d characters, the example's font (9 rows, %d glyphs); "
                "Allegro grabbed (%s font) and SDL2 checked to draw our pixels\n",
                LINES, COLUMNS, int(setup->font.characters),
                setup->grabbedColour < 0 ? "a colour" : "a mono");

    bench::PrintHeader("text (nanoseconds per page)", options);
    const struct {
        const char* name;
        std::vector<Place> at;
    } cases[] = {{"page inside", Inside()}, {"page across edges", Across()}};
    for (const auto& c : cases) {
        const std::vector<Place>& at = c.at;
        bench::Comparison comparison(c.name);
        comparison.Ours("DrawString", [&] {
            InstallScreen();
            DrawOurs(at);
            bench::Keep(setup->screen.data());
        });
        comparison.Peer("Allegro grabbed", [&] {
            DrawAllegro(setup->allegroGrabbed, setup->grabbedColour, at);
            bench::Keep(allegro_peer::Pixels(setup->allegroScreen));
        });
        comparison.Peer("SDL2 RLE glyphs", [&] {
            DrawSdl(at);
            bench::Keep(sdl_peer::Pixels(setup->sdlScreen));
        });
        comparison.Peer("Allegro 8x8", [&] {
            DrawAllegro(setup->allegro8x8, INK, at);
            bench::Keep(allegro_peer::Pixels(setup->allegroScreen));
        });
        comparison.Run(options);
    }
    return 0;
}

// Fuzzes the text component with fonts and text from outside.
//
// Input: a 12-byte header, then the font and the text. With the header's
// font bit clear, the next two bytes give the length of a font file that
// follows (cut to what the input holds) and LoadFont checks it; with it set,
// a font is built from the input's bytes (a first code, a count, a height,
// and each glyph's pixels, advance and cell), encoded with EncodeSprite, so
// that LoadFont must take it. What follows is the text. A font that loads is
// then measured and drawn at the header's place, flags and window size into
// a canvas with margins: no pixel outside the window may change, and, where
// no glyph is wider than its advance (as in every font spritetool makes),
// none outside the box that MeasureString gives. The font file sits alone in an
// exactly sized heap block, as does the text, so that ASan reports any read
// past either.
//
//   cmake --preset fuzz -B build/fuzz && cmake --build build/fuzz
//   build/fuzz/bin/text_fuzzer -max_total_time=60 -max_len=4096
#include "tests/graphics/graphics_reference.h"
#include "text/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t HEADER_SIZE = 12;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "text fuzzer: %s\n", what);
    std::abort();
}

// Header coordinates: mostly near the window, but a set top bit of the
// second byte reaches out to the ends of the 32-bit range.
std::int32_t CoordinateAt(const std::uint8_t* p) {
    const std::int32_t near =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8)) % 300;
    if (!(p[1] & 0x80)) return near;
    return near < 0 ? INT32_MIN - near : INT32_MAX - near;
}

void PutLe(std::vector<std::uint8_t>* out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Reads bytes off the input; zeros once it is used up.
struct Reader {
    const std::uint8_t* p;
    std::size_t left;
    std::uint8_t Next() {
        if (left == 0) return 0;
        --left;
        return *p++;
    }
};

// A font file of the format, from the input's bytes: every glyph's pixels
// encoded by EncodeSprite on transparent index 0.
std::vector<std::uint8_t> BuildFont(Reader* in) {
    const std::uint8_t first = in->Next();
    const std::uint32_t characters = 1 + in->Next() % std::min(64u, 256u - first);
    const std::uint8_t height = 1 + in->Next() % 12;
    std::vector<std::uint8_t> entries, data;
    for (std::uint32_t i = 0; i <= characters; ++i) {
        const std::uint8_t width = in->Next() % 9;
        const std::uint8_t cell = width + 1 + in->Next() % 3;
        const std::uint16_t advance = in->Next() % 12; // now and then less than the width
        std::vector<std::uint8_t> pixels(std::size_t(width) * height);
        for (std::uint8_t& px : pixels) px = in->Next();
        std::vector<std::uint8_t> sprite(SpriteDataBound(width, height));
        sprite.resize(
            EncodeSprite(pixels.data(), width, height, width, 0, sprite.data(), sprite.size()));
        entries.insert(entries.end(), {width, cell});
        PutLe(&entries, advance, 2);
        PutLe(&entries, static_cast<std::uint32_t>(sprite.size()), 4);
        data.insert(data.end(), sprite.begin(), sprite.end());
    }
    std::vector<std::uint8_t> file(std::begin(FONT_MAGIC), std::end(FONT_MAGIC));
    file.push_back(first);
    PutLe(&file, characters, 2);
    file.insert(file.end(), {height, 16, 1});
    file.insert(file.end(), entries.begin(), entries.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < HEADER_SIZE) return 0;
    const std::uint8_t* h = input;
    const std::int32_t x = CoordinateAt(h);
    const std::int32_t y = CoordinateAt(h + 2);
    const auto flags = static_cast<std::uint16_t>(h[4] | h[5] << 8);
    const std::int32_t windowWidth = h[6] % 160; // 0 included: an empty window
    const std::int32_t windowHeight = h[7] % 100;
    const std::int32_t margin = 1 + h[8] % 8;
    const bool negativePitch = h[9] & 1;
    const bool built = h[9] & 2;
    Reader in{input + HEADER_SIZE, size - HEADER_SIZE};

    std::vector<std::uint8_t> fontFile;
    if (built) {
        fontFile = BuildFont(&in);
    } else {
        const std::size_t low = in.Next();
        std::size_t length = low | std::size_t{in.Next()} << 8;
        length = std::min(length, in.left);
        fontFile.assign(in.p, in.p + length);
        in.p += length;
        in.left -= length;
    }
    std::unique_ptr<std::uint8_t[]> file(new std::uint8_t[fontFile.size() + 1]);
    if (!fontFile.empty()) std::memcpy(file.get(), fontFile.data(), fontFile.size());
    static Font font;
    const FontResult loaded = LoadFont(file.get(), fontFile.size(), &font);
    if (built && loaded != FONT_OK) Fail("a font built by the format does not load");
    if (loaded != FONT_OK) return 0;

    // The text alone in a block of its size.
    const std::size_t length = in.left;
    std::unique_ptr<char[]> text(new char[length + 1]);
    if (length) std::memcpy(text.get(), in.p, length);

    static const std::vector<std::uint8_t> mix = [] {
        std::mt19937 table(5);
        return graphics_reference::RandomMixTable(table);
    }();
    std::mt19937 rng(static_cast<std::uint32_t>(size));
    graphics_reference::Canvas canvas(windowWidth, windowHeight, margin, negativePitch);
    canvas.Fill(rng);
    const graphics_reference::Canvas before = canvas;
    canvas.Install(flags, mix.data());
    DrawString(font, x, y, text.get(), length);
    const TextSize box = MeasureString(font, text.get(), length);
    if (box.width < 0 || box.height < font.height) Fail("a box smaller than one line");

    // Every changed pixel lies in the window, and in the box where every
    // glyph keeps within its advance.
    bool withinAdvances = true;
    for (std::size_t i = 0; i <= font.characters; ++i)
        withinAdvances = withinAdvances && font.glyphs[i].sprite.width <= font.glyphs[i].advance;
    for (std::size_t i = 0; i < canvas.bytes.size(); ++i) {
        if (canvas.bytes[i] == before.bytes[i]) continue;
        const std::int64_t row = std::int64_t(i / std::size_t(canvas.stride));
        const std::int64_t column = std::int64_t(i % std::size_t(canvas.stride));
        const std::int64_t wy = (negativePitch ? canvas.rows - 1 - row : row) - margin;
        const std::int64_t wx = column - margin;
        if (wx < 0 || wx >= windowWidth || wy < 0 || wy >= windowHeight)
            Fail("a pixel outside the window changed");
        if (withinAdvances && (wx < x || wx >= std::int64_t{x} + box.width || wy < y ||
                               wy >= std::int64_t{y} + box.height))
            Fail("a pixel outside the text's box changed");
    }
    return 0;
}

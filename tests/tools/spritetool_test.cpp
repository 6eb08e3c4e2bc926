// spritetool as a user meets it: random indexed pictures of every bit depth
// and of sizes up to the sprite format's limits through encode and decode,
// pixel for pixel; then every refusal, with the exit code, a piece of the
// message and the output path left as it was.
#include "graphics/graphics.h"
#include "tests/tools/tool_run.h"
#include "tools/png_io.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <utility>
#include <string>
#include <vector>

using namespace tool_test;

namespace {

ToolRun Spritetool(const std::vector<std::string>& args) {
    return RunProgram(SPRITETOOL_PATH, args);
}

Bytes Png(const IndexedPicture& picture, unsigned bitDepth = 8) {
    Bytes file;
    std::string error;
    EXPECT_TRUE(WriteIndexedPng(picture, bitDepth, &file, &error)) << error;
    return file;
}

// ---------------------------------------------------------------------------
// Round trips

enum class Transparency {
    None,  // every pixel drawn
    Chunk, // one palette entry transparent in the picture's transparency chunk
    Key,   // the same pixels, their index given with --key
};

struct Shape {
    std::uint32_t width, height;
};

// Rows of runs of random length (up to 300, so that literal runs longer than
// 127 and transparent ones longer than 128 are split), each either of the
// transparent index or of random opaque ones.
IndexedPicture RandomPicture(std::mt19937& random, unsigned bitDepth, Shape shape,
                             int transparent) {
    const unsigned colours = 1u << bitDepth;
    IndexedPicture picture;
    picture.width = shape.width;
    picture.height = shape.height;
    picture.palette.resize(colours * 3);
    for (std::uint8_t& c : picture.palette) c = std::uint8_t(random());
    picture.alpha.assign(colours, 255);
    std::uniform_int_distribution<unsigned> runLength(1, 300), index(0, colours - 1);
    while (picture.pixels.size() < std::size_t(shape.width) * shape.height) {
        const unsigned n = runLength(random);
        const bool clear = transparent >= 0 && random() % 3 == 0;
        for (unsigned i = 0; i < n; ++i) {
            unsigned p = clear ? unsigned(transparent) : index(random);
            if (!clear && int(p) == transparent) p = (p + 1) % colours;
            picture.pixels.push_back(std::uint8_t(p));
        }
    }
    picture.pixels.resize(std::size_t(shape.width) * shape.height);
    return picture;
}

// Checks a decoded picture against the source drawn with `flags`: the same
// colour at every drawn pixel, transparency exactly where the source had it.
::testing::AssertionResult SamePicture(const IndexedPicture& source, int transparent,
                                       std::uint16_t flags, const IndexedPicture& got) {
    if (got.width != source.width || got.height != source.height)
        return ::testing::AssertionFailure() << "size " << got.width << " x " << got.height;
    for (std::uint32_t y = 0; y < got.height; ++y) {
        for (std::uint32_t x = 0; x < got.width; ++x) {
            const std::uint32_t sx = flags & DRAW_MIRROR_X ? source.width - 1 - x : x;
            const std::uint32_t sy = flags & DRAW_FLIP_Y ? source.height - 1 - y : y;
            const unsigned want = source.pixels[sy * source.width + sx];
            const unsigned have = got.pixels[y * got.width + x];
            const bool clear = got.alpha[have] == 0;
            if (clear != (int(want) == transparent) ||
                (!clear &&
                 (have != want || !std::equal(&got.palette[3 * have], &got.palette[3 * have + 3],
                                              &source.palette[3 * want]))))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << "): index " << have
                       << (clear ? " (transparent)" : "") << ", the source's " << want;
        }
    }
    return ::testing::AssertionSuccess();
}

const Shape kShapes[] = {
    {1, 1}, {255, 255}, {255, 1}, {1, 255}, {200, 3}, {17, 129},
};

const std::uint16_t kOrientations[] = {0, DRAW_MIRROR_X, DRAW_FLIP_Y, DRAW_MIRROR_X | DRAW_FLIP_Y};

TEST(Spritetool, RandomPicturesComeBackPixelForPixel) {
    std::mt19937 random(18);
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string png = (dir.path() / "in.png").string(),
                      sprite = (dir.path() / "sprite").string(),
                      palette = (dir.path() / "palette").string(),
                      back = (dir.path() / "back.png").string();
    int cases = 0;
    for (unsigned bitDepth : {1u, 2u, 4u, 8u}) {
        for (Transparency mode : {Transparency::None, Transparency::Chunk, Transparency::Key}) {
            for (const Shape shape : kShapes) {
                const std::uint16_t flags = kOrientations[cases % 4];
                SCOPED_TRACE(testing::Message()
                             << bitDepth << " bits, " << shape.width << " x " << shape.height
                             << ", transparency " << int(mode) << ", flags " << flags);
                const int transparent =
                    mode == Transparency::None ? -1 : int(random() % (1u << bitDepth));
                IndexedPicture source = RandomPicture(random, bitDepth, shape, transparent);
                if (mode == Transparency::Chunk) source.alpha[transparent] = 0;
                WriteBytes(png, Png(source, bitDepth));

                std::vector<std::string> encode = {"encode", png, sprite};
                if (mode == Transparency::Key)
                    encode.insert(encode.end(), {"--key", std::to_string(transparent)});
                ToolRun run = Spritetool(encode);
                ASSERT_EQ(run.exitCode, 0) << run.output;
                run = Spritetool({"palette", png, palette});
                ASSERT_EQ(run.exitCode, 0) << run.output;
                std::vector<std::string> decode = {"decode", sprite, back, "--palette", palette};
                if (flags & DRAW_MIRROR_X) decode.push_back("--mirror");
                if (flags & DRAW_FLIP_Y) decode.push_back("--flip");
                run = Spritetool(decode);
                ASSERT_EQ(run.exitCode, 0) << run.output;

                const Bytes file = ReadBytes(back);
                IndexedPicture got;
                std::string error;
                ASSERT_TRUE(
                    ReadIndexedPng(file.data(), file.size(), {255, 255, "a sprite"}, &got, &error))
                    << error;
                EXPECT_TRUE(SamePicture(source, transparent, flags, got));
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 4 * 3 * 6);
}

// ---------------------------------------------------------------------------
// Refusals

// 4 x 2 pixels, 4 colours, entry 0 transparent in the transparency chunk:
//   row 0: 0 1 2 0      row 1: 3 3 0 0
IndexedPicture SmallPicture() {
    IndexedPicture p;
    p.width = 4;
    p.height = 2;
    p.pixels = {0, 1, 2, 0, 3, 3, 0, 0};
    p.palette = {0, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    p.alpha = {0, 255, 255, 255};
    return p;
}

Bytes SmallPng() {
    return Png(SmallPicture());
}

// The same picture as RGB.
Bytes RgbPng() {
    const std::uint8_t pixels[2 * 2 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 2;
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr);
    Bytes file(size);
    png_image_write_to_memory(&image, file.data(), &size, 0, pixels, 0, nullptr);
    file.resize(size);
    return file;
}

IndexedPicture With(void (*change)(IndexedPicture&)) {
    IndexedPicture p = SmallPicture();
    change(p);
    return p;
}

// The sprite file of SmallPicture: width, height, then per row
//   row 0: skip 1 (0xFF), 2 literal pixels 1 2, end   (the last 0 left to the row end)
//   row 1: 2 literal pixels 3 3, end
const Bytes kSmallSprite = {4, 2, 0xFF, 0x02, 1, 2, 0x00, 0x02, 3, 3, 0x00};
// The same with --key 3: index 0 drawn, 3 transparent.
const Bytes kSmallSpriteKey3 = {4, 2, 0x04, 0, 1, 2, 0, 0x00, 0xFE, 0x02, 0, 0, 0x00};

Bytes SmallPalette() {
    Bytes palette = SmallPicture().palette;
    palette.resize(768, 0);
    return palette;
}

struct SpriteCase {
    ToolCase tool;
    Bytes (*second)(); // the second input ("IN2"), or nullptr
};

// A case that succeeds with `expected` at the output path.
SpriteCase Made(const char* rule, std::vector<std::string> args, Bytes (*input)(),
                Bytes (*expected)()) {
    return {{rule, std::move(args), input, -1, 0, "", Out::Expected, expected}, nullptr};
}

// A case that fails with `exitCode` and `message`, the output left as it was.
SpriteCase Refused(const char* rule, std::vector<std::string> args, Bytes (*input)(), int exitCode,
                   const char* message, Bytes (*second)() = nullptr) {
    return {{rule, std::move(args), input, -1, exitCode, message, Out::Untouched, nullptr}, second};
}

const std::vector<std::string> kEncode = {"encode", "IN", "OUT"};
const std::vector<std::string> kDecode = {"decode", "IN", "OUT", "--palette", "IN2"};

Bytes WithPixel9() {
    return Png(With([](IndexedPicture& p) { p.pixels[6] = 9; }));
}
Bytes WithHalfAlpha() {
    return Png(With([](IndexedPicture& p) { p.alpha[2] = 128; }));
}
Bytes WithTwoClear() {
    return Png(With([](IndexedPicture& p) { p.alpha[3] = 0; }));
}
Bytes Wide() {
    return Png(With([](IndexedPicture& p) {
        p.width = 256;
        p.height = 1;
        p.pixels.assign(256, 1);
    }));
}
Bytes Tall() {
    return Png(With([](IndexedPicture& p) {
        p.width = 1;
        p.height = 300;
        p.pixels.assign(300, 1);
    }));
}
Bytes DamagedHeader() {
    Bytes b = SmallPng();
    b[8 + 4 + 4] ^= 1; // the first byte of the width, inside IHDR's checksum
    return b;
}
Bytes CutInPixels() {
    Bytes b = SmallPng();
    b.resize(b.size() - 12 - 8); // IEND and the end of IDAT gone
    return b;
}
Bytes SmallSprite() {
    return kSmallSprite;
}
Bytes TooWideRow() {
    return {2, 1, 0x03, 1, 1, 1, 0x00}; // 3 literal pixels in a sprite 2 wide
}
Bytes NoLastEnd() {
    return Bytes(kSmallSprite.begin(), kSmallSprite.end() - 1);
}
Bytes TwoMoreBytes() {
    Bytes b = kSmallSprite;
    b.insert(b.end(), {0x00, 0x00});
    return b;
}
Bytes TwoColours() {
    return Bytes(6, 0);
}

// SmallPng with another size in its header (and the header's checksum made
// to match): a picture whose pixel data is far too short for it.
Bytes SmallPngSized(std::uint32_t width, std::uint32_t height) {
    Bytes b = SmallPng();
    for (int i = 0; i < 4; ++i) {
        b[16 + i] = std::uint8_t(width >> (24 - 8 * i));
        b[20 + i] = std::uint8_t(height >> (24 - 8 * i));
    }
    const std::uint32_t crc = std::uint32_t(crc32(0, b.data() + 12, 4 + 13));
    for (int i = 0; i < 4; ++i) b[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
    return b;
}

// A case with more than Made or Refused say: where the output lies, and the
// environment of the run.
SpriteCase Run(const char* rule, std::vector<std::string> args, Bytes (*input)(), int exitCode,
               const char* message, Out out, Bytes (*expected)(),
               const char* environment = nullptr) {
    return {{rule, std::move(args), input, -1, exitCode, message, out, expected, environment},
            nullptr};
}

// An allocation above 1 MB ends the program (in the host build, whose
// sanitizers' allocator reads this; elsewhere it is ignored).
constexpr const char* kSmallAllocations = "ASAN_OPTIONS=max_allocation_size_mb=1";

const SpriteCase kCases[] = {
    // encode and palette: the transparent index from the chunk or from --key.
    Made("the chunk's transparent entry becomes skips", kEncode, SmallPng, SmallSprite),
    Made("--key: another index is transparent, the chunk's one drawn",
         {"encode", "IN", "OUT", "--key", "3"}, SmallPng, [] { return kSmallSpriteKey3; }),
    Made("palette: the picture's colours, then black up to 256", {"palette", "IN", "OUT"}, SmallPng,
         SmallPalette),
    Run(
        "palette: a picture of 100000 x 100000, whose pixels are neither read nor made room for",
        {"palette", "IN", "OUT"}, [] { return SmallPngSized(100000, 100000); }, 0, "",
        Out::Expected, SmallPalette, kSmallAllocations),
    // encode: pictures that are not sound indexed ones.
    Refused(
        "not a PNG file", kEncode, [] { return Bytes{'G', 'I', 'F', '8', '9', 'a'}; }, 1,
        "in: not a PNG file"),
    Refused("a damaged header: its checksum fails", kEncode, DamagedHeader, 1, "CRC error"),
    Refused("a file cut inside its pixel data", kEncode, CutInPixels, 1, "ends too soon"),
    Refused("an RGB picture: refused, not reduced", kEncode, RgbPng, 1,
            "not an indexed picture (its colours are RGB)"),
    Refused("palette of an RGB picture", {"palette", "IN", "OUT"}, RgbPng, 1,
            "not an indexed picture"),
    Refused("wider than 255 pixels", kEncode, Wide, 1,
            "256 x 1 pixels, larger than a sprite can be (255 x 255)"),
    Refused("taller than 255 pixels", kEncode, Tall, 1,
            "1 x 300 pixels, larger than a sprite can be"),
    Refused("a pixel's index beyond the palette", kEncode, WithPixel9, 1,
            "pixel (2, 1) has index 9, outside the palette of 4 colours"),
    Refused("a partly transparent entry in use", kEncode, WithHalfAlpha, 1,
            "palette entry 2 is partly transparent (alpha 128)"),
    Refused("two transparent entries in use", kEncode, WithTwoClear, 1,
            "palette entries 0 and 3 are both transparent"),
    // Outputs that cannot be written.
    {{"the output's folder is missing", kEncode, SmallPng, -1, 1, "cannot create a file beside",
      Out::Absent, nullptr},
     nullptr},
    {{"a file size limit below the output's size", kEncode, SmallPng, 5, 1, "cannot write",
      Out::Untouched, nullptr},
     nullptr},
    Run("an output that is a symbolic link: its target replaced, the link kept", kEncode, SmallPng,
        0, "", Out::ThroughLink, SmallSprite),
    Run("an output with a second name (a hard link): refused, both names keep their contents",
        kEncode, SmallPng, 1, "cannot write", Out::HardLinked, nullptr),
    Run("an output with a second name: the message says why", {"palette", "IN", "OUT"}, SmallPng, 1,
        "the file has 2 names (hard links), and replacing it would leave the others",
        Out::HardLinked, nullptr),
    Run("an output that is a symbolic link to a missing file: refused", kEncode, SmallPng, 1,
        "a symbolic link to a file that does not exist", Out::DanglingLink, nullptr),
    // decode and info: sprite files and palettes that fail their checks.
    Refused("decode: a row that covers more than the width", kDecode, TooWideRow, 1,
            "not sound sprite data for 2 x 1 pixels", SmallPalette),
    Refused("decode: the last row without its end", kDecode, NoLastEnd, 1,
            "not sound sprite data for 4 x 2 pixels", SmallPalette),
    Refused("decode: bytes after the last row", kDecode, TwoMoreBytes, 1,
            "2 bytes after the sprite's last row", SmallPalette),
    Refused(
        "decode: a width of 0", kDecode,
        [] {
            return Bytes{0, 1, 0x00};
        },
        1, "a sprite of 0 x 1 pixels, which draws nothing", SmallPalette),
    Refused(
        "decode: no room for the size", kDecode, [] { return Bytes{4}; }, 1,
        "too short for a sprite's width and height", SmallPalette),
    Refused("decode: a palette file of 5 bytes", kDecode, SmallSprite, 1,
            "in2: 5 bytes, not a palette", [] { return Bytes(5, 0); }),
    Refused("decode: a drawn index beyond a palette of 2 colours", kDecode, SmallSprite, 1,
            "pixel (2, 0) has index 2, outside the palette of 2 colours", TwoColours),
    Refused("info: unsound data", {"info", "IN"}, TooWideRow, 1,
            "ValidateSpriteData: -1 (unsound)"),
    // Usage errors.
    Refused("no command", {}, nullptr, 2, "usage:"),
    Refused("an unknown command", {"draw", "IN", "OUT"}, SmallPng, 2, "usage:"),
    Refused("--key beyond 255", {"encode", "IN", "OUT", "--key", "256"}, SmallPng, 2,
            "--key takes a palette index from 0 to 255, not 256"),
    Refused("--key not a number", {"encode", "IN", "OUT", "--key", "x"}, SmallPng, 2, "usage:"),
    Refused("decode without --palette", {"decode", "IN", "OUT"}, SmallSprite, 2, "usage:"),
    Refused("an option of another command", {"encode", "IN", "OUT", "--mirror"}, SmallPng, 2,
            "usage:"),
};

TEST(Spritetool, RefusalsLoseNothingAndInventNothing) {
    for (const SpriteCase& c : kCases) {
        const Bytes second = c.second ? c.second() : Bytes();
        CheckToolCase(SPRITETOOL_PATH, c.tool, c.second ? &second : nullptr);
    }
}

// The pixels a sprite leaves alone get a palette entry that no drawn pixel
// uses, the highest free one, or one added after the palette's last.
TEST(Spritetool, DecodeMarksTheUntouchedPixelsWithAFreeEntry) {
    const struct {
        const char* rule;
        Bytes sprite;
        std::size_t colours;
        unsigned transparent;
        std::size_t entries; // in the picture's palette
    } cases[] = {
        {"256 colours, 1 to 3 drawn: 255", kSmallSprite, 256, 255, 256},
        {"4 colours, 1 to 3 drawn: 0", kSmallSprite, 4, 0, 4},
        {"2 colours, both drawn: a third added", {3, 1, 0xFF, 0x02, 1, 0, 0x00}, 2, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        ScratchDir dir;
        ASSERT_FALSE(dir.path().empty());
        const fs::path in = dir.path() / "sprite", palette = dir.path() / "palette",
                       out = dir.path() / "out.png";
        WriteBytes(in, c.sprite);
        Bytes colours(3 * c.colours);
        for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = std::uint8_t(i * 7);
        WriteBytes(palette, colours);
        const ToolRun run =
            Spritetool({"decode", in.string(), out.string(), "--palette", palette.string()});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const Bytes file = ReadBytes(out);
        IndexedPicture got;
        std::string error;
        ASSERT_TRUE(ReadIndexedPng(file.data(), file.size(), {255, 255, ""}, &got, &error))
            << error;
        ASSERT_EQ(got.alpha.size(), c.entries);
        EXPECT_TRUE(std::equal(colours.begin(), colours.end(), got.palette.begin()));
        for (std::size_t i = 0; i < got.alpha.size(); ++i)
            EXPECT_EQ(got.alpha[i], i == c.transparent ? 0 : 255) << "entry " << i;
        EXPECT_EQ(got.pixels[0], c.transparent) << "the first pixel is left alone";
    }
}

TEST(Spritetool, InfoCountsRowsRunsAndBytes) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const fs::path in = dir.path() / "sprite";
    WriteBytes(in, kSmallSprite);
    const ToolRun run = Spritetool({"info", in.string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "width 4, height 2\n"
                          "ValidateSpriteData: 1 (sound)\n"
                          "rows 2 (0 empty), runs 3 (2 literal, 1 transparent), "
                          "4 pixels drawn\n"
                          "bytes 11 (sprite data 9)\n");
}

} // namespace

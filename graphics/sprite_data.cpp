// Building and checking sprite data: the encoder for 8-bit bitmaps and the
// validator for data the renderer is not to trust blindly.
#include "graphics/graphics.h"

namespace {

constexpr std::int32_t MAX_LITERAL_RUN = 127;
constexpr std::int32_t MAX_TRANSPARENT_RUN = 128;

// Counts the encoded bytes and writes them while they fit.
struct ByteSink {
    std::uint8_t* out;
    std::size_t capacity;
    std::size_t size = 0;

    void Put(std::uint8_t b) {
        if (size < capacity) out[size] = b;
        ++size;
    }
};

} // namespace

std::size_t EncodeSprite(const std::uint8_t* pixels, std::uint8_t width, std::uint8_t height,
                         std::int32_t stride, std::uint8_t transparent, std::uint8_t* out,
                         std::size_t capacity) {
    // First pass sizes the encoding, the second writes it if it fits.
    for (int pass = 0; pass < 2; ++pass) {
        ByteSink sink{out, pass == 0 ? 0 : capacity};
        for (std::int32_t r = 0; r < height; ++r) {
            const std::uint8_t* row = pixels + std::ptrdiff_t{r} * stride;
            std::int32_t end = width;
            while (end > 0 && row[end - 1] == transparent) --end;
            std::int32_t c = 0;
            while (c < end) {
                std::int32_t run = 0;
                if (row[c] == transparent) {
                    while (c + run < end && run < MAX_TRANSPARENT_RUN &&
                           row[c + run] == transparent)
                        ++run;
                    sink.Put(static_cast<std::uint8_t>(-run));
                } else {
                    while (c + run < end && run < MAX_LITERAL_RUN && row[c + run] != transparent)
                        ++run;
                    sink.Put(static_cast<std::uint8_t>(run));
                    for (std::int32_t i = 0; i < run; ++i) sink.Put(row[c + i]);
                }
                c += run;
            }
            sink.Put(0x00);
        }
        if (pass == 0 && sink.size > capacity) return sink.size;
        if (pass == 1) return sink.size;
    }
    return 0; // not reached
}

std::int32_t ValidateSpriteData(const std::uint8_t* data, std::size_t size, std::uint8_t width,
                                std::uint8_t height) {
    if (width == 0 || height == 0) return 1;
    std::size_t pos = 0;
    for (std::int32_t r = 0; r < height; ++r) {
        std::int32_t covered = 0;
        for (;;) {
            if (pos >= size) return -1;
            const std::int32_t n = static_cast<std::int8_t>(data[pos++]);
            if (n == 0) break;
            if (n > 0) {
                if (size - pos < static_cast<std::size_t>(n)) return -1;
                pos += static_cast<std::size_t>(n);
                covered += n;
            } else {
                covered -= n;
            }
            if (covered > width) return -1;
        }
    }
    return 1;
}

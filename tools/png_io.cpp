#include "tools/png_io.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// libpng reports errors through a callback that must not return; ours keeps
// the text and jumps back to the setjmp of the call that drives libpng. The
// frames it jumps over are libpng's own (C) and, from a read or write
// callback, that callback's, which holds nothing with a destructor at that
// point; the callers keep every C++ object they own outside the guarded
// stretch.
struct PngErrors {
    char text[256];
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* errors = static_cast<PngErrors*>(png_get_error_ptr(png));
    std::snprintf(errors->text, sizeof errors->text, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->size - reader->at < count) png_error(png, "the file ends too soon");
    std::memcpy(out, reader->data + reader->at, count);
    reader->at += count;
}

// A failed append is reported once the exception is finished with: jumping
// out of a handler would leave it unfinished.
void WriteToMemory(png_structp png, png_bytep data, png_size_t count) {
    auto* file = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool appended = true;
    try {
        file->insert(file->end(), data, data + count);
    } catch (const std::bad_alloc&) {
        appended = false;
    }
    if (!appended) png_error(png, "not enough memory");
}

void FlushNothing(png_structp) {}

const char* ColourTypeName(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return "grey";
    case PNG_COLOR_TYPE_GRAY_ALPHA: return "grey with alpha";
    case PNG_COLOR_TYPE_RGB: return "RGB";
    case PNG_COLOR_TYPE_RGB_ALPHA: return "RGB with alpha";
    default: return "unknown";
    }
}

// The reading proper, between setjmp and the end of libpng's work. Returns
// false with errors->text set. Only plain data lives in this frame; the
// picture's vectors are sized before the rows are read and not resized
// while libpng can still jump. Without `pixels`, reading stops after the
// chunks before the pixel data, and the picture's size is not limited.
bool ReadWithPng(png_structp png, png_infop info, MemoryReader* reader, PictureLimit limit,
                 bool pixels, IndexedPicture* picture, std::vector<png_bytep>* rows,
                 PngErrors* errors) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, reader, ReadFromMemory);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    if (colourType != PNG_COLOR_TYPE_PALETTE) {
        std::snprintf(errors->text, sizeof errors->text,
                      "not an indexed picture (its colours are %s); sprites take palette "
                      "indices, and no colours are reduced here",
                      ColourTypeName(colourType));
        return false;
    }
    if (pixels && (width > limit.width || height > limit.height)) {
        std::snprintf(errors->text, sizeof errors->text, "%u x %u pixels, larger than %s (%u x %u)",
                      unsigned(width), unsigned(height), limit.holder, unsigned(limit.width),
                      unsigned(limit.height));
        return false;
    }
    png_colorp entries = nullptr;
    int count = 0;
    if (!png_get_PLTE(png, info, &entries, &count) || count < 1) {
        std::snprintf(errors->text, sizeof errors->text, "an indexed picture without a palette");
        return false;
    }
    picture->width = width;
    picture->height = height;
    picture->bitDepth = unsigned(png_get_bit_depth(png, info));
    picture->palette.resize(std::size_t(count) * 3);
    for (int i = 0; i < count; ++i) {
        picture->palette[3 * i] = entries[i].red;
        picture->palette[3 * i + 1] = entries[i].green;
        picture->palette[3 * i + 2] = entries[i].blue;
    }
    picture->alpha.assign(std::size_t(count), 255);
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (png_get_tRNS(png, info, &alpha, &alphaCount, nullptr) && alpha != nullptr)
        for (int i = 0; i < alphaCount && i < count; ++i) picture->alpha[i] = alpha[i];
    picture->pixels.clear();
    if (!pixels) return true;

    // One byte a pixel whatever the depth; libpng's own index check is left
    // to us, so that the message can name the pixel.
    png_set_packing(png);
    png_set_check_for_invalid_index(png, -1);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    picture->pixels.resize(std::size_t(width) * height);
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        (*rows)[y] = picture->pixels.data() + std::size_t(y) * width;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    return true;
}

bool WriteWithPng(png_structp png, png_infop info, const IndexedPicture& picture, unsigned bitDepth,
                  const png_color* entries, int count, int alphaCount,
                  std::vector<std::uint8_t>* file, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, file, WriteToMemory, FlushNothing);
    png_set_check_for_invalid_index(png, -1);
    png_set_IHDR(png, info, picture.width, picture.height, int(bitDepth), PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, entries, count);
    if (alphaCount > 0) png_set_tRNS(png, info, picture.alpha.data(), alphaCount, nullptr);
    png_write_info(png, info);
    png_set_packing(png);
    png_write_image(png, rows->data());
    png_write_end(png, nullptr);
    return true;
}

// libpng's state for one read or write, destroyed on every way out: a
// failure that libpng reports, and a std::bad_alloc from our own vectors.
template <bool Write> class PngState {
public:
    explicit PngState(PngErrors* errors) {
        if constexpr (Write)
            png = png_create_write_struct(PNG_LIBPNG_VER_STRING, errors, OnPngError, OnPngWarning);
        else
            png = png_create_read_struct(PNG_LIBPNG_VER_STRING, errors, OnPngError, OnPngWarning);
        info = png ? png_create_info_struct(png) : nullptr;
    }
    ~PngState() {
        if constexpr (Write)
            png_destroy_write_struct(&png, &info);
        else
            png_destroy_read_struct(&png, &info, nullptr);
    }
    PngState(const PngState&) = delete;
    PngState& operator=(const PngState&) = delete;

    png_structp png;
    png_infop info;
};

bool Read(const std::uint8_t* data, std::size_t size, PictureLimit limit, bool pixels,
          IndexedPicture* picture, std::string* error) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        *error = "not a PNG file";
        return false;
    }
    PngErrors errors{};
    std::vector<png_bytep> rows;
    bool read = false;
    {
        PngState<false> state(&errors);
        if (!state.info) {
            *error = "not enough memory";
            return false;
        }
        MemoryReader reader{data, size, 0};
        read = ReadWithPng(state.png, state.info, &reader, limit, pixels, picture, &rows, &errors);
    }
    if (!read) {
        *error = errors.text;
        return false;
    }
    const std::size_t entries = picture->alpha.size();
    for (std::size_t i = 0; i < picture->pixels.size(); ++i) {
        if (picture->pixels[i] >= entries) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "pixel (%zu, %zu) has index %u, outside the palette of %zu colours",
                          i % picture->width, i / picture->width, unsigned(picture->pixels[i]),
                          entries);
            *error = text;
            return false;
        }
    }
    return true;
}

} // namespace

bool ReadIndexedPng(const std::uint8_t* data, std::size_t size, PictureLimit limit,
                    IndexedPicture* picture, std::string* error) {
    return Read(data, size, limit, true, picture, error);
}

bool ReadPngPalette(const std::uint8_t* data, std::size_t size, IndexedPicture* picture,
                    std::string* error) {
    return Read(data, size, {0, 0, ""}, false, picture, error);
}

bool WriteIndexedPng(const IndexedPicture& picture, unsigned bitDepth,
                     std::vector<std::uint8_t>* file, std::string* error) {
    const int count = int(picture.palette.size() / 3);
    png_color entries[256];
    for (int i = 0; i < count && i < 256; ++i)
        entries[i] = {picture.palette[3 * i], picture.palette[3 * i + 1],
                      picture.palette[3 * i + 2]};
    // The transparency chunk ends with the last entry that is not opaque.
    int alphaCount = std::min(int(picture.alpha.size()), count);
    while (alphaCount > 0 && picture.alpha[std::size_t(alphaCount) - 1] == 255) --alphaCount;

    std::vector<png_bytep> rows(picture.height);
    for (std::uint32_t y = 0; y < picture.height; ++y)
        rows[y] = const_cast<png_bytep>(picture.pixels.data() + std::size_t(y) * picture.width);

    PngErrors errors{};
    file->clear();
    bool written = false;
    {
        PngState<true> state(&errors);
        if (!state.info) {
            *error = "not enough memory";
            return false;
        }
        written = count >= 1 && count <= 256 &&
                  WriteWithPng(state.png, state.info, picture, bitDepth, entries, count, alphaCount,
                               file, &rows);
    }
    if (!written) *error = count < 1 || count > 256 ? "a palette of 1 to 256 colours" : errors.text;
    return written;
}

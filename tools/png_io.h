// Indexed PNG pictures for the host tools, through libpng.
//
// ReadIndexedPng accepts only palette pictures (1, 2, 4 or 8 bits a pixel,
// interlaced or not) and gives one byte a pixel, the palette, and the alpha
// of each palette entry from the transparency chunk (255 where it gives
// none). Every pixel's index is checked against the palette. Any damage that
// libpng finds (a bad signature or checksum, a truncated file, a chunk out of
// order) fails the read with libpng's own words. ReadPngPalette reads only
// as far as the palette and the transparency chunk, so that a picture's size
// costs it nothing.
//
// WriteIndexedPng writes such a picture at the bit depth asked for, with a
// transparency chunk when some entry's alpha is below 255. It writes the
// indices as given, also ones outside the palette (the tools' tests make
// such pictures on purpose).
//
// Running out of memory fails a call with "not enough memory" or, from the
// picture's own vectors, with std::bad_alloc; libpng's state is freed on
// every way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct IndexedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;  // width * height indices, rows top to bottom
    std::vector<std::uint8_t> palette; // 3 bytes (red, green, blue) an entry, 1 to 256 entries
    std::vector<std::uint8_t> alpha;   // one byte an entry; 255 opaque, 0 transparent
    unsigned bitDepth = 8;             // as read; 1, 2, 4 or 8
};

// The largest picture ReadIndexedPng takes on (larger ones are refused from
// their header, before any pixel is read).
struct PictureLimit {
    std::uint32_t width;
    std::uint32_t height;
    const char* holder; // for the message: "larger than <holder> (W x H)"
};

// False, with the reason in `error`, for anything but a sound indexed
// picture within `limit`.
bool ReadIndexedPng(const std::uint8_t* data, std::size_t size, PictureLimit limit,
                    IndexedPicture* picture, std::string* error);

// The palette, transparency, size and depth of an indexed picture; no pixel
// is read (picture->pixels is left empty) and no size is refused. False, with
// the reason, for anything but an indexed picture whose chunks up to the
// pixel data are sound.
bool ReadPngPalette(const std::uint8_t* data, std::size_t size, IndexedPicture* picture,
                    std::string* error);

// The picture as a PNG file; false, with the reason, when libpng refuses.
bool WriteIndexedPng(const IndexedPicture& picture, unsigned bitDepth,
                     std::vector<std::uint8_t>* file, std::string* error);

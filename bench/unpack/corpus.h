// The data the unpacking and packing benchmarks share: the license texts
// under /usr/share/common-licenses (joined), a few programs from /usr/bin,
// an image file from a Debian package if one is found, and a generated 8-bit
// picture (320 x 200 frames: gradients, flat shapes, dither noise). Each file
// is cut at 4 MiB. Items whose files are missing are left out; the generated
// picture is always there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CorpusItem {
    std::string name;
    std::vector<std::uint8_t> data;
};

// Reads and generates the corpus, in the same order on every call.
std::vector<CorpusItem> LoadCorpus();

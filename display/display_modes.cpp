// Choosing a record of the shell's display-mode table: by resolution and
// depth, by mode number, or by the text a player types. Needs no Windows, so
// that the host build tests it.
#include "display/display.h"

namespace {

// Reads a decimal (or, after "0x", hexadecimal) number of at most 8 digits
// from `text`; advances `text` past it. False when there is no digit.
bool ReadNumber(const char*& text, std::uint32_t base, std::uint32_t* value) {
    std::uint32_t result = 0;
    int digits = 0;
    for (;; ++text, ++digits) {
        const char c = *text;
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            break;
        if (digits == 8) return false; // more than any mode has; no overflow
        result = result * base + digit;
    }
    *value = result;
    return digits > 0;
}

} // namespace

const DisplayModeRecord* FindDisplayMode(std::uint32_t width, std::uint32_t height,
                                         std::uint32_t bitsPerPixel) {
    if (bitsPerPixel == 0) return nullptr; // the invalid-mode records
    for (const DisplayModeRecord& mode : DisplayModeTable) {
        if (mode.width == width && mode.height == height && mode.bitsPerPixel == bitsPerPixel)
            return &mode;
    }
    return nullptr;
}

const DisplayModeRecord* FindDisplayModeNumber(std::uint32_t videoModeNumber) {
    if (videoModeNumber == 0) return nullptr; // the modes without a number
    for (const DisplayModeRecord& mode : DisplayModeTable) {
        if (mode.videoModeNumber == videoModeNumber) return &mode;
    }
    return nullptr;
}

const DisplayModeRecord* ParseDisplayMode(const char* text) {
    if (text == nullptr) return nullptr;
    std::uint32_t first;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
        if (!ReadNumber(text, 16, &first) || *text != '\0') return nullptr;
        return FindDisplayModeNumber(first);
    }
    std::uint32_t second;
    if (!ReadNumber(text, 10, &first) || (*text != 'x' && *text != 'X')) return nullptr;
    ++text;
    if (!ReadNumber(text, 10, &second) || *text != '\0') return nullptr;
    return FindDisplayMode(first, second, 8);
}

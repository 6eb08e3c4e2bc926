// The keyboard hook and the key-state table it keeps.
#include "shell/shell.h"

std::uint8_t keyStates[256];
std::uint8_t keyModifiers;
std::uint8_t extendedKey;
std::uint8_t lastKey;
std::uint8_t pendingKey;
std::uint8_t pendingModifiers;

// UK layout by key index, sixteen indices a line. The pound sign is 0x9C, its
// place in the OEM code page 437.
// clang-format off
constexpr std::uint8_t keyCharsUnshifted[128] = {
    //   0     1     2     3     4     5     6     7     8     9     A     B     C     D     E     F
    0x00, 0x00, '1',  '2',  '3',  '4',  '5',  '6',  '7',  '8',  '9',  '0',  '-',  '=',  0x08, 0x09, // 0x00
    'q',  'w',  'e',  'r',  't',  'y',  'u',  'i',  'o',  'p',  '[',  ']',  0x00, 0x00, 'a',  's',  // 0x10
    'd',  'f',  'g',  'h',  'j',  'k',  'l',  ';',  '\'', '`',  0x00, '#',  'z',  'x',  'c',  'v',  // 0x20
    'b',  'n',  'm',  ',',  '.',  '/',  0x00, '*',  0x00, ' ',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x30
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, '-',  0x00, 0x00, 0x00, '+',  0x00, // 0x40
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, '\\', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x50
    '/',  0x00, 0x00, '(',  ')',  '/',  '*',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x60
    0x00, '.',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x70
};

constexpr std::uint8_t keyCharsShifted[128] = {
    //   0     1     2     3     4     5     6     7     8     9     A     B     C     D     E     F
    0x00, 0x00, '!',  '"',  0x9C, '$',  '%',  '^',  '&',  '*',  '(',  ')',  '_',  '+',  0x08, 0x09, // 0x00
    'Q',  'W',  'E',  'R',  'T',  'Y',  'U',  'I',  'O',  'P',  '{',  '}',  0x00, 0x00, 'A',  'S',  // 0x10
    'D',  'F',  'G',  'H',  'J',  'K',  'L',  ':',  '@',  '~',  0x00, '~',  'Z',  'X',  'C',  'V',  // 0x20
    'B',  'N',  'M',  '<',  '>',  '?',  0x00, '*',  0x00, ' ',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x30
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, '-',  0x00, 0x00, 0x00, '+',  0x00, // 0x40
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, '|',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x50
    '/',  0x00, 0x00, '(',  ')',  '/',  '*',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x60
    0x00, '.',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // 0x70
};
// clang-format on

namespace {

constexpr std::uint32_t KEY_FLAG_EXTENDED = 1u << 24;
constexpr std::uint32_t KEY_FLAG_RELEASE = 1u << 31;

} // namespace

LRESULT CALLBACK KeyboardHookProc(int, WPARAM, LPARAM lParam) {
    // The key-message flags are 32 bits wide; on a 64-bit host the upper half
    // of the parameter carries nothing.
    const auto flags = static_cast<std::uint32_t>(lParam);
    const auto scanCode = static_cast<std::uint8_t>(flags >> 16);
    const bool extended = (flags & KEY_FLAG_EXTENDED) != 0;

    extendedKey = extended ? 1 : 0;
    const auto key = static_cast<std::uint8_t>(scanCode + (extended ? 128 : 0));

    if (flags & KEY_FLAG_RELEASE) {
        keyStates[key] = 0;
        extendedKey = 0;
    } else {
        keyStates[key] = KEY_PRESSED;
        lastKey = key;
    }

    // A modifier's own press already counts here, its own release no longer.
    std::uint8_t modifiers = 0;
    if (keyStates[KEY_LEFT_SHIFT] || keyStates[KEY_RIGHT_SHIFT]) modifiers |= KMOD_SHIFT;
    if (keyStates[KEY_LEFT_CONTROL] || keyStates[KEY_RIGHT_CONTROL]) modifiers |= KMOD_CONTROL;
    if (keyStates[KEY_LEFT_ALT] || keyStates[KEY_RIGHT_ALT]) modifiers |= KMOD_ALT;
    keyModifiers = modifiers;

    if (keyStates[key]) keyStates[key] |= modifiers;

    // Latch the most recent press once the reader has taken the last one.
    // Releases latch too, and extended keys are never buffered.
    if (lastKey < 128 && pendingKey == 0) {
        pendingKey = lastKey;
        pendingModifiers = keyModifiers;
    }
    return 0;
}

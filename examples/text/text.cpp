// The smallest program that draws text: `text.exe FONT TEXT` loads the font
// file FONT (spritetool font makes one), draws TEXT with it into a buffer of
// its own and reports to the debugger the box of the text and the pixels it
// drew, or that FONT is no font it can use; then the frame ends the process.
#include <shell/shell.h>
#include <text/text.h>

static std::uint8_t fontFile[65536]; // the glyphs point into it
static Font font;

// Reads the whole file into fontFile and loads it: false for a missing file,
// one larger than fontFile or one that LoadFont refuses.
static bool ReadFont(const char* path) {
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = 0;
    const BOOL read = ReadFile(file, fontFile, sizeof fontFile, &size, nullptr);
    CloseHandle(file);
    return read && size < sizeof fontFile && LoadFont(fontFile, size, &font) == FONT_OK;
}

std::int32_t ProgramEntry(std::uint16_t wordCount, char** words) {
    if (wordCount != 3 || !ReadFont(words[1])) {
        OutputDebugStringA("text: no font to draw with (text.exe FONT TEXT)\n");
        return 1;
    }
    static std::uint8_t pixels[24][160];
    screenState = {&pixels[0][0], nullptr, &pixels[0][0], 160, 0, 0, 160, 24, 0};
    DrawString(font, 2, 2, words[2]); // clipped to the buffer like any sprite
    const TextSize box = MeasureString(font, words[2]);

    int drawn = 0;
    for (const auto& row : pixels)
        for (std::uint8_t pixel : row) drawn += pixel != 0;
    char report[64];
    wsprintfA(report, "text: %d x %d pixels, %d of them drawn\n", box.width, box.height, drawn);
    OutputDebugStringA(report);
    return 0;
}

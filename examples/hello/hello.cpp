// The smallest program on the shell: it draws a line into a buffer of its own
// and reports what it drew to the debugger, then the frame ends the process.
#include <graphics/graphics.h>
#include <shell/shell.h>

std::int32_t ProgramEntry(std::uint16_t wordCount, char** words) {
    static std::uint8_t pixels[8][32];
    screenState = {&pixels[0][0], nullptr, &pixels[0][0], 32, 0, 0, 32, 8, 0};
    DrawHVLine(-10, 3, 100, 3, 7); // clipped to the 32 pixels of row 3

    int drawn = 0;
    for (std::uint8_t pixel : pixels[3]) drawn += pixel == 7;
    char text[128];
    wsprintfA(text, "hello: %d words, the last is %s; %d pixels drawn\n", wordCount,
              wordCount > 0 ? words[wordCount - 1] : "", drawn);
    OutputDebugStringA(text);
    return 0;
}

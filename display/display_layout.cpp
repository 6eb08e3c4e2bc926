// Where a display shows its picture, and where the mouse is in it: whole
// numbers only, and no Windows, so that the host build tests it.
#include "display/display.h"

#include <algorithm>

namespace {

// A 16:10 picture, whose pixels the display-mode table means to be shown
// taller than wide (320 x 200 and 640 x 400 fill a 4:3 screen).
bool SixteenByTen(std::int32_t width, std::int32_t height) {
    return width > 0 && 5 * width == 8 * height;
}

DisplayLayout Centred(std::int32_t pictureWidth, std::int32_t pictureHeight, std::int32_t areaWidth,
                      std::int32_t areaHeight, std::int32_t width, std::int32_t height) {
    return {pictureWidth,
            pictureHeight,
            (areaWidth - width) / 2 - ((areaWidth - width) % 2 < 0), // rounded down
            (areaHeight - height) / 2 - ((areaHeight - height) % 2 < 0),
            width,
            height};
}

// The first of `size` screen pixels for picture pixel i of `count`.
std::int32_t Spread(std::int32_t i, std::int32_t count, std::int32_t size) {
    return static_cast<std::int32_t>(std::int64_t{i} * size / count);
}

// The picture pixel of `count` that screen pixel `at` (from the picture's
// first, any value) lies in, clamped: the inverse of Spread.
std::int32_t Unspread(std::int32_t at, std::int32_t count, std::int32_t size) {
    if (at < 0 || count <= 0) return 0;
    if (at >= size) return count - 1;
    return static_cast<std::int32_t>(((std::int64_t{at} + 1) * count - 1) / size);
}

void PicturePoint(const DisplayLayout& layout, std::int32_t clientX, std::int32_t clientY,
                  std::int32_t* x, std::int32_t* y) {
    *x = Unspread(clientX - layout.left, layout.pictureWidth, layout.width);
    *y = Unspread(clientY - layout.top, layout.pictureHeight, layout.height);
}

} // namespace

DisplayLayout FitPicture(std::int32_t pictureWidth, std::int32_t pictureHeight,
                         std::int32_t areaWidth, std::int32_t areaHeight, std::uint32_t options) {
    if (pictureWidth <= 0 || pictureHeight <= 0) return {};
    if ((options & DISPLAY_ASPECT_4_3) && SixteenByTen(pictureWidth, pictureHeight)) {
        // A 16:10 width is a multiple of 8, so three quarters of it is whole.
        const std::int32_t tall = pictureWidth / 4 * 3;
        const std::int32_t across = std::min(areaWidth / pictureWidth, areaHeight / tall);
        if (across >= 1)
            return Centred(pictureWidth, pictureHeight, areaWidth, areaHeight,
                           across * pictureWidth, across * tall);
    }
    const std::int32_t scale =
        std::max(1, std::min(areaWidth / pictureWidth, areaHeight / pictureHeight));
    return Centred(pictureWidth, pictureHeight, areaWidth, areaHeight, scale * pictureWidth,
                   scale * pictureHeight);
}

std::int32_t ScreenColumn(const DisplayLayout& layout, std::int32_t x) {
    return layout.left + Spread(x, layout.pictureWidth, layout.width);
}

std::int32_t ScreenRow(const DisplayLayout& layout, std::int32_t y) {
    return layout.top + Spread(y, layout.pictureHeight, layout.height);
}

bool EvenRows(const DisplayLayout& layout) {
    return layout.pictureHeight > 0 && layout.height % layout.pictureHeight == 0;
}

void MouseMoved(DisplayMouse* mouse, const DisplayLayout& layout, std::int32_t clientX,
                std::int32_t clientY) {
    PicturePoint(layout, clientX, clientY, &mouse->x, &mouse->y);
}

void MouseButton(DisplayMouse* mouse, const DisplayLayout& layout, std::int32_t clientX,
                 std::int32_t clientY, std::uint8_t button, bool down) {
    MouseMoved(mouse, layout, clientX, clientY);
    if (!down) {
        mouse->buttons &= static_cast<std::uint8_t>(~button);
        return;
    }
    mouse->buttons |= button;
    if (mouse->count == MOUSE_PRESSES_KEPT) {
        ++mouse->pressesLost; // the oldest are kept: they happened first
        return;
    }
    mouse->presses[(mouse->first + mouse->count) % MOUSE_PRESSES_KEPT] = {mouse->x, mouse->y,
                                                                          button};
    ++mouse->count;
}

bool TakeMousePress(DisplayMouse* mouse, MousePress* press) {
    if (mouse->count == 0) return false;
    *press = mouse->presses[mouse->first];
    mouse->first = (mouse->first + 1) % MOUSE_PRESSES_KEPT;
    --mouse->count;
    return true;
}

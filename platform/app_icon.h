// PloxWen's icon, 37 x 33 pixels: a receipt printer with a printed slip coming
// out. One design for both platforms: the window module paints these
// rectangles as Form1's icon, and platform/win32/make_icon.sh draws them into
// ploxwen.ico. Corners are inclusive; later rectangles paint over earlier
// ones, and a pixel that none covers is transparent.
#pragma once

#include <cstdint>

namespace ploxwen::icon {

struct Rect {
    int x0, y0, x1, y1;
    std::uint32_t rgb;
};

constexpr int kWidth = 37, kHeight = 33;

// One rectangle a line: make_icon.sh reads them from here.
constexpr Rect kRects[] = {
    {10, 1, 26, 12, 0x9AA5B1},   // paper edge
    {11, 2, 25, 11, 0xFFFFFF},   // paper
    {13, 4, 23, 4, 0x2B6CB0},    // printed line
    {13, 6, 21, 6, 0x2B6CB0},    // printed line, shorter
    {13, 8, 23, 8, 0x2B6CB0},    // printed line
    {3, 12, 33, 28, 0x1D2630},   // body outline, top and bottom
    {2, 13, 34, 27, 0x1D2630},   // body outline, sides (the corners stay cut)
    {3, 13, 33, 27, 0x3B4A5A},   // body
    {4, 14, 32, 18, 0x5D7186},   // top panel
    {8, 12, 28, 13, 0x1D2630},   // paper slot
    {6, 22, 19, 25, 0xF6AD55},   // label
    {28, 22, 30, 24, 0x38A169},  // power light
    {6, 30, 10, 31, 0x1D2630},   // left foot
    {26, 30, 30, 31, 0x1D2630},  // right foot
};

}  // namespace ploxwen::icon

#pragma once

#include <cmath>

// Screen measures of the window layouts are given in twips: 1440 to the inch,
// 15 to a pixel at 96 dots per inch, scaled by the screen's logical DPI.
namespace Twips {

constexpr double perInch = 1440.0;

inline int toPixels(double twips, double logicalDpi = 96.0)
{
    return static_cast<int>(std::lround(twips * logicalDpi / perInch));
}

inline double fromPixels(int pixels, double logicalDpi = 96.0)
{
    return pixels * perInch / logicalDpi;
}

} // namespace Twips

// A control's box in a window's design: twips from the corner of its
// container.
struct TwipsBox
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

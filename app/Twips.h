#pragma once

#include <QRect>

// Window geometry is laid down in twips (1/1440 inch): 15 twips make one
// pixel at 96 dpi.
namespace yz::twips {

constexpr int toPixels(int twips)
{
    return (twips + 7) / 15;
}

constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace yz::twips

#pragma once

#include <QRect>

// Window layouts are given in twips, 1/1440 inch: 15 to the pixel at 96 dpi. Qt scales pixels
// for other densities, so converting once at 96 dpi is enough.
constexpr int kTwipsPerPixel = 15;

constexpr QRect twips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}

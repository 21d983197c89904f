#pragma once
// Reading a key control's drawing in tests: its pixels, and how many of a colour lie inside it.

#include "support/vokey.h"

#include <QColor>

namespace keypixels
{

inline QRgb pixel(korvane::vokey &key, int x, int y)
{
    return key.surface().pixel(x, y);
}

// A framework colour as an opaque pixel.
constexpr QRgb solid(rb::Color c)
{
    return 0xFF000000u | c;
}

// Pixels of exactly this colour strictly inside the outline and one pixel in from the fill's edge.
inline int countInside(korvane::vokey &key, rb::Color c)
{
    int n = 0;
    for (int y = 3; y < key.Height() - 3; ++y)
        for (int x = 3; x < key.Width() - 3; ++x)
            n += pixel(key, x, y) == solid(c);
    return n;
}

} // namespace keypixels

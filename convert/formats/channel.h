// One channel of a pixel packed into an integer: where its bits are, and its
// value scaled from its own width to 8 bits.
#pragma once

#include <QtGlobal>

#include <bit>

namespace morvane::formats {

struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint64 max = 0;

    constexpr explicit Channel(quint32 m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    constexpr bool present() const { return max != 0; }
    // Rounded to the nearest of the 256 levels, so 0 and max stay 0 and 255.
    constexpr uint value(quint32 pixel) const
    {
        const quint64 v = (pixel & mask) >> shift;
        if (max == 255)
            return uint(v);
        return max == 0 ? 0 : uint((v * 255 + max / 2) / max);
    }
};

} // namespace morvane::formats

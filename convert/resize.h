// Resizing pictures for textures: the rules a user names ("pot", "max:512"),
// the size each rule gives, and the resampling itself. No window.
#pragma once

#include <QImage>
#include <QSize>
#include <QStringView>

#include <optional>

namespace morvane::convert {

// How a copy's size is told from its picture's.
struct ResizeRule {
    enum Kind {
        None,           // the size kept
        PowerOfTwo,     // each side to its nearest power of two
        PowerOfTwoUp,   // each side to the power of two at or above it
        PowerOfTwoDown, // each side to the power of two at or below it
        MaxSide,        // the longer side at most maxSide, proportions kept
        Half,           // each side halved
    } kind = None;
    int maxSide = 0; // for MaxSide: 1 to MaxSideLimit

    bool operator==(const ResizeRule &) const = default;
};

// The largest side "max:N" may name.
constexpr int MaxSideLimit = 16384;

// The rule text names: "pot", "pot-up", "pot-down", "half" or "max:N" with N
// in decimal digits from 1 to MaxSideLimit, letters in any case; nullopt for
// anything else.
std::optional<ResizeRule> parseResizeRule(QStringView text);

// The size rule gives a picture of size; an empty size comes back unchanged.
// The nearest power of two is the nearer in ratio (48 -> 64, 45 -> 32);
// powers of two go no higher than 2^30; max:N rounds the shorter side to the
// nearest pixel and never enlarges; half rounds down. Every side is at least 1.
QSize resizedSize(QSize size, const ResizeRule &rule);

// picture resampled to size with a Mitchell filter, in linear light with
// alpha-weighted colours, or on the stored values when linearValues (normal
// maps, data); opaque pictures stay opaque, grey ones grey, 16-bit ones 16-bit.
// The picture itself when size is its own; a null image when the picture is
// null, size is empty or memory runs out.
QImage resized(const QImage &picture, QSize size, bool linearValues = false);

} // namespace morvane::convert

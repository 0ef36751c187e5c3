// Colours and points of the artwork.
#pragma once

#include <cmath>
#include <cstdint>

namespace artwork {

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const Rgb &, const Rgb &) = default;
};

// 0xRRGGBB, as the palette search keys colours.
constexpr uint32_t packRgb(Rgb c)
{
    return (static_cast<uint32_t>(c.r) << 16) | (static_cast<uint32_t>(c.g) << 8) |
           static_cast<uint32_t>(c.b);
}

constexpr Rgb unpackRgb(uint32_t v)
{
    return {static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff),
            static_cast<int>(v & 0xff)};
}

// The colour the host leaves undrawn; a shape pixel never has it.
constexpr Rgb PureBlack{0, 0, 0};
// What a shape pixel that came out pure black becomes.
constexpr Rgb NudgedBlack{1, 1, 1};

struct Vec {
    double x = 0;
    double y = 0;
};

constexpr double Pi = 3.14159265358979323846;

inline double radians(double degrees)
{
    return degrees * Pi / 180.0;
}

// The point at radius and angle from centre; angles are degrees clockwise
// on the screen from +x (0 points right, 90 down, 270 up).
inline Vec polar(Vec centre, double radius, double angle)
{
    return {centre.x + radius * std::cos(radians(angle)), centre.y + radius * std::sin(radians(angle))};
}

// The angle (as polar takes it) from one point towards another.
inline double angleTowards(Vec from, Vec to)
{
    return std::atan2(to.y - from.y, to.x - from.x) * 180.0 / Pi;
}

// The centre of pixel (x, y): where a bitmap's pivot pixel sits in drawing
// coordinates.
inline Vec pixelCentre(int x, int y)
{
    return {x + 0.5, y + 0.5};
}

} // namespace artwork

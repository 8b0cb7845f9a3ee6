#pragma once

#include <cstdint>

namespace common {

// A colour by its red, green and blue parts, written as 0xRRGGBB: the one way the programs
// name a colour. Each toolkit converts it where a colour is handed over (ToQColor in
// common/qt/QtColour.h, ToColorRef in common/win32/Win32Colour.h).
class Rgb
{
public:
    constexpr Rgb() = default;
    constexpr explicit Rgb(std::uint32_t rrggbb) : m_value(rrggbb & 0xFFFFFFu) {}

    constexpr std::uint32_t value() const { return m_value; }
    constexpr int red() const { return static_cast<int>((m_value >> 16) & 0xFFu); }
    constexpr int green() const { return static_cast<int>((m_value >> 8) & 0xFFu); }
    constexpr int blue() const { return static_cast<int>(m_value & 0xFFu); }

    friend constexpr bool operator==(Rgb, Rgb) = default;

private:
    std::uint32_t m_value = 0;
};

} // namespace common

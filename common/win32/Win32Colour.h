#pragma once

#include "common/Colour.h"

#include <windows.h>

namespace common::win32 {

// The system takes colours as 0x00BBGGRR.
inline COLORREF ToColorRef(Rgb colour)
{
    return RGB(colour.red(), colour.green(), colour.blue());
}

// Dimmed but legible, as disabled texts are drawn: each channel at 100/divisor.
inline COLORREF Darker(Rgb colour, int divisor)
{
    return RGB(colour.red() * 100 / divisor, colour.green() * 100 / divisor,
               colour.blue() * 100 / divisor);
}

} // namespace common::win32

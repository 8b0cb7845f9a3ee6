#pragma once

#include <windows.h>

namespace common::win32 {

// Whether Verdana is installed; looked up once per process.
bool VerdanaInstalled();

// The programs' font: Verdana where installed, otherwise the face of the system's GUI font,
// at `points` on a display of `dpi` dots per inch (0: the screen's). The caller deletes it
// (DeleteObject).
HFONT CreateProgramFont(double points, bool bold = false, UINT dpi = 0);

// The dots per inch a window is shown at: 96 at a scale of 100 %, 144 at 150 %. Where the
// system cannot tell a window's own (before Windows 10), the screen's.
UINT WindowDpi(HWND window);

// A length of the 96-DPI layout at `dpi`.
inline int Scaled(int length, UINT dpi)
{
    return MulDiv(length, static_cast<int>(dpi), 96);
}

} // namespace common::win32

#pragma once

#include <windows.h>

namespace common::win32 {

// Whether Verdana is installed; looked up once per process.
bool VerdanaInstalled();

// The programs' font: Verdana where installed, otherwise the face of the system's GUI font,
// at `points` on the screen's resolution. The caller deletes it (DeleteObject).
HFONT CreateProgramFont(double points, bool bold = false);

} // namespace common::win32

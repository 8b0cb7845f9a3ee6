#pragma once

#include <windows.h>

namespace common {

// The number of the program's icon among its resources (cmake/windows/program.rc.in).
inline constexpr int kProgramIconId = 1;

enum class IconSize
{
    Large,
    Small
};

// The executable's own icon at the system's size for window icons (the title bar and the
// task bar take the small one, Alt+Tab the large one), drawn from the image of that size in
// the icon rather than scaled. A program without the resource (a test program) gets the
// system's application icon. Shared: valid until the process ends, never destroyed.
HICON ProgramIcon(IconSize size);

} // namespace common

#include "common/win32/ProgramIcon.h"

namespace common {

HICON ProgramIcon(IconSize size)
{
    const bool small = size == IconSize::Small;
    const int width = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    const int height = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kProgramIconId),
                             IMAGE_ICON, width, height, LR_SHARED);
    if (!icon)
        icon = LoadImageA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION), IMAGE_ICON, width,
                          height, LR_SHARED);
    return static_cast<HICON>(icon);
}

} // namespace common

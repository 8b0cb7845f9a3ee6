#include "common/win32/Fonts.h"

namespace common::win32 {

namespace {

int CALLBACK fontFound(const LOGFONTA *, const TEXTMETRICA *, DWORD, LPARAM found)
{
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

LOGFONTA verdana()
{
    LOGFONTA font{};
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, "Verdana", LF_FACESIZE);
    return font;
}

bool lookUpVerdana()
{
    LOGFONTA wanted = verdana();
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &wanted, fontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

UINT screenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

} // namespace

UINT WindowDpi(HWND window)
{
    // Looked up rather than imported, so that the programs still start where it is missing.
    using GetDpiForWindowFunction = UINT(WINAPI *)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi ? dpi : screenDpi();
}

bool VerdanaInstalled()
{
    static const bool installed = lookUpVerdana();
    return installed;
}

HFONT CreateProgramFont(double points, bool bold, UINT dpi)
{
    LOGFONTA font{};
    if (VerdanaInstalled())
        font = verdana();
    else
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = -MulDiv(static_cast<int>(points * 100 + 0.5),
                            static_cast<int>(dpi ? dpi : screenDpi()), 7200);
    font.lfWidth = 0;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    return CreateFontIndirectA(&font);
}

} // namespace common::win32

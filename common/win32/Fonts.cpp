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

} // namespace

bool VerdanaInstalled()
{
    static const bool installed = lookUpVerdana();
    return installed;
}

HFONT CreateProgramFont(double points, bool bold)
{
    LOGFONTA font{};
    if (VerdanaInstalled())
        font = verdana();
    else
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    HDC screen = GetDC(nullptr);
    font.lfHeight =
        -MulDiv(static_cast<int>(points * 100 + 0.5), GetDeviceCaps(screen, LOGPIXELSY), 7200);
    ReleaseDC(nullptr, screen);
    font.lfWidth = 0;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    return CreateFontIndirectA(&font);
}

} // namespace common::win32

#pragma once

#include "common/Bytes.h"
#include "common/win32/Window.h"

#include <windows.h>

namespace registry::win32 {

// The version window: the program's version in the caption and the release notes of that
// version, read from "R0.7.txt" in the program folder when the window is created. The notes
// are wrapped by hand already, so the window is made wide enough for their longest line.
class VersionWindow final : public common::win32::WindowBase
{
public:
    // `font` is the main window's, for a display of `dpi` dots per inch.
    VersionWindow(const common::Bytes &programFolder, HFONT font, UINT dpi);
    ~VersionWindow() override;

    // Shown, on top of the other windows.
    void show();
    // The main window's font after a change of scale; the window is fitted to it again.
    void setFont(HFONT font, UINT dpi);

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void fitWidthToNotes(HFONT font);
    int px(int length) const;

    HWND m_notes = nullptr;
    common::Bytes m_text; // the notes as shown
    UINT m_dpi;
};

} // namespace registry::win32

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
    VersionWindow(const common::Bytes &programFolder, HFONT font);
    ~VersionWindow() override;

    // Shown, on top of the other windows.
    void show();

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void fitWidthToNotes(const common::Bytes &notes, HFONT font);

    HWND m_notes = nullptr;
};

} // namespace registry::win32

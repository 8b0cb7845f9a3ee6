#pragma once

#include "common/win32/Window.h"

#include <windows.h>

namespace registry::win32 {

// A child window that holds controls over a background of its own colour: the status area and
// the five panels. What its controls tell it (commands, notifications, their colours) goes on
// to its parent, so the main window hears every control alike.
class PanelWindow final : public common::win32::WindowBase
{
public:
    PanelWindow(HWND parent, int id, const common::win32::Place &place, DWORD style,
                HBRUSH background);
    ~PanelWindow() override;

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HBRUSH m_background;
};

} // namespace registry::win32

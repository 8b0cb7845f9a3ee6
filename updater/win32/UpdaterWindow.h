#pragma once

#include "common/win32/Fonts.h"
#include "common/win32/Window.h"
#include "updater/app/UpdaterWindowBase.h"

#include <windows.h>

namespace updater {

// The "Auto Updater" window with Win32 controls: the log list, the status line, the byte
// counts and the progress bar over a background of its own drawing. Closing it runs the
// hand-over. Texts are Windows-1252 bytes and go to the ANSI controls as they are.
class Win32UpdaterWindow final : public UpdaterWindowBase, private common::win32::WindowBase
{
public:
    // Creates the window, hidden. Throws std::runtime_error when it cannot be created.
    Win32UpdaterWindow();
    ~Win32UpdaterWindow() override;
    Win32UpdaterWindow(const Win32UpdaterWindow &) = delete;
    Win32UpdaterWindow &operator=(const Win32UpdaterWindow &) = delete;

    void show();

    // UpdaterView: the log list.
    void appendLogLine(const common::Bytes &text) override;
    void removeOldestLogLine() override;
    void selectLogLine(int index) override;

    bool refreshPending() const override { return m_refreshActive; }
    // For tests: the controls.
    HWND handle() const { return hwnd(); }
    HWND logList() const { return m_log; }
    HWND statusLabel() const { return m_status; }
    HWND bytesLabel(int index) const { return m_bytes[index]; }
    HWND barFill() const { return m_fill; }
    // Whether the Verdana font was found (else the system's GUI font is used).
    bool usesVerdana() const { return common::win32::VerdanaInstalled(); }

private:
    static LRESULT CALLBACK fillProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void createFonts();
    void createControls();
    void paintBackground(HDC dc, const RECT &area) const;
    void drawItem(const DRAWITEMSTRUCT &item);
    void showProgress(const ProgressRefresh::Changes &changes) override;
    void startRefresh() override;
    void hideWindow() override { ShowWindow(hwnd(), SW_HIDE); }

    HWND m_log = nullptr;
    HWND m_status = nullptr;
    HWND m_bytes[2] = {nullptr, nullptr};
    HWND m_fill = nullptr;
    HFONT m_font = nullptr;
    HFONT m_smallFont = nullptr;
    bool m_refreshActive = false;
};

} // namespace updater

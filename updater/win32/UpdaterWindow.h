#pragma once

#include "common/win32/Fonts.h"
#include "common/win32/Window.h"
#include "updater/app/UpdaterWindowBase.h"

#include <windows.h>

namespace updater {

// The "Auto Updater" window with Win32 controls: the log list, the status line, the byte
// counts and the progress bar over a background of its own drawing. Closing it runs the
// hand-over. Texts are Windows-1252 bytes and go to the ANSI controls as they are. The
// window follows the display's scale: every position, size and font is the 96-DPI layout
// times the window's DPI / 96, and is laid out again when the window moves to another scale.
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
    // The dots per inch the window is laid out for.
    UINT dpi() const { return m_dpi; }

private:
    static LRESULT CALLBACK fillProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void createFonts();
    void createControls();
    // Lays the window and its controls out for `dpi`: the 96-DPI layout scaled, fonts at that
    // resolution. `place`: where the system asks the window to go (on a change of display).
    void applyDpi(UINT dpi, const RECT *place = nullptr);
    int scaled(int length) const { return common::win32::Scaled(length, m_dpi); }
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
    UINT m_dpi = 96;
    int m_barWidth = 0; // of the 96-DPI layout
    bool m_refreshActive = false;
};

} // namespace updater

// The Windows programs' windows at the display scale this run has (the wine prefix's
// resolution, which the suite's set-up chose): laid out for that scale, and no text wider or
// taller than the control that shows it, measured with the control's own font.
#include "common/win32/Fonts.h"
#include "tests/support/Win32Loop.h"
#include "updater/win32/UpdaterWindow.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using common::win32::Scaled;
using updater::Win32UpdaterWindow;

// The resolution the set-up gave the prefix; 96 when the test runs on its own.
UINT expectedDpi()
{
    const char *dpi = std::getenv("TALMORA_EXPECTED_DPI");
    return dpi ? static_cast<UINT>(std::atoi(dpi)) : 96;
}

SIZE clientSize(HWND window)
{
    RECT area{};
    GetClientRect(window, &area);
    return {area.right - area.left, area.bottom - area.top};
}

// The size of `text` in the font `control` holds.
SIZE textSize(HWND control, const std::string &text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

std::string textOf(HWND control)
{
    char text[512] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

TEST(UpdaterWindowAtScale, FollowsTheDisplaysScaleAndEveryTextFits)
{
    const UINT dpi = expectedDpi();
    Win32UpdaterWindow window;
    ASSERT_EQ(common::win32::WindowDpi(window.handle()), dpi) << "the prefix's resolution";
    EXPECT_EQ(window.dpi(), dpi);
    const SIZE client = clientSize(window.handle());
    EXPECT_EQ(client.cx, Scaled(Win32UpdaterWindow::kWidth, dpi));
    EXPECT_EQ(client.cy, Scaled(Win32UpdaterWindow::kHeight, dpi));

    // The widest texts of a real pass.
    window.setStatusText("Status: Downloading: Eastmarch.map - 100%");
    window.setBytesText("1023.9/1023.9 MB - 1023.9MB/s");
    window.setBarWidth(295);
    window.appendLogLine("Checking Version...");
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !window.refreshPending(); }, 5000));

    const HWND labels[] = {window.statusLabel(), window.bytesLabel(0), window.bytesLabel(1)};
    for (HWND label : labels) {
        const std::string text = textOf(label);
        const SIZE size = textSize(label, text);
        const SIZE box = clientSize(label);
        EXPECT_LE(size.cx, box.cx) << text;
        EXPECT_LE(size.cy, box.cy) << text;
        // The font grows with the scale: a line is at least 8 pixels high per 96 DPI.
        EXPECT_GE(size.cy, Scaled(8, dpi)) << text;
    }
    const LRESULT lineHeight = SendMessageA(window.logList(), LB_GETITEMHEIGHT, 0, 0);
    EXPECT_GE(lineHeight, textSize(window.logList(), "Checking Version...").cy);
    EXPECT_EQ(clientSize(window.barFill()).cx, Scaled(295, dpi));
}

} // namespace

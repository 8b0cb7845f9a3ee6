// The Windows programs' windows at the display scale this run has (the wine prefix's
// resolution, which the suite's set-up chose): laid out for that scale, and no text wider or
// taller than the control that shows it, measured with the control's own font.
#include "common/win32/Fonts.h"
#include "registry/app/WindowLayout.h"
#include "registry/win32/MainWindow.h"
#include "tests/support/Win32Loop.h"
#include "updater/win32/UpdaterWindow.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <string>
#include <vector>

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

std::wstring classOf(HWND control)
{
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    return name;
}

BOOL CALLBACK collectTextControl(HWND child, LPARAM list)
{
    const std::wstring name = classOf(child);
    if (GetWindowTextLengthW(child) > 0 && (name == L"Static" || name == L"Button"))
        reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
    return TRUE;
}

// Every control of `top` that shows a text of its own: the window's captions, check boxes and
// label-buttons (owner-drawn buttons; the boxes and lists scroll what does not fit).
std::vector<HWND> textControls(HWND top)
{
    std::vector<HWND> found;
    EnumChildWindows(top, collectTextControl, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The room `control`'s text takes, with the control's own font, wrapped as the control wraps
// it: captions at their width, check boxes beside their box, label-buttons on one line.
RECT textRoom(HWND control, UINT dpi, LONG width)
{
    const std::wstring name = classOf(control);
    const bool caption = name == L"Static";
    const bool box =
        name == L"Button" && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) != BS_OWNERDRAW;
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    RECT room{0, 0, box ? width - Scaled(16, dpi) : width, 0};
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &room,
              DT_CALCRECT | DT_NOPREFIX | (caption ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (box)
        room.right += Scaled(16, dpi);
    return room;
}

void expectEveryTextFits(HWND top, UINT dpi)
{
    const std::vector<HWND> controls = textControls(top);
    ASSERT_GT(controls.size(), 40u);
    for (HWND control : controls) {
        wchar_t text[256] = {};
        GetWindowTextW(control, text, 256);
        const SIZE box = clientSize(control);
        const RECT room = textRoom(control, dpi, box.cx);
        const std::wstring shown = text;
        EXPECT_LE(room.right, box.cx) << std::string(shown.begin(), shown.end());
        EXPECT_LE(room.bottom, box.cy) << std::string(shown.begin(), shown.end());
        // The font grows with the scale: a line is at least 8 pixels high per 96 DPI.
        EXPECT_GE(room.bottom, Scaled(8, dpi)) << std::string(shown.begin(), shown.end());
    }
}

TEST(RegistryWindowAtScale, FollowsTheDisplaysScaleAndEveryTextFits)
{
    const UINT dpi = expectedDpi();
    registry::win32::MainWindow window("");
    ASSERT_EQ(common::win32::WindowDpi(window.hwnd()), dpi) << "the prefix's resolution";
    EXPECT_EQ(window.dpi(), dpi);
    const SIZE client = clientSize(window.hwnd());
    EXPECT_EQ(client.cx, Scaled(registry::kClientWidth, dpi));
    EXPECT_EQ(client.cy, Scaled(registry::kClientHeight, dpi));
    expectEveryTextFits(window.hwnd(), dpi);
}

// On a display whose work area is smaller than the layout at its scale (a laptop at 150 %),
// the window opens inside the work area, as large as it can, but no smaller than its
// smallest size.
TEST(RegistryWindowAtScale, OpensWithinASmallWorkArea)
{
    // The work area is the whole session's: only in a prefix of its own, where the layout
    // is larger than a laptop's screen too.
    const UINT dpi = expectedDpi();
    if (dpi == 96)
        GTEST_SKIP() << "runs in the prefixes at 144 and 192 DPI";
    const auto frameOf = [](int width, int height) {
        RECT frame{0, 0, width, height};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, TRUE);
        return SIZE{frame.right - frame.left, frame.bottom - frame.top};
    };
    const SIZE least =
        frameOf(Scaled(registry::kMinClientWidth, dpi), Scaled(registry::kMinClientHeight, dpi));
    const SIZE full =
        frameOf(Scaled(registry::kClientWidth, dpi), Scaled(registry::kClientHeight, dpi));
    // Narrower than the smallest width, and a height between the smallest and the full one.
    const RECT laptop{0, 0, 1366, (least.cy + full.cy) / 2};
    RECT saved{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0));
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, const_cast<RECT *>(&laptop), 0));
    registry::win32::MainWindow window("");
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    RECT frame{};
    GetWindowRect(window.hwnd(), &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(frame.right - frame.left, least.cx);
    EXPECT_EQ(frame.bottom, laptop.bottom);
}

// The window moved to a display of another scale: the system sends the new resolution and
// the place it suggests; fonts, places and the smallest size follow.
TEST(RegistryWindowAtScale, FollowsAChangeOfScale)
{
    registry::win32::MainWindow window("");
    const UINT dpi = window.dpi() == 192 ? 96 : 192;
    RECT frame{0, 0, Scaled(registry::kClientWidth, dpi), Scaled(registry::kClientHeight, dpi)};
    AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongPtrW(window.hwnd(), GWL_STYLE)), TRUE);
    OffsetRect(&frame, 10 - frame.left, 10 - frame.top);
    SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&frame));
    EXPECT_EQ(window.dpi(), dpi);
    const HWND list = window.control(registry::IdServerList);
    RECT place{};
    GetWindowRect(list, &place);
    MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT *>(&place), 2);
    EXPECT_EQ(place.left, Scaled(2 * registry::kWindowMargin + registry::kLeftColumnWidth, dpi));
    EXPECT_EQ(place.top, Scaled(registry::kWindowMargin, dpi));
    expectEveryTextFits(window.hwnd(), dpi);
    // The chat log, which draws its own text, has the new font as every other control.
    EXPECT_EQ(SendMessageW(window.control(registry::IdChat), WM_GETFONT, 0, 0),
              SendMessageW(window.control(registry::IdUsers), WM_GETFONT, 0, 0));

    MINMAXINFO limits{};
    SendMessageW(window.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    RECT smallest{0, 0, Scaled(registry::kMinClientWidth, dpi),
                  Scaled(registry::kMinClientHeight, dpi)};
    AdjustWindowRect(&smallest, static_cast<DWORD>(GetWindowLongPtrW(window.hwnd(), GWL_STYLE)),
                     TRUE);
    EXPECT_EQ(limits.ptMinTrackSize.x, smallest.right - smallest.left);
}

} // namespace

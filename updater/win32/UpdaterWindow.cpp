#include "updater/win32/UpdaterWindow.h"

#include "common/win32/Fonts.h"
#include "common/win32/Win32Colour.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/WindowText.h"
#include "updater/app/StatusFit.h"
#include "updater/flow/Progress.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace updater {

namespace {

using common::Rgb;
using common::win32::ToColorRef;

constexpr const char *kClassName = "TalmoraAutoUpdater";
constexpr const char *kFillClassName = "TalmoraAutoUpdaterBar";
constexpr UINT_PTR kRefreshTimer = 1;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

constexpr RECT kLogFrame = {8, 8, 8 + Win32UpdaterWindow::kWidth - 16, 8 + 64};
constexpr int kBarLeft = 9;
constexpr int kBarTop = 95;
constexpr int kBarHeight = 15;

COLORREF mix(COLORREF from, COLORREF to, double t)
{
    const auto channel = [t](int a, int b) { return static_cast<BYTE>(a + (b - a) * t + 0.5); };
    return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
               channel(GetBValue(from), GetBValue(to)));
}

// The background runs from a warm brown at the top through a dark blue to near black, over a
// window `height` pixels high.
COLORREF backgroundAt(int y, int height)
{
    const double t = (y + 0.5) / height;
    if (t <= 0.6)
        return mix(ToColorRef(Rgb(0x2f241e)), ToColorRef(Rgb(0x1e242f)), t / 0.6);
    return mix(ToColorRef(Rgb(0x1e242f)), ToColorRef(Rgb(0x0c1018)), (t - 0.6) / 0.4);
}

void fill(HDC dc, const RECT &area, COLORREF colour)
{
    SetDCBrushColor(dc, colour);
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void frame(HDC dc, const RECT &area, COLORREF colour)
{
    SetDCBrushColor(dc, colour);
    FrameRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// The height of a line of the log in `font`.
LPARAM lineHeight(HWND window, HFONT font)
{
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return metrics.tmHeight + 2;
}

} // namespace

Win32UpdaterWindow::Win32UpdaterWindow()
{
    if (!common::win32::RegisterWindowClass(kFillClassName, &Win32UpdaterWindow::fillProcedure,
                                            false))
        throw std::runtime_error("the window class could not be registered");
    // The list asks for its line height while it is made, so the fonts come first, at the
    // screen's resolution; applyDpi() redoes them for the window's own.
    m_dpi = common::win32::WindowDpi(nullptr);
    createFonts();
    if (!create(kClassName, true, kTitle, kStyle, 0, {})) {
        DeleteObject(m_font);
        DeleteObject(m_smallFont);
        throw std::runtime_error("the window could not be created");
    }
    createControls();
    applyDpi(common::win32::WindowDpi(hwnd()));
}

Win32UpdaterWindow::~Win32UpdaterWindow()
{
    destroy();
    DeleteObject(m_font);
    DeleteObject(m_smallFont);
}

void Win32UpdaterWindow::createFonts()
{
    m_font = common::win32::CreateProgramFont(8.25, false, m_dpi);
    m_smallFont = common::win32::CreateProgramFont(6.75, false, m_dpi);
}

void Win32UpdaterWindow::createControls()
{
    const auto child = [&](const char *className, const char *text, DWORD style) {
        HWND control = common::win32::CreateWindowWithText(
            0, className, text, WS_CHILD | WS_VISIBLE | style, {0, 0, 0, 0}, hwnd(), nullptr);
        if (!control)
            throw std::runtime_error("a control of the window could not be created");
        return control;
    };
    m_log = child("LISTBOX", "",
                  WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT);
    m_status = child("STATIC", kDesignStatus, SS_OWNERDRAW);
    // Two labels with one text: a shadow and the text above it.
    m_bytes[0] = child("STATIC", kDesignBytes, SS_OWNERDRAW);
    m_bytes[1] = child("STATIC", kDesignBytes, SS_OWNERDRAW);
    // The filled part of the bar; the empty track is part of the background.
    m_fill = child(kFillClassName, "", 0);
}

void Win32UpdaterWindow::applyDpi(UINT dpi, const RECT *place)
{
    if (dpi != m_dpi) {
        DeleteObject(m_font);
        DeleteObject(m_smallFont);
        m_dpi = dpi;
        createFonts();
    }
    RECT outer = {0, 0, scaled(kWidth), scaled(kHeight)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
    const UINT keep =
        place ? SWP_NOZORDER | SWP_NOACTIVATE : SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(hwnd(), nullptr, place ? place->left : 0, place ? place->top : 0,
                 outer.right - outer.left, outer.bottom - outer.top, keep);

    const auto put = [this](HWND control, int x, int y, int width, int height) {
        MoveWindow(control, scaled(x), scaled(y), scaled(width), scaled(height), FALSE);
    };
    // The list sits inside a frame the background draws.
    put(m_log, kLogFrame.left + 1, kLogFrame.top + 1, kLogFrame.right - kLogFrame.left - 2,
        kLogFrame.bottom - kLogFrame.top - 2);
    SendMessageA(m_log, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    SendMessageA(m_log, LB_SETITEMHEIGHT, 0, lineHeight(hwnd(), m_font));
    put(m_status, 9, 76, kWidth - 18, 16);
    put(m_bytes[0], 10, 115, kWidth - 18, 14);
    put(m_bytes[1], 9, 114, kWidth - 18, 14);
    // The labels draw themselves with the font they hold.
    SendMessageA(m_status, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    for (HWND label : m_bytes)
        SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(m_smallFont), FALSE);
    put(m_fill, kBarLeft, kBarTop, m_barWidth, kBarHeight);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void Win32UpdaterWindow::show()
{
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    UpdateWindow(hwnd());
}

void Win32UpdaterWindow::paintBackground(HDC dc, const RECT &area) const
{
    const int width = scaled(kWidth);
    const int height = scaled(kHeight);
    for (int y = std::max<int>(area.top, 0); y < std::min<int>(area.bottom, height); ++y)
        fill(dc, RECT{area.left, y, area.right, y + 1}, backgroundAt(y, height));
    const auto box = [this](int left, int top, int right, int bottom) {
        return RECT{scaled(left), scaled(top), scaled(right), scaled(bottom)};
    };
    frame(dc, RECT{0, 0, width, height}, ToColorRef(Rgb(0x61514b)));
    frame(dc, box(3, 3, kWidth - 3, kHeight - 3), ToColorRef(Rgb(0x4b5161)));
    frame(dc, box(kLogFrame.left, kLogFrame.top, kLogFrame.right, kLogFrame.bottom),
          ToColorRef(Rgb(0x4b5161)));
    const RECT track = box(kBarLeft, kBarTop, kBarLeft + kBarWidth, kBarTop + kBarHeight);
    fill(dc, track, ToColorRef(Rgb(0x1e242f)));
    frame(dc, track, ToColorRef(Rgb(0x4b5161)));
}

void Win32UpdaterWindow::drawItem(const DRAWITEMSTRUCT &item)
{
    HDC dc = item.hDC;
    if (item.hwndItem == m_log) {
        if (item.itemID == static_cast<UINT>(-1))
            return;
        const bool selected = (item.itemState & ODS_SELECTED) != 0;
        fill(dc, item.rcItem, selected ? ToColorRef(Rgb(0x4b5161)) : ToColorRef(Rgb(0x101820)));
        const common::Bytes text =
            common::win32::ListBoxString(m_log, static_cast<int>(item.itemID));
        if (text.empty())
            return;
        RECT area = item.rcItem;
        area.left += 2;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, selected ? ToColorRef(Rgb(0xffffff)) : ToColorRef(Rgb(0xc2ad9a)));
        HGDIOBJ old = SelectObject(dc, m_font);
        common::win32::DrawTextBytes(dc, text, area,
                                     DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP);
        SelectObject(dc, old);
        return;
    }
    // The labels: the background behind them, then their text.
    POINT origin = {0, 0};
    MapWindowPoints(item.hwndItem, hwnd(), &origin, 1);
    POINT previous;
    SetViewportOrgEx(dc, -origin.x, -origin.y, &previous);
    RECT behind = item.rcItem;
    OffsetRect(&behind, origin.x, origin.y);
    paintBackground(dc, behind);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);

    const common::Bytes text = common::win32::GetText(item.hwndItem);
    SetBkMode(dc, TRANSPARENT);
    RECT area = item.rcItem;
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
    if (item.hwndItem == m_status) {
        SetTextColor(dc, ToColorRef(Rgb(0xe6dccf)));
        // A long file name gives up its folders rather than the percentage.
        const common::Bytes shown =
            FitStatusText(text, area.right - area.left, [dc](const common::Bytes &candidate) {
                return common::win32::TextWidth(dc, candidate);
            });
        common::win32::DrawTextBytes(dc, shown, area,
                                     DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
        SelectObject(dc, old);
        return;
    }
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_RIGHT;
    if (item.hwndItem == m_bytes[1]) {
        // The shadow label shows below and right of this one; the part it covers is drawn here.
        RECT shadow = area;
        OffsetRect(&shadow, scaled(1), scaled(1));
        SetTextColor(dc, ToColorRef(Rgb(0x000000)));
        common::win32::DrawTextBytes(dc, text, shadow, format);
        SetTextColor(dc, ToColorRef(Rgb(0x9aadc2)));
    } else {
        SetTextColor(dc, ToColorRef(Rgb(0x000000)));
    }
    common::win32::DrawTextBytes(dc, text, area, format);
    SelectObject(dc, old);
}

void Win32UpdaterWindow::appendLogLine(const common::Bytes &text)
{
    common::win32::AddListBoxString(m_log, text);
}

void Win32UpdaterWindow::removeOldestLogLine()
{
    SendMessageA(m_log, LB_DELETESTRING, 0, 0);
}

void Win32UpdaterWindow::selectLogLine(int index)
{
    // Selecting also scrolls the line into view.
    SendMessageA(m_log, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32UpdaterWindow::showProgress(const ProgressRefresh::Changes &changes)
{
    if (changes.status) {
        common::win32::SetText(m_status, *changes.status);
        InvalidateRect(m_status, nullptr, FALSE);
    }
    if (changes.bytes) {
        for (HWND label : m_bytes) {
            common::win32::SetText(label, *changes.bytes);
            InvalidateRect(label, nullptr, FALSE);
        }
    }
    if (changes.barWidth) {
        m_barWidth = *changes.barWidth;
        SetWindowPos(m_fill, nullptr, 0, 0, scaled(m_barWidth), scaled(kBarHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Win32UpdaterWindow::startRefresh()
{
    if (SetTimer(hwnd(), kRefreshTimer, kRefreshMs, nullptr))
        m_refreshActive = true;
}

LRESULT Win32UpdaterWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT draws all of it
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd(), &paint);
        paintBackground(dc, paint.rcPaint);
        EndPaint(hwnd(), &paint);
        return 0;
    }
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT *>(lParam)->itemHeight =
            static_cast<UINT>(lineHeight(hwnd(), m_font));
        return TRUE;
    case WM_DPICHANGED:
        applyDpi(HIWORD(wParam), reinterpret_cast<const RECT *>(lParam));
        return 0;
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        return TRUE;
    case WM_CTLCOLORLISTBOX:
        SetDCBrushColor(reinterpret_cast<HDC>(wParam), ToColorRef(Rgb(0x101820)));
        return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    case WM_TIMER:
        if (wParam == kRefreshTimer) {
            KillTimer(hwnd(), kRefreshTimer);
            m_refreshActive = false;
            applyProgress();
            return 0;
        }
        break;
    case WM_CLOSE:
        // Closing at any moment runs the hand-over, which ends the program; the window goes
        // at once.
        userClosed();
        if (!ending())
            ShowWindow(hwnd(), SW_HIDE);
        common::RearmCoreTimers();
        return 0;
    default:
        break;
    }
    return WindowBase::onMessage(message, wParam, lParam);
}

LRESULT CALLBACK Win32UpdaterWindow::fillProcedure(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    if (message != WM_PAINT)
        return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    const int height = area.bottom - area.top;
    for (int y = 0; y < height; ++y)
        fill(dc, RECT{area.left, y, area.right, y + 1},
             mix(ToColorRef(Rgb(0x8fb3d9)), ToColorRef(Rgb(0x3c6c9e)), (y + 0.5) / height));
    EndPaint(window, &paint);
    return 0;
}

} // namespace updater

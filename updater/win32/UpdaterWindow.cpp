#include "updater/win32/UpdaterWindow.h"

#include "common/win32/MessageWindow.h"
#include "common/win32/ProgramIcon.h"
#include "updater/flow/Progress.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace updater {

namespace {

constexpr const char *kClassName = "TalmoraAutoUpdater";
constexpr const char *kFillClassName = "TalmoraAutoUpdaterBar";
constexpr const char *kTitle = "Auto Updater";
constexpr UINT_PTR kRefreshTimer = 1;

constexpr RECT kLogFrame = {8, 8, 8 + Win32UpdaterWindow::kWidth - 16, 8 + 64};
constexpr int kBarLeft = 9;
constexpr int kBarTop = 95;
constexpr int kBarHeight = 15;

constexpr COLORREF rgb(unsigned value)
{
    return RGB((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
}

COLORREF mix(COLORREF from, COLORREF to, double t)
{
    const auto channel = [t](int a, int b) { return static_cast<BYTE>(a + (b - a) * t + 0.5); };
    return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
               channel(GetBValue(from), GetBValue(to)));
}

// The background runs from a warm brown at the top through a dark blue to near black.
COLORREF backgroundAt(int y)
{
    const double t = (y + 0.5) / Win32UpdaterWindow::kHeight;
    if (t <= 0.6)
        return mix(rgb(0x2f241e), rgb(0x1e242f), t / 0.6);
    return mix(rgb(0x1e242f), rgb(0x0c1018), (t - 0.6) / 0.4);
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

int CALLBACK fontFound(const LOGFONTA *, const TEXTMETRICA *, DWORD, LPARAM found)
{
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

HFONT createFont(const LOGFONTA &base, double points)
{
    LOGFONTA font = base;
    HDC screen = GetDC(nullptr);
    font.lfHeight =
        -MulDiv(static_cast<int>(points * 100 + 0.5), GetDeviceCaps(screen, LOGPIXELSY), 7200);
    ReleaseDC(nullptr, screen);
    font.lfWidth = 0;
    return CreateFontIndirectA(&font);
}

bool registerClasses(WNDPROC main, WNDPROC bar)
{
    static const bool registered = [main, bar] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = main;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hIcon = common::ProgramIcon(common::IconSize::Large);
        windowClass.hIconSm = common::ProgramIcon(common::IconSize::Small);
        windowClass.lpszClassName = kClassName;
        if (!RegisterClassExA(&windowClass))
            return false;
        windowClass.lpfnWndProc = bar;
        windowClass.hIcon = nullptr;
        windowClass.hIconSm = nullptr;
        windowClass.lpszClassName = kFillClassName;
        return RegisterClassExA(&windowClass) != 0;
    }();
    return registered;
}

std::string windowText(HWND window)
{
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

Win32UpdaterWindow::Win32UpdaterWindow()
{
    if (!registerClasses(&Win32UpdaterWindow::procedure, &Win32UpdaterWindow::fillProcedure))
        throw std::runtime_error("the window class could not be registered");
    createFonts();
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT outer = {0, 0, kWidth, kHeight};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    m_window = CreateWindowExA(0, kClassName, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                               outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                               GetModuleHandleA(nullptr), this);
    if (!m_window) {
        DeleteObject(m_font);
        DeleteObject(m_smallFont);
        throw std::runtime_error("the window could not be created");
    }
    createControls();
}

Win32UpdaterWindow::~Win32UpdaterWindow()
{
    SetWindowLongPtrA(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
    DeleteObject(m_font);
    DeleteObject(m_smallFont);
}

void Win32UpdaterWindow::createFonts()
{
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, "Verdana", LF_FACESIZE);
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &wanted, fontFound, reinterpret_cast<LPARAM>(&m_verdana), 0);
    ReleaseDC(nullptr, screen);
    LOGFONTA base{};
    if (!m_verdana)
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof base, &base);
    else
        base = wanted;
    m_font = createFont(base, 8.25);
    m_smallFont = createFont(base, 6.75);
}

void Win32UpdaterWindow::createControls()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const auto child = [&](const char *className, const char *text, DWORD style, int x, int y,
                           int width, int height) {
        HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y,
                                       width, height, m_window, nullptr, instance, nullptr);
        if (!control)
            throw std::runtime_error("a control of the window could not be created");
        return control;
    };
    // The list sits inside a frame the background draws.
    m_log = child("LISTBOX", "",
                  WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
                  kLogFrame.left + 1, kLogFrame.top + 1, kLogFrame.right - kLogFrame.left - 2,
                  kLogFrame.bottom - kLogFrame.top - 2);
    SendMessageA(m_log, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);

    m_status = child("STATIC", kDesignStatus, SS_OWNERDRAW, 9, 76, kWidth - 18, 16);
    // Two labels with one text: a shadow and the text above it.
    m_bytes[0] = child("STATIC", kDesignBytes, SS_OWNERDRAW, 10, 115, kWidth - 18, 14);
    m_bytes[1] = child("STATIC", kDesignBytes, SS_OWNERDRAW, 9, 114, kWidth - 18, 14);
    // The filled part of the bar; the empty track is part of the background.
    m_fill = child(kFillClassName, "", 0, kBarLeft, kBarTop, 0, kBarHeight);
}

void Win32UpdaterWindow::show()
{
    ShowWindow(m_window, SW_SHOWNORMAL);
    UpdateWindow(m_window);
}

void Win32UpdaterWindow::paintBackground(HDC dc, const RECT &area) const
{
    for (int y = std::max<int>(area.top, 0); y < std::min<int>(area.bottom, kHeight); ++y)
        fill(dc, RECT{area.left, y, area.right, y + 1}, backgroundAt(y));
    frame(dc, RECT{0, 0, kWidth, kHeight}, rgb(0x61514b));
    frame(dc, RECT{3, 3, kWidth - 3, kHeight - 3}, rgb(0x4b5161));
    frame(dc, kLogFrame, rgb(0x4b5161));
    const RECT track = {kBarLeft, kBarTop, kBarLeft + kBarWidth, kBarTop + kBarHeight};
    fill(dc, track, rgb(0x1e242f));
    frame(dc, track, rgb(0x4b5161));
}

void Win32UpdaterWindow::drawItem(const DRAWITEMSTRUCT &item)
{
    HDC dc = item.hDC;
    if (item.hwndItem == m_log) {
        if (item.itemID == static_cast<UINT>(-1))
            return;
        const bool selected = (item.itemState & ODS_SELECTED) != 0;
        fill(dc, item.rcItem, selected ? rgb(0x4b5161) : rgb(0x101820));
        const auto length = SendMessageA(m_log, LB_GETTEXTLEN, item.itemID, 0);
        if (length <= 0)
            return;
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        text.resize(static_cast<std::size_t>(
            SendMessageA(m_log, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()))));
        RECT area = item.rcItem;
        area.left += 2;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, selected ? rgb(0xffffff) : rgb(0xc2ad9a));
        HGDIOBJ old = SelectObject(dc, m_font);
        DrawTextA(dc, text.data(), static_cast<int>(text.size()), &area,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP);
        SelectObject(dc, old);
        return;
    }
    // The labels: the background behind them, then their text.
    POINT origin = {0, 0};
    MapWindowPoints(item.hwndItem, m_window, &origin, 1);
    POINT previous;
    SetViewportOrgEx(dc, -origin.x, -origin.y, &previous);
    RECT behind = item.rcItem;
    OffsetRect(&behind, origin.x, origin.y);
    paintBackground(dc, behind);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);

    const std::string text = windowText(item.hwndItem);
    SetBkMode(dc, TRANSPARENT);
    RECT area = item.rcItem;
    if (item.hwndItem == m_status) {
        HGDIOBJ old = SelectObject(dc, m_font);
        SetTextColor(dc, rgb(0xe6dccf));
        DrawTextA(dc, text.data(), static_cast<int>(text.size()), &area,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
        SelectObject(dc, old);
        return;
    }
    HGDIOBJ old = SelectObject(dc, m_smallFont);
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_RIGHT;
    if (item.hwndItem == m_bytes[1]) {
        // The shadow label shows below and right of this one; the part it covers is drawn here.
        RECT shadow = area;
        OffsetRect(&shadow, 1, 1);
        SetTextColor(dc, rgb(0x000000));
        DrawTextA(dc, text.data(), static_cast<int>(text.size()), &shadow, format);
        SetTextColor(dc, rgb(0x9aadc2));
    } else {
        SetTextColor(dc, rgb(0x000000));
    }
    DrawTextA(dc, text.data(), static_cast<int>(text.size()), &area, format);
    SelectObject(dc, old);
}

void Win32UpdaterWindow::appendLogLine(const common::Bytes &text)
{
    SendMessageA(m_log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
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
        SetWindowTextA(m_status, changes.status->c_str());
        InvalidateRect(m_status, nullptr, FALSE);
    }
    if (changes.bytes) {
        for (HWND label : m_bytes) {
            SetWindowTextA(label, changes.bytes->c_str());
            InvalidateRect(label, nullptr, FALSE);
        }
    }
    if (changes.barWidth)
        SetWindowPos(m_fill, nullptr, 0, 0, *changes.barWidth, kBarHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32UpdaterWindow::startRefresh()
{
    if (SetTimer(m_window, kRefreshTimer, kRefreshMs, nullptr))
        m_refreshActive = true;
}

LRESULT CALLBACK Win32UpdaterWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        auto *self = static_cast<Win32UpdaterWindow *>(create->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<Win32UpdaterWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->dispatch(message, wParam, lParam);
}

LRESULT Win32UpdaterWindow::dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT draws all of it
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_window, &paint);
        paintBackground(dc, paint.rcPaint);
        EndPaint(m_window, &paint);
        return 0;
    }
    case WM_MEASUREITEM: {
        auto *measure = reinterpret_cast<MEASUREITEMSTRUCT *>(lParam);
        HDC dc = GetDC(m_window);
        HGDIOBJ old = SelectObject(dc, m_font);
        TEXTMETRICA metrics;
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(m_window, dc);
        measure->itemHeight = static_cast<UINT>(metrics.tmHeight + 2);
        return TRUE;
    }
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        return TRUE;
    case WM_CTLCOLORLISTBOX:
        SetDCBrushColor(reinterpret_cast<HDC>(wParam), rgb(0x101820));
        return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    case WM_TIMER:
        if (wParam == kRefreshTimer) {
            KillTimer(m_window, kRefreshTimer);
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
            ShowWindow(m_window, SW_HIDE);
        common::RearmCoreTimers();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(m_window, message, wParam, lParam);
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
    for (int y = 0; y < kBarHeight; ++y)
        fill(dc, RECT{area.left, y, area.right, y + 1},
             mix(rgb(0x8fb3d9), rgb(0x3c6c9e), (y + 0.5) / kBarHeight));
    EndPaint(window, &paint);
    return 0;
}

} // namespace updater

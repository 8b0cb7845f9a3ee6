#include "registry/win32/LabelButton.h"

#include "common/win32/Win32Colour.h"
#include "common/win32/WindowText.h"
#include "registry/app/WindowDescription.h"

#include <commctrl.h>

namespace registry::win32 {

namespace {

// A button; Enter reaches it rather than the window.
LRESULT dialogCode(const MSG *key)
{
    const bool enter =
        key && key->wParam == VK_RETURN && (key->message == WM_KEYDOWN || key->message == WM_CHAR);
    return DLGC_BUTTON | (enter ? DLGC_WANTMESSAGE : 0);
}

} // namespace

LabelButton::LabelButton(HWND parent, int id, common::ByteView caption,
                         const common::win32::Place &place, HFONT font)
    : m_font(font)
{
    m_hwnd = common::win32::CreateWindowWithText(
        0, "BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, place, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    SetWindowSubclass(m_hwnd, procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

LabelButton::~LabelButton()
{
    if (!m_hwnd)
        return;
    RemoveWindowSubclass(m_hwnd, procedure, 0);
    DestroyWindow(m_hwnd);
}

LRESULT CALLBACK LabelButton::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self)
{
    auto *label = reinterpret_cast<LabelButton *>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, procedure, 0);
        label->m_hwnd = nullptr;
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return label->onMessage(message, wParam, lParam);
}

common::Rgb LabelButton::background() const
{
    return m_pressed ? kButtonPressedColour : kButtonIdleColour;
}

void LabelButton::pressed(bool down)
{
    m_pressed = down;
    InvalidateRect(hwnd(), nullptr, FALSE);
    UpdateWindow(hwnd());
}

LRESULT LabelButton::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: // a button's class tells a second press apart; the label does not
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        SetCapture(hwnd());
        pressed(true);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        // The action runs on every release that reaches the label, wherever the pointer is.
        m_pressed = false;
        if (GetCapture() == hwnd())
            ReleaseCapture();
        pressed(false);
        released();
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (m_pressed)
            pressed(false);
        return 0;
    case WM_GETDLGCODE:
        return dialogCode(reinterpret_cast<const MSG *>(lParam));
    case WM_KEYDOWN:
    case WM_KEYUP:
        return key(message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (message == WM_KILLFOCUS && m_pressed && GetCapture() != hwnd())
            pressed(false); // a key press that loses the focus is no release
        InvalidateRect(hwnd(), nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT draws all of it
    case WM_PAINT:
        paint();
        return 0;
    case WM_SETTEXT:
    case WM_ENABLE: {
        const LRESULT result = DefSubclassProc(m_hwnd, message, wParam, lParam);
        InvalidateRect(hwnd(), nullptr, FALSE);
        return result;
    }
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    default:
        return DefSubclassProc(m_hwnd, message, wParam, lParam);
    }
}

void LabelButton::released()
{
    const int id = GetDlgCtrlID(hwnd());
    SendMessageA(GetParent(hwnd()), WM_COMMAND, MAKEWPARAM(id, kReleased),
                 reinterpret_cast<LPARAM>(hwnd()));
}

LRESULT LabelButton::key(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Space and Enter press the label as the mouse does; their release is the click.
    if (wParam != VK_SPACE && wParam != VK_RETURN)
        return DefSubclassProc(m_hwnd, message, wParam, lParam);
    const bool repeat = (lParam & (LPARAM(1) << 30)) != 0;
    if (message == WM_KEYDOWN && !repeat) {
        pressed(true);
    } else if (message == WM_KEYUP && m_pressed && GetCapture() != hwnd()) {
        pressed(false);
        released();
    }
    return 0;
}

void LabelButton::paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    RECT area{};
    GetClientRect(hwnd(), &area);
    SetDCBrushColor(dc, common::win32::ToColorRef(background()));
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(hwnd()) ? common::win32::ToColorRef(kButtonTextColour)
                                             : common::win32::Darker(kButtonTextColour, 160));
    HGDIOBJ old = SelectObject(dc, m_font);
    common::win32::DrawTextBytes(dc, common::win32::GetText(hwnd()), area,
                                 DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (GetFocus() == hwnd()) {
        InflateRect(&area, -2, -2);
        DrawFocusRect(dc, &area);
    }
    SelectObject(dc, old);
    EndPaint(hwnd(), &paint);
}

} // namespace registry::win32

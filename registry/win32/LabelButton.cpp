#include "registry/win32/LabelButton.h"

#include "common/win32/Win32Colour.h"
#include "common/win32/WindowText.h"
#include "registry/app/WindowDescription.h"

namespace registry::win32 {

namespace {

constexpr const char *kClassName = "TalmoraRegistryLabelButton";

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
    create(kClassName, false, caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, place, parent,
           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

LabelButton::~LabelButton()
{
    destroy();
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
        const LRESULT result = WindowBase::onMessage(message, wParam, lParam);
        InvalidateRect(hwnd(), nullptr, FALSE);
        return result;
    }
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    default:
        return WindowBase::onMessage(message, wParam, lParam);
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
        return WindowBase::onMessage(message, wParam, lParam);
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

#include "registry/win32/PanelWindow.h"

namespace registry::win32 {

namespace {

constexpr const char *kClassName = "TalmoraRegistryPanel";

} // namespace

PanelWindow::PanelWindow(HWND parent, int id, const common::win32::Place &place, DWORD style,
                         HBRUSH background)
    : m_background(background)
{
    // Tab moves through the panel's controls as through the window's own.
    create(kClassName, false, "", WS_CHILD | style, WS_EX_CONTROLPARENT, place, parent,
           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

PanelWindow::~PanelWindow()
{
    destroy();
}

LRESULT PanelWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
        return SendMessageA(GetParent(hwnd()), message, wParam, lParam);
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(hwnd(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, m_background);
        return 1;
    }
    default:
        return WindowBase::onMessage(message, wParam, lParam);
    }
}

} // namespace registry::win32

#include "common/win32/Window.h"

#include "common/win32/ProgramIcon.h"

#include <algorithm>
#include <utility>

namespace common::win32 {

bool RegisterWindowClass(const char *name, WNDPROC procedure, bool topLevel)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    if (topLevel) {
        windowClass.hIcon = ProgramIcon(IconSize::Large);
        windowClass.hIconSm = ProgramIcon(IconSize::Small);
    }
    windowClass.lpszClassName = name;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WindowBase::~WindowBase()
{
    destroy();
}

HWND WindowBase::create(const char *className, bool topLevel, ByteView title, DWORD style,
                        DWORD exStyle, const Place &place, HWND parent, HMENU menuOrId)
{
    if (!RegisterWindowClass(className, &WindowBase::procedure, topLevel))
        return nullptr;
    // WM_NCCREATE sets m_hwnd.
    CreateWindowWithText(exStyle, className, title, style, place, parent, menuOrId, this);
    return m_hwnd;
}

void WindowBase::destroy()
{
    if (!m_hwnd)
        return;
    HWND window = m_hwnd;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    m_hwnd = nullptr;
    DestroyWindow(window);
}

LRESULT WindowBase::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *created = static_cast<WindowBase *>(
            reinterpret_cast<const CREATESTRUCTA *>(lParam)->lpCreateParams);
        if (created) {
            created->m_hwnd = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        }
    }
    auto *self = reinterpret_cast<WindowBase *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->onMessage(message, wParam, lParam);
}

RECT FitIntoWorkArea(const RECT &window, const RECT &work, SIZE minimum)
{
    const auto fit = [](LONG start, LONG length, LONG least, LONG from, LONG to) {
        length = std::max(std::min(length, to - from), least);
        // Pulled back from the far edge first, then from the near one, which wins.
        start = std::max(std::min(start, to - length), from);
        return std::pair{start, length};
    };
    const auto [left, width] =
        fit(window.left, window.right - window.left, minimum.cx, work.left, work.right);
    const auto [top, height] =
        fit(window.top, window.bottom - window.top, minimum.cy, work.top, work.bottom);
    return {left, top, left + width, top + height};
}

} // namespace common::win32

#pragma once

#include "common/Bytes.h"
#include "common/win32/WindowText.h"

#include <windows.h>

namespace common::win32 {

// Registers a window class of the program with the arrow cursor and, for the classes of
// top-level windows, the program's icon. A class registered before counts as registered.
bool RegisterWindowClass(const char *name, WNDPROC procedure, bool topLevel);

// Where a top-level window of `window`'s place goes so that it lies within `work` (the work
// area of its display): as large as it is, but no larger than the work area and no smaller
// than `minimum`; moved in so that its top left corner, with the caption, is always inside.
RECT FitIntoWorkArea(const RECT &window, const RECT &work, SIZE minimum);

// A window of one of the program's own classes whose messages go to onMessage() of the object
// it was created for: the object is found from the window through the window's user data,
// which WM_NCCREATE sets. Once the window is gone (WM_NCDESTROY), hwnd() is null and no
// message reaches the object any more.
class WindowBase
{
public:
    WindowBase(const WindowBase &) = delete;
    WindowBase &operator=(const WindowBase &) = delete;

    HWND hwnd() const { return m_hwnd; }

protected:
    WindowBase() = default;
    // Destroys the window if it is still there.
    virtual ~WindowBase();

    // Registers `className` (topLevel: with the program's icon) and creates a window of it for
    // this object. Null when either fails.
    HWND create(const char *className, bool topLevel, ByteView title, DWORD style, DWORD exStyle,
                const Place &place, HWND parent = nullptr, HMENU menuOrId = nullptr);
    // Destroys the window now. A derived window calls it from its destructor, so that the
    // messages of the destruction no longer reach a half-destroyed object.
    void destroy();

    // One message of the window; by default what the system does with it.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
};

} // namespace common::win32

#pragma once

#include "registry/app/DesktopNotifier.h"

#include <windows.h>

namespace registry::win32 {

// Word on the Windows desktop: a balloon from the program's icon in the notification area,
// the icon put there on the first word and taken away when this goes (with the window); and
// the taskbar entry flashes while the window is not in front.
class DesktopNotice final : public DesktopNotifier
{
public:
    explicit DesktopNotice(HWND window) : m_window(window) {}
    ~DesktopNotice() override;
    DesktopNotice(const DesktopNotice &) = delete;
    DesktopNotice &operator=(const DesktopNotice &) = delete;

    void notify(common::ByteView text) override;
    // Whether the icon is in the notification area now.
    bool iconShown() const { return m_iconShown; }

private:
    HWND m_window;
    bool m_iconShown = false;
};

} // namespace registry::win32

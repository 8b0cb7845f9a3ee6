#include "registry/win32/DesktopNotice.h"

#include "common/win32/ProgramIcon.h"
#include "common/win32/WindowText.h"
#include "registry/net/RegistryView.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <string>

namespace registry::win32 {

namespace {

constexpr UINT kIconId = 1;

// Copies as much of `text` as fits, always ending with a NUL.
template <std::size_t N> void copyInto(wchar_t (&to)[N], const std::wstring &text)
{
    const std::size_t length = std::min(text.size(), N - 1);
    std::wmemcpy(to, text.c_str(), length);
    to[length] = L'\0';
}

NOTIFYICONDATAW iconData(HWND window)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = kIconId;
    return data;
}

} // namespace

DesktopNotice::~DesktopNotice()
{
    if (!m_iconShown)
        return;
    NOTIFYICONDATAW data = iconData(m_window);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

void DesktopNotice::notify(common::ByteView text)
{
    NOTIFYICONDATAW data = iconData(m_window);
    data.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
    data.hIcon = common::ProgramIcon(common::IconSize::Small);
    const std::wstring title = common::win32::Widen(kProgramTitle);
    copyInto(data.szTip, title);
    copyInto(data.szInfoTitle, title);
    copyInto(data.szInfo, common::win32::Widen(text));
    data.dwInfoFlags = NIIF_INFO;
    if (m_iconShown)
        m_iconShown = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    if (!m_iconShown)
        m_iconShown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (GetForegroundWindow() != m_window) {
        FLASHWINFO flash{sizeof(flash), m_window, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
}

} // namespace registry::win32

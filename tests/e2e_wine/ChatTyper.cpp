// A Windows program for the end-to-end runs: types its argument into the chat box of the
// running Registry window and presses Enter there, by the messages a keyboard produces. It
// waits, with a cap, for the window and for the box to take input (after the login). Exit
// code 0 when the line was typed, 1 without an argument, 2 when no window showed up, 3 when
// the box stayed disabled.
#include "registry/app/WindowDescription.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kCapMs = 60000;

// Polls the other process's window state: it cannot notify this program.
template <typename Condition> bool waitFor(Condition condition)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > kCapMs)
            return false;
        Sleep(50);
    }
    return true;
}

// A key's press and release as the keyboard delivers them: repeat count 1, the key's scan
// code, and on the release the previous-state and transition bits.
void key(HWND box, WPARAM virtualKey, UINT message)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(virtualKey), 0)) << 16;
    const LPARAM upBits = message == WM_KEYUP ? (LPARAM(1) << 30) | (LPARAM(1) << 31) : 0;
    SendMessageA(box, message, virtualKey, 1 | scan | upBits);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 1;
    HWND window = nullptr;
    if (!waitFor([&] { return (window = FindWindowA("TalmoraRegistryMain", nullptr)) != nullptr; }))
        return 2;
    HWND box = nullptr;
    if (!waitFor([&] {
            box = GetDlgItem(window, registry::IdSend);
            return box && IsWindowEnabled(box) && IsWindowVisible(box);
        }))
        return 3;
    for (const char *c = argv[1]; *c; ++c)
        SendMessageA(box, WM_CHAR, static_cast<unsigned char>(*c), 1);
    key(box, VK_RETURN, WM_KEYDOWN);
    SendMessageA(box, WM_CHAR, '\r', 1);
    key(box, VK_RETURN, WM_KEYUP);
    return 0;
}

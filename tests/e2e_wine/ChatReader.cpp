// A Windows program for the end-to-end runs: waits, with a cap, until the chat log of the
// running Registry window holds a text, given as hexadecimal digits of its Windows-1252 bytes
// so that no code page stands between the run and the program. Reads the log as the window
// shows it, through the window's own messages. Exit code 0 when the text showed up, 1 for a
// bad argument, 2 when no window showed up, 4 when the text did not show up.
#include "common/win32/WindowText.h"
#include "registry/app/WindowDescription.h"

#include <windows.h>

#include <string>

namespace {

constexpr DWORD kCapMs = 60000;

bool fromHex(const char *hex, common::Bytes &out)
{
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (; hex[0] && hex[1]; hex += 2) {
        const int high = digit(hex[0]), low = digit(hex[1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return !hex[0] && !out.empty();
}

// The log as the other process's control holds it.
common::Bytes chatLog(HWND window)
{
    HWND chat = GetDlgItem(window, registry::IdChat);
    const auto length = SendMessageW(chat, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const auto copied = SendMessageW(chat, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return common::win32::Narrow(text);
}

} // namespace

int main(int argc, char **argv)
{
    common::Bytes wanted;
    if (argc < 2 || !fromHex(argv[1], wanted))
        return 1;
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    // Polls the other process's window: it cannot notify this program.
    while (GetTickCount() - start < kCapMs) {
        window = window ? window : FindWindowA("TalmoraRegistryMain", nullptr);
        if (window && chatLog(window).find(wanted) != common::Bytes::npos)
            return 0;
        Sleep(50);
    }
    return window ? 4 : 2;
}

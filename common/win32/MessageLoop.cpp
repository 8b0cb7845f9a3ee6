#include "common/win32/MessageLoop.h"

#include "common/win32/Win32CoreTimer.h"

namespace common::win32 {

int RunMessageLoop(HWND dialog)
{
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (!dialog || !IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        RearmCoreTimers();
    }
    return got < 0 ? 1 : static_cast<int>(message.wParam);
}

} // namespace common::win32

#include "updater/win32/UpdaterProgram.h"

namespace updater {

void Win32FrontEnd::endLoop()
{
    PostQuitMessage(0);
}

int RunMessageLoop()
{
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        common::RearmCoreTimers();
    }
    return got < 0 ? 1 : static_cast<int>(message.wParam);
}

} // namespace updater

#include "tests/support/Win32Loop.h"

#include <windows.h>

namespace testsupport {

void PumpPending()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool PumpUntil(const std::function<bool()> &done, int capMs, const std::function<void()> &step)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(capMs);
    for (;;) {
        if (step)
            step();
        PumpPending();
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        const DWORD wait = step ? 2 : static_cast<DWORD>(end - now);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

} // namespace testsupport

#pragma once

#include <windows.h>

namespace common::win32 {

// The program's one message loop: it runs until WM_QUIT and returns the quit message's exit
// code (1 when the loop itself failed). After every message the thread's core timers are
// re-armed (RearmCoreTimers), as the Qt loop does before it waits: whatever a handler did,
// user input included, may have changed what a core waits for. With a `dialog`, keyboard
// messages for it and its controls go through IsDialogMessage first, so that Tab and the
// other dialog keys move between its controls.
int RunMessageLoop(HWND dialog = nullptr);

} // namespace common::win32

#pragma once

#include "common/TimerArming.h"
#include "common/win32/MessageWindow.h"

namespace common {

// Runs a TimedCore from the thread's message loop with one window timer on a message-only
// window of its own. A Win32 loop cannot say when it is about to wait, so the timer is
// re-armed for the core's next deadline after each event that may change the core's state:
// after every onTimer(), after every event the Win32 adapters deliver, and after every
// message the program's loop (common/win32/MessageLoop.h) dispatches, user input included.
// Window timers are dispatched by any loop of the thread, also by a message box's, so the
// core keeps running while a message is open, and onTimer() may be re-entered from a message
// opened in onTimer() itself: the core decides what it does then.
class Win32CoreTimer
{
public:
    Win32CoreTimer(TimedCore &core, const Clock &clock);
    ~Win32CoreTimer();
    Win32CoreTimer(const Win32CoreTimer &) = delete;
    Win32CoreTimer &operator=(const Win32CoreTimer &) = delete;

    // Arms the timer for the core's next deadline now (or stops it when there is none).
    void rearm();

private:
    void fire();

    TimerArming m_arming;
    MessageWindow m_window;
};

// Re-arms every Win32CoreTimer of the calling thread for its core's next deadline. The
// adapters call it after each event they delivered to a core, the program's loop after each
// message, and a window before it opens a modal loop of its own (a message box).
void RearmCoreTimers();

} // namespace common

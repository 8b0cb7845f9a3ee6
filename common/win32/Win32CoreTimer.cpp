#include "common/win32/Win32CoreTimer.h"

#include <algorithm>
#include <vector>

namespace common {

namespace {

constexpr UINT_PTR kTimerId = 1;

// The timers of this thread, for RearmCoreTimers().
thread_local std::vector<Win32CoreTimer *> t_timers;

} // namespace

void RearmCoreTimers()
{
    // A copy: a core run from here cannot add or remove timers, but stay safe if it does.
    const std::vector<Win32CoreTimer *> timers = t_timers;
    for (Win32CoreTimer *timer : timers)
        if (std::find(t_timers.begin(), t_timers.end(), timer) != t_timers.end())
            timer->rearm();
}

Win32CoreTimer::Win32CoreTimer(TimedCore &core, const Clock &clock)
    : m_arming(core, clock), m_window([this](UINT message, WPARAM wParam, LPARAM) {
          if (message == WM_TIMER && wParam == kTimerId)
              fire();
      })
{
    t_timers.push_back(this);
    rearm();
}

Win32CoreTimer::~Win32CoreTimer()
{
    t_timers.erase(std::remove(t_timers.begin(), t_timers.end(), this), t_timers.end());
    KillTimer(m_window.handle(), kTimerId);
}

void Win32CoreTimer::rearm()
{
    // A window timer cannot say how long it has left: one armed for the deadline is trusted.
    const TimerArming::Step step = m_arming.next();
    if (step.action == TimerArming::Action::Stop) {
        KillTimer(m_window.handle(), kTimerId);
    } else if (step.action == TimerArming::Action::Start) {
        // Setting the timer again replaces the earlier one.
        if (SetTimer(m_window.handle(), kTimerId, static_cast<UINT>(step.delayMs), nullptr))
            m_arming.started();
    }
}

void Win32CoreTimer::fire()
{
    // Window timers repeat: stop it, so that the core is run again only for a deadline of
    // its own choosing.
    KillTimer(m_window.handle(), kTimerId);
    // The timer may fire early by a millisecond or so against the clock; the core then has
    // nothing due and keeps its deadline, for which the timer is armed again below.
    m_arming.fire();
    rearm();
}

} // namespace common

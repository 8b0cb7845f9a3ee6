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
    : m_core(core), m_clock(clock), m_window([this](UINT message, WPARAM wParam, LPARAM) {
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
    const std::int64_t deadline = m_core.nextDeadline();
    if (deadline < 0) {
        if (m_armedDeadline >= 0)
            KillTimer(m_window.handle(), kTimerId);
        m_armedDeadline = -1;
        return;
    }
    // Armed already for this deadline: nothing to do (this runs after every event).
    if (deadline == m_armedDeadline)
        return;
    const std::int64_t delay = std::clamp<std::int64_t>(deadline - m_clock.nowMs(), 0,
                                                        static_cast<std::int64_t>(0x7FFFFFFF));
    // Setting the timer again replaces the earlier one.
    if (SetTimer(m_window.handle(), kTimerId, static_cast<UINT>(delay), nullptr))
        m_armedDeadline = deadline;
}

void Win32CoreTimer::fire()
{
    // Window timers repeat: stop it, so that the core is run again only for a deadline of
    // its own choosing.
    KillTimer(m_window.handle(), kTimerId);
    m_armedDeadline = -1;
    // The timer may fire early by a millisecond or so against the clock; the core then has
    // nothing due and keeps its deadline, for which the timer is armed again below.
    m_core.onTimer();
    rearm();
}

} // namespace common

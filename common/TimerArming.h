#pragma once

#include "common/Clock.h"

#include <cstdint>
#include <optional>

namespace common {

// The part of running a TimedCore from one toolkit timer that needs no toolkit: it holds the
// core, the clock and the deadline the timer is armed for, and decides whether the timer is
// to be left alone, stopped or started with what delay. The Qt and Win32 adapters own the
// timer itself and do what next() says.
class TimerArming
{
public:
    enum class Action
    {
        Keep,  // the timer is armed as it should be, or nothing is armed and nothing is due
        Stop,  // the core has nothing scheduled: disarm
        Start, // (re)start the timer with `delayMs`, replacing any earlier start
    };
    struct Step
    {
        Action action = Action::Keep;
        std::int64_t delayMs = 0; // for Start: 0 up to the largest int
    };

    TimerArming(TimedCore &core, const Clock &clock) : m_core(core), m_clock(clock) {}

    // What to do so that the timer fires at the core's next deadline. `remainingMs`: the time
    // the armed timer has left as the toolkit reports it (negative when it is not running), or
    // nothing when the toolkit cannot tell; the armed timer is then trusted to fire in time. A
    // timer armed for the same deadline is restarted when it would fire later than the
    // deadline, as after the clock jumped ahead (a test's clock does).
    Step next(std::optional<std::int64_t> remainingMs = std::nullopt);
    // The timer was started as the last next() said.
    void started() { m_armedDeadline = m_pendingDeadline; }
    // The timer fired: it counts as disarmed, and the core does what has come due. A modal
    // message opened from onTimer() runs a loop of its own, where the timer may be armed and
    // fire again; which work runs inside a message is the core's decision.
    void fire();

private:
    TimedCore &m_core;
    const Clock &m_clock;
    std::int64_t m_armedDeadline = -1; // none armed
    std::int64_t m_pendingDeadline = -1;
};

} // namespace common

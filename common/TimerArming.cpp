#include "common/TimerArming.h"

#include <algorithm>
#include <limits>

namespace common {

TimerArming::Step TimerArming::next(std::optional<std::int64_t> remainingMs)
{
    const std::int64_t deadline = m_core.nextDeadline();
    if (deadline < 0) {
        const bool armed = m_armedDeadline >= 0;
        m_armedDeadline = -1;
        return {armed ? Action::Stop : Action::Keep, 0};
    }
    const std::int64_t delay =
        std::clamp<std::int64_t>(deadline - m_clock.nowMs(), 0, std::numeric_limits<int>::max());
    // Armed already for this deadline (this runs after every event), and not later than it.
    if (deadline == m_armedDeadline &&
        (!remainingMs || (*remainingMs >= 0 && *remainingMs <= delay + 1)))
        return {Action::Keep, 0};
    m_pendingDeadline = deadline;
    return {Action::Start, delay};
}

void TimerArming::fire()
{
    m_armedDeadline = -1;
    m_core.onTimer();
}

} // namespace common

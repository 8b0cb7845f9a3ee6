#include "common/qt/QtCoreTimer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <limits>

namespace common {

QtCoreTimer::QtCoreTimer(TimedCore &core, const Clock &clock, QObject *parent)
    : QObject(parent), m_core(core), m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QtCoreTimer::fire);
    if (auto *dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &QtCoreTimer::rearm);
    rearm();
}

void QtCoreTimer::rearm()
{
    const std::int64_t deadline = m_core.nextDeadline();
    if (deadline < 0) {
        m_timer.stop();
        return;
    }
    const std::int64_t delay =
        std::clamp<std::int64_t>(deadline - m_clock.nowMs(), 0, std::numeric_limits<int>::max());
    // Armed already for this deadline, and not later than it (a clock that jumps ahead, as a
    // test's does, needs the timer restarted).
    if (m_timer.isActive() && deadline == m_armedDeadline && m_timer.remainingTime() <= delay + 1)
        return;
    m_armedDeadline = deadline;
    m_timer.start(static_cast<int>(delay));
}

void QtCoreTimer::fire()
{
    // A modal message opened from onTimer() runs a loop of its own; the timer is re-armed
    // there and may call onTimer() again. Which work runs inside a message is the core's
    // decision.
    m_armedDeadline = -1;
    m_core.onTimer();
    rearm();
}

} // namespace common

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
    if (m_running)
        return;
    const std::int64_t deadline = m_core.nextDeadline();
    if (deadline < 0) {
        m_timer.stop();
        return;
    }
    if (m_timer.isActive() && deadline == m_armedDeadline)
        return;
    m_armedDeadline = deadline;
    const std::int64_t delay =
        std::clamp<std::int64_t>(deadline - m_clock.nowMs(), 0, std::numeric_limits<int>::max());
    m_timer.start(static_cast<int>(delay));
}

void QtCoreTimer::fire()
{
    if (m_running)
        return;
    m_running = true;
    m_core.onTimer();
    m_running = false;
    rearm();
}

} // namespace common

#include "common/qt/QtCoreTimer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace common {

QtCoreTimer::QtCoreTimer(TimedCore &core, const Clock &clock, QObject *parent)
    : QObject(parent), m_arming(core, clock)
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
    const TimerArming::Step step = m_arming.next(m_timer.remainingTime());
    if (step.action == TimerArming::Action::Stop) {
        m_timer.stop();
    } else if (step.action == TimerArming::Action::Start) {
        m_timer.start(static_cast<int>(step.delayMs));
        m_arming.started();
    }
}

void QtCoreTimer::fire()
{
    m_arming.fire();
    rearm();
}

} // namespace common

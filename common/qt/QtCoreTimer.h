#pragma once

#include "common/Clock.h"

#include <QObject>
#include <QTimer>

namespace common {

// Runs a TimedCore from the Qt event loop: whenever the loop is about to wait, the single
// timer is armed for the core's next deadline, so every state change is picked up without
// the core having to announce it and an idle program uses no processor time. onTimer() is
// never re-entered (a modal message shown from it does not fire it again).
class QtCoreTimer final : public QObject
{
    Q_OBJECT
public:
    QtCoreTimer(TimedCore &core, const Clock &clock, QObject *parent = nullptr);

    // Arms the timer now (also done automatically before the event loop waits).
    void rearm();

private:
    void fire();

    TimedCore &m_core;
    const Clock &m_clock;
    QTimer m_timer;
    bool m_running = false;
    std::int64_t m_armedDeadline = -1;
};

} // namespace common

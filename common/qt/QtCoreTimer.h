#pragma once

#include "common/TimerArming.h"

#include <QObject>
#include <QTimer>

namespace common {

// Runs a TimedCore from the Qt event loop: whenever the loop is about to wait, the single
// timer is armed for the core's next deadline, so every state change is picked up without
// the core having to announce it and an idle program uses no processor time. The timer
// keeps running inside nested loops (modal messages), including one opened by onTimer()
// itself, so onTimer() may be re-entered: the core decides what it does while a message is
// open.
class QtCoreTimer final : public QObject
{
    Q_OBJECT
public:
    QtCoreTimer(TimedCore &core, const Clock &clock, QObject *parent = nullptr);

    // Arms the timer now (also done automatically before the event loop waits).
    void rearm();

private:
    void fire();

    TimerArming m_arming;
    QTimer m_timer;
};

} // namespace common

#pragma once

// A timer in the test's event loop that measures how long the loop was held at a time.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace hardening {

// Processor time this thread has used, in ns.
inline qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Fires every few milliseconds and keeps the longest gap between two firings, in wall-clock
// time and in the processor time the thread used meanwhile. The machine is shared: a gap in
// which the thread hardly ran is the system's scheduling, not the loop being held up.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 cpu = threadCpuNs();
            m_longestNs = std::max(m_longestNs, now - m_last);
            m_longestCpuNs = std::max(m_longestCpuNs, cpu - m_lastCpu);
            m_last = now;
            m_lastCpu = cpu;
            ++m_beats;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpuNs();
        m_timer.start();
    }
    double longestMs() const { return static_cast<double>(m_longestNs) / 1e6; }
    double longestBusyMs() const { return static_cast<double>(m_longestCpuNs) / 1e6; }
    long long beats() const { return m_beats; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    qint64 m_longestNs = 0;
    qint64 m_longestCpuNs = 0;
    long long m_beats = 0;
};

} // namespace hardening

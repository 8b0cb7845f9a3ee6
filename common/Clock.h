#pragma once

#include <cstdint>

namespace common {

// Monotonic milliseconds. 64 bits: no overflow and no wrap in any run.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
};

// A clock that only moves when told to; the cores' timing tests use it instead of sleeping.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(std::int64_t start = 0) : m_now(start) {}
    std::int64_t nowMs() const override { return m_now; }
    void advance(std::int64_t ms) { m_now += ms; }
    void set(std::int64_t ms) { m_now = ms; }

private:
    std::int64_t m_now;
};

// Cores that have timed work expose it the same way: `nextDeadline()` says when they next
// need to run (or nothing), and `onTimer()` does whatever has come due at the clock's time.
// The Qt and Win32 adapters arm one timer for the deadline (TimerArming decides when); tests
// advance a ManualClock and call onTimer(). Nothing polls, so an idle program uses no processor
// time.
class TimedCore
{
public:
    virtual ~TimedCore() = default;
    virtual void onTimer() = 0;
    // Absolute clock time in ms, or a negative value for "nothing scheduled".
    virtual std::int64_t nextDeadline() const = 0;
};

} // namespace common

namespace common {

// The real monotonic clock.
class SteadyClock final : public Clock
{
public:
    std::int64_t nowMs() const override;
};

} // namespace common

#include "common/TimerArming.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

using common::TimerArming;
using Action = TimerArming::Action;

namespace {

struct FakeCore final : common::TimedCore
{
    void onTimer() override { ++runs; }
    std::int64_t nextDeadline() const override { return deadline; }
    std::int64_t deadline = -1;
    int runs = 0;
};

} // namespace

TEST(TimerArming, WhenToArmWithWhatDelay)
{
    constexpr std::int64_t kMaxDelay = std::numeric_limits<int>::max();
    const struct
    {
        const char *what;
        std::int64_t armedFor; // armed at clock 0 for this deadline; -1: nothing armed
        std::int64_t now;
        std::int64_t deadline;
        std::optional<std::int64_t> remaining; // as the toolkit reports it
        Action action;
        std::int64_t delay;
    } cases[] = {
        {"no deadline, nothing armed", -1, 0, -1, std::nullopt, Action::Keep, 0},
        {"no deadline, armed", 100, 0, -1, 100, Action::Stop, 0},
        {"deadline ahead", -1, 10, 250, std::nullopt, Action::Start, 240},
        {"deadline in the past", -1, 500, 100, std::nullopt, Action::Start, 0},
        {"deadline beyond the largest delay", -1, 0, kMaxDelay + 5000, std::nullopt, Action::Start,
         kMaxDelay},
        {"same deadline armed, time left unknown", 250, 100, 250, std::nullopt, Action::Keep, 0},
        {"same deadline armed, time left fits", 250, 100, 250, 150, Action::Keep, 0},
        {"same deadline armed, a millisecond late", 250, 100, 250, 151, Action::Keep, 0},
        {"clock jumped ahead", 250, 200, 250, 250, Action::Start, 50},
        {"clock jumped ahead, time left unknown", 250, 200, 250, std::nullopt, Action::Keep, 0},
        {"same deadline, the timer no longer runs", 250, 100, 250, -1, Action::Start, 150},
        {"another deadline armed", 250, 100, 300, 150, Action::Start, 200},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FakeCore core;
        common::ManualClock clock;
        TimerArming arming(core, clock);
        if (c.armedFor >= 0) {
            core.deadline = c.armedFor;
            ASSERT_EQ(arming.next().action, Action::Start);
            arming.started();
        }
        clock.set(c.now);
        core.deadline = c.deadline;
        const TimerArming::Step step = arming.next(c.remaining);
        EXPECT_EQ(step.action, c.action);
        EXPECT_EQ(step.delayMs, c.delay);
        EXPECT_EQ(core.runs, 0);
    }
}

TEST(TimerArming, FiringOrAStartNotTakenLeavesNothingArmed)
{
    FakeCore core;
    common::ManualClock clock;
    TimerArming arming(core, clock);
    core.deadline = 40;
    EXPECT_EQ(arming.next().action, Action::Start);
    // The toolkit could not start the timer: asked again, it is told to start it again.
    EXPECT_EQ(arming.next().action, Action::Start);
    arming.started();
    EXPECT_EQ(arming.next().action, Action::Keep);

    clock.set(40);
    arming.fire();
    EXPECT_EQ(core.runs, 1);
    // The core kept its deadline (the timer fired a little early): armed again for it.
    const TimerArming::Step step = arming.next();
    EXPECT_EQ(step.action, Action::Start);
    EXPECT_EQ(step.delayMs, 0);
    arming.started();
    core.deadline = -1;
    EXPECT_EQ(arming.next().action, Action::Stop);
    EXPECT_EQ(arming.next().action, Action::Keep);
}

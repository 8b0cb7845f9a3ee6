#include "common/Clock.h"
#include "common/win32/MessageLoop.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Window.h"
#include "common/win32/WindowText.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using common::win32::WindowBase;

// A core with one deadline, which it gives itself only when told to.
class OneShotCore final : public common::TimedCore
{
public:
    explicit OneShotCore(const common::Clock &clock) : m_clock(clock) {}
    void onTimer() override
    {
        if (deadline >= 0 && m_clock.nowMs() >= deadline) {
            deadline = -1;
            PostQuitMessage(7);
        }
    }
    std::int64_t nextDeadline() const override { return deadline; }

    std::int64_t deadline = -1;

private:
    const common::Clock &m_clock;
};

// A window whose one message of its own gives the core a deadline, as a click would.
class PokeWindow final : public WindowBase
{
public:
    static constexpr UINT kPoke = WM_APP + 1;
    PokeWindow(OneShotCore &core, const common::Clock &clock) : m_core(core), m_clock(clock)
    {
        create("TalmoraKitTestWindow", true, "kit", WS_OVERLAPPEDWINDOW, 0, {});
    }
    ~PokeWindow() override { destroy(); }

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != kPoke)
            return WindowBase::onMessage(message, wParam, lParam);
        m_core.deadline = m_clock.nowMs() + 5;
        return 0;
    }
    OneShotCore &m_core;
    const common::Clock &m_clock;
};

VOID CALLBACK giveUp(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(99);
}

TEST(Win32Kit, TheLoopArmsTheCoreTimerForWhatAHandlerChanged)
{
    common::SteadyClock clock;
    OneShotCore core(clock);
    common::Win32CoreTimer timer(core, clock);
    PokeWindow window(core, clock);
    ASSERT_NE(window.hwnd(), nullptr);
    PostMessageA(window.hwnd(), PokeWindow::kPoke, 0, 0);
    // Without the re-arming after the handler the core would never run: the loop gives up.
    const UINT_PTR cap = SetTimer(nullptr, 0, 10000, giveUp);
    EXPECT_EQ(common::win32::RunMessageLoop(), 7);
    KillTimer(nullptr, cap);

    // The window base lets go of a window that is gone.
    DestroyWindow(window.hwnd());
    EXPECT_EQ(window.hwnd(), nullptr);
}

TEST(Win32Kit, ControlTextKeepsEveryByte)
{
    HWND label = common::win32::CreateWindowWithText(0, "STATIC", "", WS_POPUP, {0, 0, 50, 20},
                                                     nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    const common::Bytes texts[] = {"", "plain", "Caf\xE9 \x80\x9F\xFF", "two\r\nlines"};
    for (const common::Bytes &text : texts) {
        common::win32::SetText(label, text);
        EXPECT_EQ(common::win32::GetText(label), text);
    }
    DestroyWindow(label);
}

} // namespace

// A window larger than its display's work area is made smaller, never below its smallest
// size, and one beyond an edge is moved in, its caption first.
TEST(Win32Kit, AWindowIsFittedIntoTheWorkArea)
{
    using common::win32::FitIntoWorkArea;
    const RECT laptop{0, 0, 1366, 728};
    const struct
    {
        const char *what;
        RECT window, work;
        SIZE minimum;
        RECT expected;
    } cases[] = {
        {"fits", {100, 20, 1100, 720}, laptop, {992, 518}, {100, 20, 1100, 720}},
        {"too tall", {26, 26, 1292, 888}, laptop, {1240, 648}, {26, 0, 1292, 728}},
        {"smallest size is larger", {0, 0, 1520, 1000}, laptop, {1508, 820}, {0, 0, 1508, 820}},
        {"beyond the corner", {1000, 600, 1400, 900}, laptop, {300, 200}, {966, 428, 1366, 728}},
        {"display to the right",
         {0, 0, 1000, 640},
         {1366, 40, 3286, 1080},
         {992, 518},
         {1366, 40, 2366, 680}},
    };
    for (const auto &c : cases) {
        const RECT fitted = FitIntoWorkArea(c.window, c.work, c.minimum);
        EXPECT_EQ(fitted.left, c.expected.left) << c.what;
        EXPECT_EQ(fitted.top, c.expected.top) << c.what;
        EXPECT_EQ(fitted.right, c.expected.right) << c.what;
        EXPECT_EQ(fitted.bottom, c.expected.bottom) << c.what;
    }
}

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

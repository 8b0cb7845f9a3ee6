// The Win32 "Auto Updater" window and program: real controls under wine, read back through
// the messages the controls answer.
#include "common/Clock.h"
#include "common/win32/MessageWindow.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/Win32Loop.h"
#include "tests/support/WindowCapture.h"
#include "tests/updater_files/TempFolder.h"
#include "tests/updater_flow/CoreTestSupport.h"
#include "updater/flow/UpdaterCore.h"
#include "updater/win32/UpdaterProgram.h"
#include "updater/win32/UpdaterWindow.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

using updater::Win32UpdaterWindow;

std::string textOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

int widthOf(HWND window)
{
    RECT area;
    GetClientRect(window, &area);
    return area.right - area.left;
}

std::string logLine(const Win32UpdaterWindow &window, int index)
{
    char text[512] = {};
    SendMessageA(window.logList(), LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text));
    return text;
}

int logCount(const Win32UpdaterWindow &window)
{
    return static_cast<int>(SendMessageA(window.logList(), LB_GETCOUNT, 0, 0));
}

// Lets the window show what it has gathered.
void settle(const Win32UpdaterWindow &window)
{
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !window.refreshPending(); }, 5000));
}

// What the core shows goes to the real window and is recorded beside it.
class WindowAndRecorder final : public updater::UpdaterView
{
public:
    explicit WindowAndRecorder(Win32UpdaterWindow &window) : m_window(window) {}
    void appendLogLine(const common::Bytes &text) override
    {
        m_window.appendLogLine(text);
        recorded.appendLogLine(text);
    }
    void removeOldestLogLine() override
    {
        m_window.removeOldestLogLine();
        recorded.removeOldestLogLine();
    }
    void selectLogLine(int index) override
    {
        m_window.selectLogLine(index);
        recorded.selectLogLine(index);
    }
    void setStatusText(const common::Bytes &text) override
    {
        m_window.setStatusText(text);
        recorded.setStatusText(text);
    }
    void setBytesText(const common::Bytes &text) override
    {
        m_window.setBytesText(text);
        recorded.setBytesText(text);
    }
    void setBarWidth(int width) override
    {
        m_window.setBarWidth(width);
        recorded.setBarWidth(width);
    }
    void endProcess() override
    {
        m_window.endProcess();
        recorded.endProcess();
    }

    updatertest::RecordingView recorded;

private:
    Win32UpdaterWindow &m_window;
};

// The real core in a temporary folder, with a fake transport and a manual clock, showing
// itself in the real window.
struct CoreInWindow
{
    explicit CoreInWindow(updater::UpdaterConfig config = {})
        : store(dir.path().string()), core(store, clock, transport, view, launcher, config)
    {
    }
    TempFolder dir;
    updater::FileStore store;
    common::ManualClock clock{1000};
    testsupport::FakeTransport transport;
    updatertest::RecordingLauncher launcher;
    Win32UpdaterWindow window;
    WindowAndRecorder view{window};
    updater::UpdaterCore core;
    const updatertest::RecordingView &shown = view.recorded;
};

TEST(Win32UpdaterWindow, HasItsCaptionSizeAndDesignTexts)
{
    Win32UpdaterWindow window;
    window.show();
    EXPECT_EQ(textOf(window.handle()), "Auto Updater");
    RECT client;
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right - client.left, 313);
    EXPECT_EQ(client.bottom - client.top, 137);
    EXPECT_TRUE(IsWindowVisible(window.handle()));
    EXPECT_EQ(textOf(window.statusLabel()), "Status:");
    EXPECT_EQ(textOf(window.bytesLabel(0)), "0/0KB - 0KB/s");
    EXPECT_EQ(textOf(window.bytesLabel(1)), "0/0KB - 0KB/s");
    RECT fill;
    GetClientRect(window.barFill(), &fill);
    EXPECT_EQ(fill.right, 0);
    EXPECT_EQ(fill.bottom, 15);
    EXPECT_EQ(logCount(window), 0);
}

TEST(Win32UpdaterWindow, ShowsTheCoresLogKeepingTheNewest100Selected)
{
    CoreInWindow run;
    run.core.StartUpdater();
    settle(run.window);
    EXPECT_EQ(textOf(run.window.statusLabel()), run.shown.status);
    for (int i = 0; i < 150; ++i)
        run.core.AddLogLine("line " + std::to_string(i) + " caf\xe9 \x80");
    ASSERT_EQ(logCount(run.window), 100);
    ASSERT_EQ(run.shown.lines.size(), 100u);
    for (int i : {0, 57, 99})
        EXPECT_EQ(logLine(run.window, i), run.shown.lines[static_cast<std::size_t>(i)]);
    EXPECT_EQ(logLine(run.window, 99), "line 149 caf\xe9 \x80"); // the bytes as they are
    EXPECT_EQ(SendMessageA(run.window.logList(), LB_GETCURSEL, 0, 0), 99);
}

TEST(Win32UpdaterWindow, ShowsTheCoresProgressGatheringQuickChanges)
{
    CoreInWindow run;
    run.window.show();
    settle(run.window);
    struct Step
    {
        std::int64_t count;
        std::int64_t total;
        const char *text;
    };
    // Each row is shown together with the rows before it that came within the refresh time;
    // the last one of a burst wins.
    const Step bursts[][3] = {
        {{1, 2, "Downloading: zlib.dll"}, {0, 0, nullptr}, {0, 0, nullptr}},
        {{100, 1000, "Downloading: a.dat"},
         {524288, 1048576, "Downloading: b.dat"},
         {1572864, 3355443, "Downloading: c.dat"}},
        {{3000, 2000, "Downloading: d.dat"}, {0, 0, nullptr}, {0, 0, nullptr}},
    };
    for (const auto &burst : bursts) {
        for (const Step &step : burst) {
            if (!step.text)
                continue;
            std::int64_t count = step.count;
            run.core.ShowProgress(step.text, count, step.total);
        }
        settle(run.window);
        EXPECT_EQ(textOf(run.window.statusLabel()), run.shown.status);
        EXPECT_EQ(textOf(run.window.bytesLabel(0)), run.shown.bytes);
        EXPECT_EQ(textOf(run.window.bytesLabel(1)), run.shown.bytes);
        EXPECT_EQ(widthOf(run.window.barFill()), run.shown.bar);
    }
    EXPECT_EQ(widthOf(run.window.barFill()), 295);

    // The first change is shown at once, later ones within the refresh time wait.
    run.window.setBytesText("one");
    EXPECT_EQ(textOf(run.window.bytesLabel(1)), "one");
    run.window.setBytesText("two");
    run.window.setBarWidth(999);
    EXPECT_EQ(textOf(run.window.bytesLabel(1)), "one");
    EXPECT_TRUE(run.window.refreshPending());
    settle(run.window);
    EXPECT_EQ(textOf(run.window.bytesLabel(1)), "two");
    EXPECT_EQ(widthOf(run.window.barFill()), 295);
}

TEST(Win32UpdaterWindow, ClosingRunsTheHandOverOnceAndEndingDoesNotRunItAgain)
{
    int closed = 0;
    int ended = 0;
    Win32UpdaterWindow window;
    window.onClose = [&] {
        ++closed;
        window.endProcess(); // what the hand-over does last
    };
    window.onEnd = [&] { ++ended; };
    window.show();
    SendMessageA(window.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(IsWindowVisible(window.handle()));

    Win32UpdaterWindow other;
    other.onClose = [&] { ++closed; };
    other.onEnd = [&] { ++ended; };
    other.show();
    other.endProcess(); // the run ended by itself: hiding is not a close by the user
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(ended, 2);
}

// The picture for the documentation, a pass in progress:
//   UPDATER_WINDOWS_SCREENSHOT=/path/docs/updater-windows.png xvfb-run -a wine64
//   updater_flow_win32_window_tests.exe --gtest_filter=*Picture*
TEST(Win32UpdaterWindow, Picture)
{
    const char *path = std::getenv("UPDATER_WINDOWS_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "set UPDATER_WINDOWS_SCREENSHOT to a file name to take the picture";
    CoreInWindow run;
    run.window.show();
    run.core.StartUpdater();
    for (const char *line :
         {"File Updated: Readme.txt (41 ms)", "File Updated: Data\\Items.dat (57 ms)",
          "File Updated: Maps\\Town\\Gate.map (212 ms)"})
        run.core.AddLogLine(line);
    std::int64_t received = 737280;
    run.core.ShowProgress("Downloading: Maps\\Town\\Square.map", received, 1258291);
    settle(run.window);
    ASSERT_TRUE(testsupport::CaptureWindowPng(run.window.handle(), path));
    std::ifstream written(path, std::ios::binary);
    char signature[8] = {};
    written.read(signature, 8);
    EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

// The picture of a repair, which checks every file whatever Version.dat says:
//   UPDATER_WINDOWS_REPAIR_SCREENSHOT=/path/docs/updater-windows-repair.png xvfb-run -a wine
//   updater_flow_win32_window_tests.exe --gtest_filter=*RepairPicture*
TEST(Win32UpdaterWindow, RepairPicture)
{
    const char *path = std::getenv("UPDATER_WINDOWS_REPAIR_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "set UPDATER_WINDOWS_REPAIR_SCREENSHOT to a file name to take the picture";
    updater::UpdaterConfig repair;
    repair.repair = true;
    CoreInWindow run(repair);
    run.window.show();
    run.core.StartUpdater();
    ASSERT_EQ(run.shown.lines.front(), "Checking every file...");
    run.core.AddLogLine("File Updated: Data\\Items.dat (57 ms)");
    run.core.ShowProgress("Downloading: Maps\\Town\\Gate.map", 301990, 1258291);
    settle(run.window);
    ASSERT_TRUE(testsupport::CaptureWindowPng(run.window.handle(), path));
}

// The program's own wiring: closing the window while the run waits for the server starts the
// configured program at once and ends the message loop.
TEST(Win32UpdaterProgram, ClosingWhileTheRunWaitsStartsTheConfiguredProgram)
{
    TempFolder dir;
    const std::string folder = dir.path().string();
    const std::string next = folder + "\\next.exe";
    writeFile(folder + "\\next.exe", "MZ");
    writeFile(folder + "\\Settings.ini", "[Client]\r\nLaunch Application File=" + next + "\r\n");
    // A server on loopback that takes the connection and never answers.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 1), 0);
    int size = sizeof address;
    getsockname(server, reinterpret_cast<sockaddr *>(&address), &size);
    u_long nonBlocking = 1;
    ioctlsocket(server, FIONBIO, &nonBlocking);
    const std::string port = std::to_string(ntohs(address.sin_port));

    updatertest::RecordingLauncher launcher;
    updater::Win32UpdaterProgram program(folder, {"127.0.0.1", port}, launcher);
    program.start();
    EXPECT_TRUE(IsWindowVisible(program.window().handle()));
    SOCKET accepted = INVALID_SOCKET;
    ASSERT_TRUE(testsupport::PumpUntil([&] { return accepted != INVALID_SOCKET; }, 20000,
                                       [&] {
                                           if (accepted == INVALID_SOCKET)
                                               accepted = accept(server, nullptr, nullptr);
                                       }));
    ASSERT_TRUE(launcher.started.empty());

    SendMessageA(program.window().handle(), WM_CLOSE, 0, 0);
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], next);
    EXPECT_FALSE(IsWindowVisible(program.window().handle()));
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    closesocket(accepted);
    closesocket(server);
}

} // namespace

// The "Auto Updater" window with real widgets on the offscreen platform.
#include "common/Clock.h"
#include "common/qt/Text1252.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/UpdaterRecording.h"
#include "updater/files/FileStore.h"
#include "updater/flow/UpdaterCore.h"
#include "updater/qt/UpdaterProgram.h"
#include "updater/qt/UpdaterWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QTcpServer>
#include <QTemporaryDir>

#include <fstream>

#include <gtest/gtest.h>

namespace {

using updater::UpdaterWindow;

TEST(UpdaterWindow, ShowsItsCaptionSizeAndDesignTexts)
{
    UpdaterWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Auto Updater"));
    EXPECT_EQ(window.size(), QSize(313, 137));
    EXPECT_EQ(window.bytesLabel(0)->text(), QStringLiteral("0/0KB - 0KB/s"));
    EXPECT_EQ(window.barElement(0)->size(), QSize(295, 15));
    EXPECT_EQ(window.barElement(1)->height(), 15);
    EXPECT_NEAR(window.statusLabel()->font().pointSizeF(), 8.25, 0.01);
    EXPECT_NEAR(window.bytesLabel(0)->font().pointSizeF(), 6.75, 0.01);
}

// Lets the window show what it has gathered (bounded, in case it never does).
void settle(const UpdaterWindow &window)
{
    QElapsedTimer waited;
    waited.start();
    while (window.refreshPending() && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

TEST(UpdaterWindow, ShowsWhatTheCoreSends)
{
    UpdaterWindow window;
    window.appendLogLine("first");
    window.appendLogLine("caf\xe9 \x80");
    window.selectLogLine(1);
    EXPECT_EQ(window.logList()->count(), 2);
    EXPECT_EQ(window.logList()->item(1)->text(), QString::fromUtf8("café €"));
    EXPECT_EQ(window.logList()->currentRow(), 1);
    window.removeOldestLogLine();
    EXPECT_EQ(window.logList()->item(0)->text(), QString::fromUtf8("café €"));

    window.setStatusText("Status: Downloading: zlib.dll - 50%");
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Status: Downloading: zlib.dll - 50%"));
    window.setBytesText("1.5/3.2 MB - 120.7KB/s");
    window.setBarWidth(147);
    settle(window);
    EXPECT_EQ(window.bytesLabel(0)->text(), QStringLiteral("1.5/3.2 MB - 120.7KB/s"));
    EXPECT_EQ(window.bytesLabel(1)->text(), window.bytesLabel(0)->text());
    EXPECT_EQ(window.barElement(1)->width(), 147);
    EXPECT_EQ(window.barElement(0)->width(), 295);
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Status: Downloading: zlib.dll - 50%"));
}

// A file deep in folders: the line keeps its beginning, the name and the percentage, and
// the whole text is the label's tip.
TEST(UpdaterWindow, ALongStatusKeepsTheNameAndThePercentage)
{
    UpdaterWindow window;
    const common::Bytes status =
        "Status: Downloading: Maps\\Northern Reaches\\Frostmarch\\Caves\\Lower.map - 58%";
    window.setStatusText(status);
    settle(window);
    const QLabel *label = window.statusLabel();
    const QString shown = label->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Status: Downloading: Maps")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QString::fromUtf8("\u2026\\Lower.map - 58%")))
        << shown.toStdString();
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->contentsRect().width());
    EXPECT_EQ(label->toolTip(), common::FromWindows1252(status));

    window.setStatusText("Status: Update Complete");
    settle(window);
    EXPECT_EQ(label->text(), QStringLiteral("Status: Update Complete"));
    EXPECT_TRUE(label->toolTip().isEmpty());
}

TEST(UpdaterWindow, ProgressInQuickSuccessionIsShownTogetherLatestWinning)
{
    UpdaterWindow window;
    settle(window);
    window.setBytesText("1.5/3.2 MB - 120.7KB/s"); // shown at once
    EXPECT_EQ(window.bytesLabel(1)->text(), QStringLiteral("1.5/3.2 MB - 120.7KB/s"));
    window.setBytesText("1.6/3.2 MB - 120.7KB/s");
    window.setStatusText("Status: Downloading: a.dat - 51%");
    window.setBarWidth(150);
    window.setBarWidth(160);
    window.setBytesText("1.7/3.2 MB - 120.7KB/s");
    EXPECT_EQ(window.bytesLabel(1)->text(), QStringLiteral("1.5/3.2 MB - 120.7KB/s"));
    EXPECT_TRUE(window.refreshPending());
    settle(window);
    EXPECT_EQ(window.bytesLabel(0)->text(), QStringLiteral("1.7/3.2 MB - 120.7KB/s"));
    EXPECT_EQ(window.bytesLabel(1)->text(), QStringLiteral("1.7/3.2 MB - 120.7KB/s"));
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Status: Downloading: a.dat - 51%"));
    EXPECT_EQ(window.barElement(1)->width(), 160);
    window.setBarWidth(999);
    settle(window);
    EXPECT_EQ(window.barElement(1)->width(), 295);
}

TEST(UpdaterWindow, ClosingRunsTheHandOverOnceAndEndingDoesNotRunItAgain)
{
    int closed = 0;
    int ended = 0;
    UpdaterWindow window;
    window.onClose = [&] {
        ++closed;
        window.endProcess(); // what the hand-over does last
    };
    window.onEnd = [&] { ++ended; };
    window.show();
    window.close();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(window.isVisible());

    UpdaterWindow other;
    other.onClose = [&] { ++closed; };
    other.onEnd = [&] { ++ended; };
    other.show();
    other.endProcess(); // the run ended by itself: hiding is not a close by the user
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(ended, 2);
}

TEST(Windows1252, RoundTripsEveryByte)
{
    common::Bytes all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(common::ToWindows1252(common::FromWindows1252(all)), all);
    EXPECT_EQ(common::FromWindows1252("\x80\x99"), QString::fromUtf8("€™"));
    EXPECT_EQ(common::ToWindows1252(QString::fromUtf8("Ω")), "?");
}

// The program's own wiring: closing the window while the run waits for the server starts the
// configured program at once.
// The picture of a repair, which checks every file whatever Version.dat says:
//   UPDATER_REPAIR_SCREENSHOT=docs/updater-repair.png QT_QPA_PLATFORM=xcb xvfb-run -a
//       build/bin/updater_flow_window_tests --gtest_filter='*RepairPicture*'
TEST(UpdaterWindow, RepairPicture)
{
    const QString path = qEnvironmentVariable("UPDATER_REPAIR_SCREENSHOT");
    if (path.isEmpty())
        GTEST_SKIP() << "set UPDATER_REPAIR_SCREENSHOT to a file name to take the picture";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    updater::FileStore store(dir.path().toStdString());
    common::ManualClock clock{1000};
    testsupport::FakeTransport transport;
    updatertest::RecordingLauncher launcher;
    UpdaterWindow window;
    updater::UpdaterConfig repair;
    repair.repair = true;
    updater::UpdaterCore core(store, clock, transport, window, launcher, repair);
    window.show();
    core.StartUpdater();
    core.AddLogLine("File Updated: Data\\Items.dat (57 ms)");
    core.ShowProgress("Downloading: Maps\\Town\\Gate.map", 301990, 1258291);
    settle(window);
    ASSERT_EQ(window.logList()->item(0)->text(), QStringLiteral("Checking every file..."));
    ASSERT_TRUE(window.grab().save(path, "PNG"));
}

TEST(UpdaterProgram, ClosingWhileTheRunWaitsStartsTheConfiguredProgramAtOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    std::ofstream(folder + "/next.sh") << "#!/bin/sh\n";
    std::ofstream(folder + "/Settings.ini")
        << "[Client]\nLaunch Application File=" << folder << "/next.sh\n";
    // A server on loopback that takes the connection and never answers.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(server.serverPort());

    updatertest::RecordingLauncher launcher;
    updater::QtUpdaterProgram program(folder, {"127.0.0.1", port.toStdString()}, launcher);
    program.start();
    QElapsedTimer waited;
    waited.start();
    while (!server.hasPendingConnections() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(server.hasPendingConnections());
    ASSERT_TRUE(launcher.started.empty());

    program.window().close();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], folder + "/next.sh");
    EXPECT_FALSE(program.window().isVisible());
}

} // namespace

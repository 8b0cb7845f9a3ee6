// A chat and server-list flood from a scripted registry server on loopback, through the real
// socket adapter, into the real Registry core: 50,000 packets in one burst, then 1 MB/s for
// 30 s. A heartbeat timer in the same event loop measures the longest time the loop was
// blocked; every packet must be handled.

#include "common/Codec.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "registry/net/RegistryClient.h"
#include "registry/net/RegistryView.h"
#include "tests/hardening/Heartbeat.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/ScriptedPeer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <iostream>
#include <string>

namespace hardening {
namespace {

using common::Bytes;
using common::ByteView;

// A window that only counts what it is asked to show.
class CountingView final : public registry::RegistryView
{
public:
    long long chatLines = 0;
    long long rowUpdates = 0;
    Bytes lastChatLine;
    registry::ServerRowText lastRow;

    void setRegistryState(ByteView, bool) override {}
    void setStatusText(ByteView) override {}
    void setAccountText(ByteView) override {}
    void setServerCountText(ByteView) override {}
    void setAccountMenuEnabled(registry::AccountMenu, bool) override {}
    void setServerSettingsEnabled(bool) override {}
    void setServerAddNewEnabled(bool) override {}
    void hidePanel(registry::Panel) override {}
    void appendChatLine(ByteView line) override
    {
        ++chatLines;
        lastChatLine.assign(line);
    }
    void setChatInputEnabled(bool) override {}
    void clearChatInput() override {}
    void setServerRow(int, const registry::ServerRowText &row) override
    {
        ++rowUpdates;
        lastRow = row;
    }
    void clearServerRows() override {}
    void clearUsers() override {}
    void addUser(ByteView) override {}
    void clearNewAccountFields() override {}
    void clearNewAccountUserAndFocus() override {}
    void showLoginUser(ByteView) override {}
    void showLoginPassword(ByteView) override {}
    void showAutoLogin(int) override {}
    void setNewServerAddress(ByteView) override {}
    void setAddServerButton(bool, ByteView) override {}
    void showMessage(ByteView) override { ++messages; }
    void quitRequested() override {}

    int messages = 0;
    long long handled() const { return chatLines + rowUpdates; }
};

QByteArray serverPacket(const Bytes &body)
{
    const Bytes packet = *common::BuildPacket(body, common::PacketKind::Plain);
    return QByteArray(packet.data(), static_cast<qsizetype>(packet.size()));
}

QByteArray chatLine(long long n)
{
    return serverPacket("\x07"
                        "flood line " +
                        std::to_string(n) + " with some words after it");
}

QByteArray serverEntry(long long n)
{
    const int index = static_cast<int>(n % 30) + 1;
    Bytes body = common::byteString({1, index, static_cast<int>(n % 2), static_cast<int>(n % 251)});
    body += "Server " + std::to_string(index) + '\0' + "admin" + '\0' + "10.0.0." +
            std::to_string(index);
    return serverPacket(body);
}

// Spins a real event loop (which blocks between events as the program's loop does) until the
// condition holds; the limit is a safety net, never a measurement.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || elapsed.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return condition();
}

TEST(RegistryFlood, BurstThenSustainedRateKeepTheLoopResponsive)
{
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    common::SteadyClock clock;
    common::QtTransport main;
    testsupport::FakeTransport probe;
    CountingView view;
    registry::RegistryClient client(
        {clock, main, probe, view, [] { return Bytes("-1"); }, "127.0.0.1", peer.port()});
    common::QtCoreTimer timer(client, clock);
    client.start();
    ASSERT_TRUE(waitFor([&] { return peer.hasConnection() && client.connected(); }, 10000));

    // The burst is built before the heartbeat starts: only the client's work is measured.
    constexpr long long kBurstPackets = 50000;
    QByteArray burst;
    for (long long n = 0; n < kBurstPackets; ++n)
        burst += (n % 2 == 0) ? chatLine(n) : serverEntry(n);

    Heartbeat heartbeat;
    heartbeat.start();
    peer.send(burst);
    ASSERT_TRUE(waitFor([&] { return view.handled() >= kBurstPackets; }, 120000))
        << view.handled() << " of " << kBurstPackets;
    EXPECT_EQ(view.chatLines, kBurstPackets / 2);
    EXPECT_EQ(view.rowUpdates, kBurstPackets / 2);
    EXPECT_EQ(view.lastChatLine,
              "flood line " + std::to_string(kBurstPackets - 2) + " with some words after it");
    const double burstLongest = heartbeat.longestMs();
    const double burstBusy = heartbeat.longestBusyMs();

    // 1 MB/s for 30 s, in slices every 20 ms, catching up when a slice came late.
    constexpr double kBytesPerMs = 1024.0 * 1024.0 / 1000.0;
    constexpr qint64 kDurationMs = 30000;
    QByteArray slice;
    long long slicePackets = 0;
    while (slice.size() < 20 * 1024) {
        slice += (slicePackets % 2 == 0) ? chatLine(slicePackets) : serverEntry(slicePackets);
        ++slicePackets;
    }
    long long sentPackets = kBurstPackets;
    long long sentChat = kBurstPackets / 2;
    qint64 sentBytes = 0;
    QElapsedTimer rateClock;
    rateClock.start();
    QTimer pacer;
    pacer.setTimerType(Qt::PreciseTimer);
    pacer.setInterval(20);
    QObject::connect(&pacer, &QTimer::timeout, [&] {
        const qint64 elapsed = std::min(rateClock.elapsed(), kDurationMs);
        while (static_cast<double>(sentBytes) < static_cast<double>(elapsed) * kBytesPerMs) {
            peer.send(slice);
            sentBytes += slice.size();
            sentPackets += slicePackets;
            sentChat += (slicePackets + 1) / 2;
        }
        if (rateClock.elapsed() >= kDurationMs)
            pacer.stop();
    });
    pacer.start();
    ASSERT_TRUE(waitFor([&] { return !pacer.isActive(); }, kDurationMs + 30000));
    ASSERT_TRUE(waitFor([&] { return view.handled() >= sentPackets; }, 60000))
        << view.handled() << " of " << sentPackets;
    const double seconds = static_cast<double>(rateClock.elapsed()) / 1000.0;

    EXPECT_EQ(view.handled(), sentPackets);
    EXPECT_EQ(view.chatLines, sentChat);
    EXPECT_EQ(view.messages, 0);
    EXPECT_TRUE(client.connected());
    EXPECT_GE(sentBytes, 30LL * 1024 * 1024);

    std::cout << "flood: burst of " << kBurstPackets << " packets (" << burst.size()
              << " bytes), longest gap " << burstLongest << " ms (busy " << burstBusy
              << " ms); then " << (sentPackets - kBurstPackets) << " packets, " << sentBytes
              << " bytes in " << seconds << " s; longest gap overall " << heartbeat.longestMs()
              << " ms (busy " << heartbeat.longestBusyMs() << " ms) over " << heartbeat.beats()
              << " heartbeats\n";
    EXPECT_LE(burstBusy, 100.0);
    EXPECT_LE(heartbeat.longestBusyMs(), 100.0);
}

} // namespace
} // namespace hardening

// The core driven by the real Qt adapters against a scripted registry server on loopback.
#include "common/Codec.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "registry/net/AdministratorLock.h"
#include "registry/net/RegistryClient.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/RecordingRegistryView.h"
#include "tests/support/ScriptedPeer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using common::Bytes;
using common::ByteView;
using testsupport::RecordingRegistryView;

namespace {

QByteArray toQt(const Bytes &bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Waits in a real event loop, which blocks between events as the program's loop does, so
// the core timer is re-armed before each wait exactly as in the program. The limit is a
// safety net for a failing test, never a measurement.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
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

bool waitForBytes(const testsupport::ScriptedPeer &peer, std::size_t count, int timeoutMs = 5000)
{
    return waitFor([&] { return static_cast<std::size_t>(peer.received().size()) >= count; },
                   timeoutMs);
}

bool waitForConnection(const testsupport::ScriptedPeer &peer, int count)
{
    return waitFor([&] { return peer.connectionCount() >= count && peer.hasConnection(); });
}

Bytes clientPacket(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::WithCheckCharacter);
}

Bytes serverPacket(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::Plain);
}

TEST(RegistryOverQt, GreetsKeepsAliveAndReconnects)
{
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());

    common::SteadyClock clock;
    common::QtTransport main;
    common::QtTransport probe;
    RecordingRegistryView view;
    registry::RegistryClient client(
        {clock, main, probe, view, [] { return Bytes("604219587"); }, "127.0.0.1", peer.port()});
    common::QtCoreTimer timer(client, clock);
    client.start();

    const Bytes greeting = clientPacket(Bytes("\0R0.7\0"
                                              "604219587",
                                              15));
    const Bytes keepAlive = clientPacket(Bytes("\x02", 1));

    ASSERT_TRUE(waitForConnection(peer, 1));
    ASSERT_TRUE(waitForBytes(peer, greeting.size()));
    EXPECT_EQ(peer.received(), toQt(greeting));
    ASSERT_TRUE(waitFor([&] { return client.connected(); }));
    EXPECT_EQ(view.registryCaption, "Online");

    // Data from the server reaches the dispatcher, split or not.
    const Bytes entry = serverPacket(Bytes("\x01\x02\x01\x03"
                                           "Alpha\0Ann\0"
                                           "127.0.0.9",
                                           4 + 6 + 4 + 9));
    peer.sendSplit(toQt(entry + serverPacket(Bytes("\x07"
                                                   "hi",
                                                   3))),
                   {3, 10});
    ASSERT_TRUE(waitFor([&] { return !view.chatLines.empty(); }));
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"hi"});

    // A ping is answered at once; the timer's keep-alives follow about every 5 s.
    peer.clearReceived();
    peer.send(toQt(serverPacket(Bytes("\x04", 1))));
    ASSERT_TRUE(waitForBytes(peer, keepAlive.size()));
    EXPECT_EQ(peer.received(), toQt(keepAlive));
    peer.clearReceived();
    ASSERT_TRUE(waitForBytes(peer, 2 * keepAlive.size(), 15000));
    EXPECT_EQ(peer.received(), toQt(keepAlive + keepAlive));
    ASSERT_GE(peer.chunks().size(), 2u);
    // Lower bound only: a timer can come late on a busy machine, never early.
    EXPECT_GE(peer.chunks().back().atMs - peer.chunks().front().atMs, 4500);

    // The server closes: the window goes offline, the list empties, and a new connection
    // greets again.
    peer.clearReceived();
    peer.closeConnection();
    ASSERT_TRUE(waitForConnection(peer, 2));
    ASSERT_TRUE(waitForBytes(peer, greeting.size()));
    EXPECT_EQ(peer.received(), toQt(greeting));
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(view.serverCountText, "0");
    const auto offline = std::find(view.calls.begin(), view.calls.end(), "registry:Offline");
    EXPECT_NE(offline, view.calls.end());
    ASSERT_TRUE(waitFor([&] { return client.connected(); }));
}

TEST(RegistryOverQt, ProbeConnectsToTheEnteredServer)
{
    testsupport::ScriptedPeer registryPeer;
    testsupport::ScriptedPeer gameServer;
    common::SteadyClock clock;
    common::QtTransport main;
    common::QtTransport probe;
    RecordingRegistryView view;
    registry::RegistryClient client({clock, main, probe, view,
                                     [] { return Bytes(registry::kAdministratorId); }, "127.0.0.1",
                                     registryPeer.port()});
    common::QtCoreTimer timer(client, clock);
    client.start();
    // The greeting must have arrived before it is forgotten, or it would count as the request.
    ASSERT_TRUE(waitForBytes(registryPeer, 15 + 3));
    ASSERT_TRUE(waitFor([&] { return client.connected(); }));
    registryPeer.clearReceived();

    client.newServerFieldsChanged("Loopback", "127.0.0.1", std::to_string(gameServer.port()));
    client.addServerPressed();
    // The probe closes as soon as it is connected.
    ASSERT_TRUE(waitFor([&] { return gameServer.connectionCount() == 1; }));
    const Bytes request =
        clientPacket(Bytes("\x06\x00", 2) + common::EncodeLong(gameServer.port()) +
                     Bytes("Loopback\0"
                           "127.0.0.1",
                           18));
    ASSERT_TRUE(waitForBytes(registryPeer, request.size()));
    EXPECT_EQ(registryPeer.received(), toQt(request));
    EXPECT_FALSE(client.probePending());
    EXPECT_EQ(view.addServerCaption, "Add Server");
}

// A manual clock under the real Qt timer: the test moves time, the adapter's timer fires for
// whatever has come due, and waitUntilSettled() waits until it has.
struct ManualTime
{
    common::ManualClock clock{100'000};
    bool due(const common::TimedCore &core) const
    {
        const std::int64_t deadline = core.nextDeadline();
        return deadline >= 0 && deadline <= clock.nowMs();
    }
    // Moves on by `ms` in steps of `step`, letting the timer run the core at each.
    bool advance(common::QtCoreTimer &timer, const common::TimedCore &core, std::int64_t ms,
                 std::int64_t step)
    {
        for (std::int64_t done = 0; done < ms; done += step) {
            clock.advance(step);
            timer.rearm();
            if (!waitFor([&] { return !due(core); }))
                return false;
        }
        return true;
    }
};

} // namespace

// A refusal followed by a close: while its notice is open the program's loop is blocked, so
// no new connection is made, and none after it either.
TEST(RegistryOverQt, ARefusalNoticeMakesNoNewConnectionWhileOpenOrAfter)
{
    const struct
    {
        const char *what;
        Bytes body;
    } refusals[] = {{"boot notice", Bytes("\x02\x00", 2)}, {"out-dated", Bytes("\x00\x01", 2)}};
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        testsupport::ScriptedPeer peer;
        ManualTime time;
        common::QtTransport main;
        common::QtTransport probe;
        RecordingRegistryView view;
        registry::RegistryClient client(
            {time.clock, main, probe, view, [] { return Bytes("1"); }, "127.0.0.1", peer.port()});
        common::QtCoreTimer timer(client, time.clock);
        client.start();
        ASSERT_TRUE(time.advance(timer, client, registry::kConnectIntervalMs, 500));
        ASSERT_TRUE(waitFor([&] { return client.connected() && peer.hasConnection(); }));

        bool settled = false;
        view.duringMessage = [&](ByteView) {
            // The close arrives while the notice is open; five seconds pass.
            settled = waitFor([&] { return !client.connected(); }) &&
                      time.advance(timer, client, 5000, 500);
            EXPECT_EQ(main.state(), common::Transport::State::Closed);
            EXPECT_EQ(peer.connectionCount(), 1);
        };
        peer.send(toQt(serverPacket(refusal.body)));
        peer.closeConnection();
        ASSERT_TRUE(waitFor([&] { return !view.messages.empty(); }));
        EXPECT_TRUE(settled);
        EXPECT_EQ(view.messages.size(), 1u);
        ASSERT_TRUE(time.advance(timer, client, 5000, 500));
        EXPECT_EQ(main.state(), common::Transport::State::Closed);
        EXPECT_EQ(peer.connectionCount(), 1);
        EXPECT_EQ(view.messages.size(), 1u);
    }
}

// The keep-alive is a timer of its own: it goes on while the probe's failure message, opened
// by the core's own timer, is open.
TEST(RegistryOverQt, KeepAlivesGoOnWhileTheProbeFailureIsOpen)
{
    testsupport::ScriptedPeer peer;
    ManualTime time;
    common::QtTransport main;
    testsupport::FakeTransport probe; // an attempt that never completes
    RecordingRegistryView view;
    registry::RegistryClient client({time.clock, main, probe, view,
                                     [] { return Bytes(registry::kAdministratorId); }, "127.0.0.1",
                                     peer.port()});
    common::QtCoreTimer timer(client, time.clock);
    client.start();
    ASSERT_TRUE(time.advance(timer, client, registry::kConnectIntervalMs, 500));
    ASSERT_TRUE(waitFor([&] { return client.connected(); }));
    ASSERT_TRUE(waitForBytes(peer, 3 + 3));

    client.newServerFieldsChanged("Loopback", "127.0.0.1", "5750");
    time.clock.advance(100);
    client.addServerPressed();
    const Bytes keepAlive = clientPacket(Bytes("\x02", 1));
    bool keptAlive = false;
    view.duringMessage = [&](ByteView) {
        peer.clearReceived();
        time.clock.advance(registry::kKeepAliveIntervalMs);
        timer.rearm();
        keptAlive = waitForBytes(peer, keepAlive.size());
    };
    ASSERT_TRUE(time.advance(timer, client, registry::kProbeTimeLimitMs, 100));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(keptAlive);
    EXPECT_EQ(peer.received(), toQt(keepAlive));
}

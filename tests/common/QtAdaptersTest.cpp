#include "common/Clock.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "tests/support/ScriptedPeer.h"

#include <QEventLoop>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

namespace {

class Recorder final : public common::Transport::Listener
{
public:
    int connected = 0;
    int closed = 0;
    std::string data;
    std::function<void(common::ByteView)> onDataHook;

    void onConnected() override { ++connected; }
    void onClosed() override { ++closed; }
    void onData(common::ByteView bytes) override
    {
        data.append(bytes);
        if (onDataHook)
            onDataHook(bytes);
    }
};

class CountingCore final : public common::TimedCore
{
public:
    explicit CountingCore(const common::Clock &clock) : m_clock(clock) {}
    void onTimer() override
    {
        if (m_clock.nowMs() >= deadline) {
            ++fired;
            deadline = fired < 3 ? m_clock.nowMs() + 5 : -1;
        }
    }
    std::int64_t nextDeadline() const override { return deadline; }

    std::int64_t deadline = -1;
    int fired = 0;

private:
    const common::Clock &m_clock;
};

} // namespace

TEST(QtTransport, ConnectsSendsReceivesAndReportsOnlyPeerCloses)
{
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    common::QtTransport transport;
    Recorder rec;
    transport.setListener(&rec);

    EXPECT_FALSE(transport.send("x")); // not connected: dropped
    transport.connectTo("127.0.0.1", peer.port());
    EXPECT_EQ(transport.state(), common::Transport::State::Connecting);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1; }));
    EXPECT_EQ(transport.state(), common::Transport::State::Connected);

    EXPECT_TRUE(transport.send("hello"));
    ASSERT_TRUE(peer.waitForBytes(5));
    EXPECT_EQ(peer.received(), "hello");

    peer.send("world");
    ASSERT_TRUE(peer.waitUntil([&] { return rec.data == "world"; }));

    // The peer's last bytes come before its close.
    peer.send("bye");
    peer.closeConnection();
    ASSERT_TRUE(peer.waitUntil([&] { return rec.closed == 1; }));
    EXPECT_EQ(rec.data, "worldbye");
    EXPECT_EQ(transport.state(), common::Transport::State::Closed);

    // Our own close raises nothing.
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 2; }));
    transport.close();
    transport.close();
    QEventLoop().processEvents();
    EXPECT_EQ(rec.closed, 1);
}

TEST(QtTransport, DataArrivingDuringANestedLoopIsDeliveredThen)
{
    testsupport::ScriptedPeer peer;
    common::QtTransport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitForConnection());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1; }));

    std::vector<std::string> deliveries;
    bool nestedSeen = false;
    rec.onDataHook = [&](common::ByteView bytes) {
        deliveries.emplace_back(bytes);
        if (bytes == "first") {
            // Like a modal message box: a nested loop runs until the next data arrived.
            peer.send("second");
            nestedSeen = peer.waitUntil([&] { return deliveries.size() == 2; });
        }
    };
    peer.send("first");
    ASSERT_TRUE(peer.waitUntil([&] { return deliveries.size() == 2; }));
    EXPECT_TRUE(nestedSeen);
    EXPECT_EQ(deliveries, (std::vector<std::string>{"first", "second"}));
}

TEST(QtTransport, ConnectedSocketSendsWithoutDelay)
{
    testsupport::ScriptedPeer peer;
    common::QtTransport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1; }));
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ASSERT_EQ(getsockopt(static_cast<int>(transport.descriptor()), IPPROTO_TCP, TCP_NODELAY,
                         &noDelay, &size),
              0);
    EXPECT_NE(noDelay, 0);
}

TEST(QtTransport, StoppedReceivingHoldsBytesAndCloseInOrderWithinItsLimit)
{
    testsupport::ScriptedPeer peer;
    common::QtTransport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1; }));

    transport.setReceiving(false);
    EXPECT_FALSE(transport.receiving());
    QByteArray flood(3 * 1024 * 1024, '\0');
    for (int i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<char>(i * 7);
    peer.send(flood);
    // The socket fills up to its limit and no further: the rest waits with the sender.
    ASSERT_TRUE(peer.waitUntil([&] { return transport.bytesWaiting() >= 1024 * 1024; }));
    QEventLoop().processEvents();
    EXPECT_EQ(transport.bytesWaiting(), 1024 * 1024);
    EXPECT_TRUE(rec.data.empty());

    transport.setReceiving(true);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.data.size() == std::size_t(flood.size()); }));
    EXPECT_EQ(rec.data, flood.toStdString());

    // A close behind held bytes waits for them, and for receiving to resume.
    transport.setReceiving(false);
    peer.send("tail");
    peer.closeConnection();
    ASSERT_TRUE(
        peer.waitUntil([&] { return transport.state() == common::Transport::State::Closed; }));
    QEventLoop().processEvents();
    EXPECT_EQ(rec.closed, 0);
    EXPECT_EQ(rec.data.size(), std::size_t(flood.size()));
    transport.setReceiving(true);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.closed == 1; }));
    EXPECT_EQ(rec.data.substr(rec.data.size() - 4), "tail");
}

TEST(QtTransport, RefusedAttemptRaisesNothing)
{
    testsupport::ScriptedPeer peer;
    const quint16 port = peer.port();
    peer.stopListening();
    common::QtTransport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", port);
    ASSERT_TRUE(
        peer.waitUntil([&] { return transport.state() == common::Transport::State::Closed; }));
    EXPECT_EQ(rec.connected, 0);
    EXPECT_EQ(rec.closed, 0);
}

TEST(QtCoreTimer, RunsTheCoreAtItsDeadlines)
{
    common::SteadyClock clock;
    CountingCore core(clock);
    core.deadline = clock.nowMs() + 5;
    common::QtCoreTimer timer(core, clock);
    testsupport::ScriptedPeer idle; // only for its wait helper
    ASSERT_TRUE(idle.waitUntil([&] { return core.fired == 3; }));
    EXPECT_EQ(core.deadline, -1);
}

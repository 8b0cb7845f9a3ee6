// Before anything that includes windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/Clock.h"
#include "common/win32/MessageWindow.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Win32Transport.h"
#include "common/win32/Winsock.h"
#include "tests/support/Win32Loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using common::Transport;
using testsupport::PumpUntil;

// The other end: a non-blocking listening socket on 127.0.0.1 that accepts one connection
// at a time, reads whatever comes (unless told not to) and writes what it was given as far as
// the system takes it. The test drives it from its message loop.
class Peer
{
public:
    Peer()
    {
        common::StartWinsock();
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(m_listener, 4);
        int size = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
        setNonBlocking(m_listener);
    }
    ~Peer()
    {
        closeConnection();
        stopListening();
    }

    std::uint16_t port() const { return m_port; }
    bool connected() const { return m_connection != INVALID_SOCKET; }
    void stopListening()
    {
        if (m_listener != INVALID_SOCKET)
            closesocket(m_listener);
        m_listener = INVALID_SOCKET;
    }
    void send(const std::string &bytes) { m_out += bytes; }
    // Closes once everything given to send() was written.
    void closeWhenSent() { m_closeWhenSent = true; }
    void closeConnection()
    {
        if (m_connection != INVALID_SOCKET)
            closesocket(m_connection);
        m_connection = INVALID_SOCKET;
    }

    bool reading = true;
    std::string received;

    void step()
    {
        if (m_connection == INVALID_SOCKET && m_listener != INVALID_SOCKET) {
            m_connection = accept(m_listener, nullptr, nullptr);
            if (m_connection != INVALID_SOCKET)
                setNonBlocking(m_connection);
        }
        if (m_connection == INVALID_SOCKET)
            return;
        while (!m_out.empty()) {
            const int n = ::send(m_connection, m_out.data(),
                                 static_cast<int>(std::min<std::size_t>(m_out.size(), 65536)), 0);
            if (n <= 0)
                break;
            m_out.erase(0, static_cast<std::size_t>(n));
        }
        if (m_out.empty() && m_closeWhenSent) {
            m_closeWhenSent = false;
            shutdown(m_connection, SD_SEND);
            closeConnection();
            return;
        }
        char chunk[65536];
        int n = 0;
        while (reading && (n = recv(m_connection, chunk, sizeof chunk, 0)) > 0)
            received.append(chunk, static_cast<std::size_t>(n));
    }

    bool waitUntil(const std::function<bool()> &done)
    {
        return PumpUntil(done, 20000, [this] { step(); });
    }

private:
    static void setNonBlocking(SOCKET s)
    {
        u_long on = 1;
        ioctlsocket(s, FIONBIO, &on);
    }

    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_connection = INVALID_SOCKET;
    std::uint16_t m_port = 0;
    std::string m_out;
    bool m_closeWhenSent = false;
};

class Recorder final : public Transport::Listener
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

std::string pattern(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + static_cast<std::size_t>(seed));
    return bytes;
}

class CountingCore final : public common::TimedCore
{
public:
    explicit CountingCore(const common::Clock &clock) : m_clock(clock) {}
    void onTimer() override
    {
        ++calls;
        if (deadline >= 0 && m_clock.nowMs() >= deadline) {
            ++fired;
            deadline = fired < 3 ? m_clock.nowMs() + 5 : -1;
        }
    }
    std::int64_t nextDeadline() const override { return deadline; }

    std::int64_t deadline = -1;
    int fired = 0;
    int calls = 0;

private:
    const common::Clock &m_clock;
};

} // namespace

TEST(Win32Transport, ConnectsSendsReceivesAndReportsOnlyPeerCloses)
{
    Peer peer;
    common::Win32Transport transport;
    Recorder rec;
    transport.setListener(&rec);

    EXPECT_FALSE(transport.send("x")); // not connected: dropped
    transport.connectTo("127.0.0.1", peer.port());
    EXPECT_EQ(transport.state(), Transport::State::Connecting);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1; }));
    EXPECT_EQ(transport.state(), Transport::State::Connected);

    // Small requests go out at once.
    BOOL noDelay = FALSE;
    int size = sizeof noDelay;
    ASSERT_EQ(getsockopt(transport.socketHandle(), IPPROTO_TCP, TCP_NODELAY,
                         reinterpret_cast<char *>(&noDelay), &size),
              0);
    EXPECT_TRUE(noDelay);

    EXPECT_TRUE(transport.send("hello"));
    ASSERT_TRUE(peer.waitUntil([&] { return peer.received == "hello"; }));

    peer.send("world");
    ASSERT_TRUE(peer.waitUntil([&] { return rec.data == "world"; }));

    // The peer's last bytes come before its close.
    peer.send("bye");
    peer.closeWhenSent();
    ASSERT_TRUE(peer.waitUntil([&] { return rec.closed == 1; }));
    EXPECT_EQ(rec.data, "worldbye");
    EXPECT_EQ(transport.state(), Transport::State::Closed);
    EXPECT_FALSE(transport.send("late"));

    // Our own close raises nothing, also with the peer's bytes and close on the way.
    transport.connectTo("localhost", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 2 && peer.connected(); }));
    transport.setReceiving(false);
    peer.send("unread");
    peer.closeWhenSent();
    ASSERT_TRUE(peer.waitUntil([&] { return !peer.connected() && transport.bytesWaiting() == 6; }));
    transport.setReceiving(true); // a delivery is on its way now
    transport.close();
    transport.close();
    EXPECT_EQ(transport.state(), Transport::State::Closed);
    testsupport::PumpPending();
    EXPECT_EQ(rec.closed, 1);
    EXPECT_EQ(rec.data, "worldbye");
}

TEST(Win32Transport, DataArrivingDuringANestedLoopIsDeliveredThen)
{
    Peer peer;
    common::Win32Transport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1 && peer.connected(); }));

    std::vector<std::string> deliveries;
    bool nestedSeen = false;
    rec.onDataHook = [&](common::ByteView bytes) {
        deliveries.emplace_back(bytes);
        if (bytes == "first") {
            // Like a message box: a nested loop runs until the next data arrived.
            peer.send("second");
            nestedSeen = peer.waitUntil([&] { return deliveries.size() == 2; });
        }
    };
    peer.send("first");
    ASSERT_TRUE(peer.waitUntil([&] { return deliveries.size() == 2; }));
    EXPECT_TRUE(nestedSeen);
    EXPECT_EQ(deliveries, (std::vector<std::string>{"first", "second"}));
}

TEST(Win32Transport, StoppedReceivingHoldsBytesAndCloseInOrderWithinItsLimit)
{
    Peer peer;
    common::Win32Transport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1 && peer.connected(); }));

    transport.setReceiving(false);
    EXPECT_FALSE(transport.receiving());
    const std::string flood = pattern(3 * 1024 * 1024, 0);
    peer.send(flood);
    // The buffer fills up to its limit and no further: the rest waits with the sender.
    ASSERT_TRUE(peer.waitUntil(
        [&] { return transport.bytesWaiting() >= common::Win32Transport::kReadBufferLimit; }));
    testsupport::PumpPending();
    EXPECT_EQ(transport.bytesWaiting(), common::Win32Transport::kReadBufferLimit);
    EXPECT_TRUE(rec.data.empty());

    transport.setReceiving(true);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.data.size() == flood.size(); }));
    EXPECT_TRUE(rec.data == flood);

    // A close behind held bytes waits for them, and for receiving to resume.
    transport.setReceiving(false);
    peer.send("tail");
    peer.closeWhenSent();
    ASSERT_TRUE(peer.waitUntil([&] { return !peer.connected() && transport.bytesWaiting() == 4; }));
    testsupport::PumpPending();
    EXPECT_EQ(rec.closed, 0);
    EXPECT_EQ(rec.data.size(), flood.size());
    transport.setReceiving(true);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.closed == 1; }));
    EXPECT_EQ(rec.data.substr(rec.data.size() - 4), "tail");
}

TEST(Win32Transport, QueuesWhatTheSystemCannotTakeAndWritesItLater)
{
    Peer peer;
    common::Win32Transport transport;
    Recorder rec;
    transport.setListener(&rec);
    transport.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1 && peer.connected(); }));

    peer.reading = false;
    const std::string big = pattern(8 * 1024 * 1024, 3);
    EXPECT_TRUE(transport.send(big.substr(0, big.size() / 2)));
    EXPECT_TRUE(transport.send(big.substr(big.size() / 2)));
    EXPECT_GT(transport.bytesToWrite(), 0u); // more than the system buffers hold
    peer.reading = true;
    ASSERT_TRUE(peer.waitUntil([&] { return peer.received.size() == big.size(); }));
    EXPECT_TRUE(peer.received == big);
    EXPECT_EQ(transport.bytesToWrite(), 0u);
}

TEST(Win32Transport, FailedAttemptsRaiseNothing)
{
    Peer peer;
    const std::uint16_t port = peer.port();
    peer.stopListening();
    for (const char *host : {"127.0.0.1", "no-such-host.invalid"}) {
        SCOPED_TRACE(host);
        common::Win32Transport transport;
        Recorder rec;
        transport.setListener(&rec);
        transport.connectTo(host, port);
        ASSERT_TRUE(PumpUntil([&] { return transport.state() == Transport::State::Closed; }));
        testsupport::PumpPending();
        EXPECT_EQ(rec.connected, 0);
        EXPECT_EQ(rec.closed, 0);
    }
}

TEST(Win32CoreTimer, RunsTheCoreAtItsDeadlinesAndAfterWorkHandedBack)
{
    common::SteadyClock clock;
    CountingCore core(clock);
    core.deadline = clock.nowMs() + 5;
    common::Win32CoreTimer timer(core, clock);
    ASSERT_TRUE(PumpUntil([&] { return core.fired == 3; }));
    EXPECT_EQ(core.deadline, -1);
    testsupport::PumpPending();
    const int calls = core.calls;

    // Work handed back from another thread may give the core a deadline; the timer is armed
    // for it once the work has run.
    common::MessageWindow window({});
    std::thread worker([&] {
        window.call([&] {
            core.fired = 0;
            core.deadline = clock.nowMs() + 5;
        });
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return core.fired == 3; }));
    EXPECT_GE(core.calls, calls + 3);
}

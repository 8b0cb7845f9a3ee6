// Before anything that includes windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/Clock.h"
#include "common/win32/MessageWindow.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Win32Transport.h"
#include "common/win32/Winsock.h"
#include "tests/common/TransportContract.h"
#include "tests/support/Win32Loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

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
    const std::string &received() const { return m_received; }

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
            m_received.append(chunk, static_cast<std::size_t>(n));
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
    std::string m_received;
    bool m_closeWhenSent = false;
};

struct Win32Adapters
{
    using Transport = common::Win32Transport;
    using CoreTimer = common::Win32CoreTimer;
    using Peer = ::Peer;
    static constexpr std::size_t kReadBufferLimit = common::Win32Transport::kReadBufferLimit;

    static bool noDelay(const Transport &transport)
    {
        BOOL on = FALSE;
        int size = sizeof on;
        return getsockopt(transport.socketHandle(), IPPROTO_TCP, TCP_NODELAY,
                          reinterpret_cast<char *>(&on), &size) == 0 &&
               on;
    }
    static void pumpPending() { testsupport::PumpPending(); }
    static bool pumpUntil(const std::function<bool()> &done) { return PumpUntil(done); }
};

using ConnectedWin32Transport = transportcontract::TransportContract<Win32Adapters>;
using transportcontract::CountingCore;
using transportcontract::pattern;

} // namespace

namespace transportcontract {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, TransportContract, Win32Adapters);
} // namespace transportcontract

TEST_F(ConnectedWin32Transport, QueuesWhatTheSystemCannotTakeAndWritesItLater)
{
    ASSERT_TRUE(connect());
    m_peer.reading = false;
    const std::string big = pattern(8 * 1024 * 1024, 3);
    EXPECT_TRUE(m_transport.send(big.substr(0, big.size() / 2)));
    EXPECT_TRUE(m_transport.send(big.substr(big.size() / 2)));
    EXPECT_GT(m_transport.bytesToWrite(), 0u); // more than the system buffers hold
    m_peer.reading = true;
    ASSERT_TRUE(m_peer.waitUntil([&] { return m_peer.received().size() == big.size(); }));
    EXPECT_TRUE(m_peer.received() == big);
    EXPECT_EQ(m_transport.bytesToWrite(), 0u);
}

// Work handed back from another thread may give the core a deadline; the timer is armed for
// it once the work has run.
TEST(Win32CoreTimer, IsArmedAfterWorkHandedBack)
{
    common::SteadyClock clock;
    CountingCore core(clock);
    common::Win32CoreTimer timer(core, clock);
    testsupport::PumpPending();
    const int calls = core.calls;

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

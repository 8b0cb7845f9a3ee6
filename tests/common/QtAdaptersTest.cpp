// The transport contract over the Qt adapters: QtTransport and QtCoreTimer.
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "tests/common/TransportContract.h"
#include "tests/support/ScriptedPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The scripted loopback peer in the contract's terms.
class QtPeer
{
public:
    std::uint16_t port() const { return m_peer.port(); }
    bool connected() const { return m_peer.hasConnection(); }
    void stopListening() { m_peer.stopListening(); }
    void send(const std::string &bytes)
    {
        m_peer.send(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    void closeWhenSent() { m_peer.closeConnection(); }
    std::string received() const { return m_peer.received().toStdString(); }
    bool waitUntil(const std::function<bool()> &done) { return m_peer.waitUntil(done, 20000); }

private:
    testsupport::ScriptedPeer m_peer;
};

struct QtAdapters
{
    using Transport = common::QtTransport;
    using CoreTimer = common::QtCoreTimer;
    using Peer = QtPeer;
    static constexpr std::size_t kReadBufferLimit = 1024 * 1024;

    static bool noDelay(const Transport &transport)
    {
        int on = 0;
        socklen_t size = sizeof on;
        return getsockopt(static_cast<int>(transport.descriptor()), IPPROTO_TCP, TCP_NODELAY, &on,
                          &size) == 0 &&
               on != 0;
    }
    static void pumpPending() { QCoreApplication::processEvents(); }
    static bool pumpUntil(const std::function<bool()> &done)
    {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }
};

} // namespace

namespace transportcontract {
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, TransportContract, QtAdapters);
} // namespace transportcontract

namespace {

std::vector<std::string> g_qtMessages;

// Closing a transport that never connected (the Registry's probe at start-up, and its
// connection before the first attempt) has nothing to drop, and says nothing on the console.
TEST(QtTransport, ClosingBeforeAnyConnectionSaysNothing)
{
    g_qtMessages.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            g_qtMessages.push_back(text.toStdString());
        });
    common::QtTransport transport;
    transport.close();
    transport.close();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_qtMessages.empty()) << g_qtMessages.front();
}

} // namespace

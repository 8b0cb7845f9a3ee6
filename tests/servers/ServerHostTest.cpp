// The servers behind real sockets on loopback.

#include "servers/ServerHost.h"
#include "servers/RegistryServerCore.h"
#include "servers/UpdateServerCore.h"

#include "FakeConnections.h"
#include "updater/files/Packing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace servers;
using namespace servertest;
using common::byteString;

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QByteArray qbytes(const Bytes &b)
{
    return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
}

struct Client
{
    QTcpSocket socket;
    QByteArray received;
    bool gone = false;

    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { gone = true; });
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    bool connected()
    {
        return waitUntil([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    void send(const Bytes &bytes) { socket.write(qbytes(bytes)); }
};

} // namespace

TEST(ServerHost, RegistryServerGreetsAndBootsOverTcp)
{
    QTemporaryDir dir;
    AccountStore accounts(dir.filePath("a.txt").toStdString(), 1000);
    ServerDirectory directory(dir.filePath("s.txt").toStdString());
    common::SteadyClock clock;
    LogLines log;
    ServerHost host(log.function());
    RegistryServerCore core({clock, host, accounts, directory, log.function()}, {});
    host.setHandler(&core);
    QString error;
    ASSERT_TRUE(host.listen(QHostAddress(QHostAddress::LocalHost), 0, &error))
        << error.toStdString();

    Client client(host.port());
    ASSERT_TRUE(client.connected());
    client.send(*common::BuildPacket(Bytes("\0R0.7\0"
                                           "42",
                                           8),
                                     common::PacketKind::WithCheckCharacter));
    // VersionAccepted, ServerListClear, UserListClear.
    const QByteArray greeting = qbytes(byteString({0, 3, 0, 0, 0, 0, 1, 8, 0, 2, 6, 0}));
    ASSERT_TRUE(waitUntil([&] { return client.received.size() >= greeting.size(); }));
    EXPECT_EQ(client.received, greeting);

    client.received.clear();
    client.send(byteString({0, 1, 99, 2})); // keep-alive with a wrong check character
    ASSERT_TRUE(waitUntil([&] { return client.gone; }));
    EXPECT_EQ(client.received, qbytes(byteString({0, 2, 2, 5})));
    EXPECT_TRUE(waitUntil([&] { return core.connectionCount() == 0; }));
    EXPECT_TRUE(log.contains("127.0.0.1"));
}

TEST(ServerHost, PeerClosingIsReported)
{
    QTemporaryDir dir;
    AccountStore accounts(dir.filePath("a.txt").toStdString(), 1000);
    ServerDirectory directory(dir.filePath("s.txt").toStdString());
    common::SteadyClock clock;
    LogLines log;
    ServerHost host(log.function());
    RegistryServerCore core({clock, host, accounts, directory, log.function()}, {});
    host.setHandler(&core);
    ASSERT_TRUE(host.listen(QHostAddress(QHostAddress::LocalHost), 0, nullptr));
    {
        Client client(host.port());
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(waitUntil([&] { return core.connectionCount() == 1; }));
        client.socket.disconnectFromHost();
    }
    EXPECT_TRUE(waitUntil([&] { return core.connectionCount() == 0; }));
    EXPECT_TRUE(log.contains("disconnected"));
}

TEST(ServerHost, UpdateServerSendsALargeFileWhole)
{
    QTemporaryDir dir;
    const QString client = dir.filePath("Client");
    QDir().mkpath(client);
    Bytes content(3 * 1024 * 1024, '\0');
    std::mt19937 random(3);
    for (auto &c : content)
        c = static_cast<char>(random() % 256); // incompressible
    {
        QFile file(client + "/Big.bin");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(qbytes(content));
    }
    common::SteadyClock clock;
    LogLines log;
    GameFolder folder(client.toStdString(), {}, log.function());
    ServerHost host(log.function());
    UpdateServerCore core({clock, host, folder, log.function()}, {});
    host.setHandler(&core);
    ASSERT_TRUE(host.listen(QHostAddress(QHostAddress::LocalHost), 0, nullptr));

    Client updater(host.port());
    ASSERT_TRUE(updater.connected());
    updater.send(byteString({0, 7, 0}) + "V5.323");
    updater.send(byteString({0, 2, 1, 2}));
    const Bytes packed = updater::PackedMarker() + updater::Pack(content);
    // FileCount, FileInfo, FileListEnd, FileData header, then the packed bytes.
    ASSERT_TRUE(waitUntil(
        [&] { return updater.received.endsWith(qbytes(packed.substr(packed.size() - 64))); },
        20000));
    common::ReceiveBuffer buffer;
    buffer.append(updater.received.toStdString());
    std::vector<common::Packet> packets;
    while (auto p = buffer.cutPacket()) {
        packets.push_back(*p);
        if (p->type == 5)
            break;
    }
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(
        packets[3],
        packet(5, byteString({2}) + common::EncodeLong(static_cast<std::int32_t>(packed.size()))));
    EXPECT_TRUE(Bytes(buffer.view()) == packed);
}

TEST(ServerHost, ParsesListenAddresses)
{
    struct Case
    {
        const char *text;
        bool ok;
        const char *host;
        quint16 port;
    };
    const Case cases[] = {
        {"127.0.0.1:2600", true, "127.0.0.1", 2600},
        {"0.0.0.0:1", true, "0.0.0.0", 1},
        {"localhost:26000", true, "127.0.0.1", 26000},
        {"127.0.0.5", true, "127.0.0.5", 9},
        {":2700", true, "127.0.0.1", 2700},
        {"[::1]:2600", true, "::1", 2600},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:x", false, "", 0},
        {"no.such.host:1", false, "", 0},
        {"::1:2600", false, "", 0},
    };
    for (const auto &c : cases) {
        QHostAddress address(QHostAddress::LocalHost);
        quint16 port = 9;
        const bool ok = ParseListenAddress(QString::fromLatin1(c.text), address, port);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (ok && c.ok) {
            EXPECT_EQ(address, QHostAddress(QString::fromLatin1(c.host))) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

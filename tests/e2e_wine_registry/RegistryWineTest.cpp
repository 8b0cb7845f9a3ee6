// Registry.exe under wine against the native reference registry server on loopback, with
// automatic login from registry.ini, and chat with a second client on Linux that speaks the
// protocol itself. What the Windows program receives is read from the wire through a
// recording relay.
#include "common/Codec.h"
#include "common/ReceiveBuffer.h"
#include "servers/AccountStore.h"
#include "servers/ServerDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using common::Bytes;

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 60000)
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

// The packets the server sent in a stream.
std::vector<common::Packet> packets(const QByteArray &stream)
{
    common::ReceiveBuffer buffer;
    buffer.append(stream.toStdString());
    std::vector<common::Packet> out;
    while (auto packet = buffer.cutPacket())
        out.push_back(*packet);
    return out;
}

// A packet of the type whose fields hold the text.
bool hasPacket(const QByteArray &stream, std::uint8_t type, const Bytes &text)
{
    for (const common::Packet &packet : packets(stream))
        if (packet.type == type && packet.fields.find(text) != Bytes::npos)
            return true;
    return false;
}

// What a Registry client sends: length word, check character, body.
QByteArray framed(const Bytes &body)
{
    return QByteArray::fromStdString(
        *common::BuildPacket(body, common::PacketKind::WithCheckCharacter));
}

// Relays one client's connection to the server and records what the client receives.
class Relay
{
public:
    explicit Relay(quint16 serverPort) : m_serverPort(serverPort)
    {
        m_listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *client = m_listener.nextPendingConnection()) {
                auto *server = new QTcpSocket(client);
                QObject::connect(client, &QTcpSocket::readyRead,
                                 [client, server] { server->write(client->readAll()); });
                QObject::connect(server, &QTcpSocket::readyRead, [this, client, server] {
                    const QByteArray bytes = server->readAll();
                    toClient += bytes;
                    client->write(bytes);
                });
                server->connectToHost(QHostAddress::LocalHost, m_serverPort);
                server->waitForConnected(5000);
            }
        });
    }
    quint16 port() const { return m_listener.serverPort(); }
    QByteArray toClient;

private:
    quint16 m_serverPort;
    QTcpServer m_listener;
};

class RegistryUnderWine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_windowsBin = qEnvironmentVariable("TALMORA_WINDOWS_BIN");
        if (m_windowsBin.isEmpty() || qEnvironmentVariable("DISPLAY").isEmpty())
            GTEST_SKIP() << "needs TALMORA_WINDOWS_BIN and a display (xvfb-run)";
    }
    void TearDown() override
    {
        for (QProcess *process : {&m_client, &m_server}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    QProcessEnvironment wineEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("WINEPREFIX")))
            env.insert(QStringLiteral("WINEPREFIX"),
                       m_windowsBin + QStringLiteral("/../wineprefix"));
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        return env;
    }

    bool serverLogged(const QByteArray &text)
    {
        return waitUntil([&] {
            m_serverLog += m_server.readAll();
            return m_serverLog.contains(text);
        });
    }

    QString m_windowsBin;
    QTemporaryDir m_dir;
    QProcess m_server;
    QProcess m_client;
    QByteArray m_serverLog;
};

TEST_F(RegistryUnderWine, AutomaticLoginServerListAndChatWithALinuxClient)
{
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    {
        servers::AccountStore accounts((data + "/accounts.txt").toStdString(), 1000);
        ASSERT_EQ(accounts.create("demo", "tales"), servers::AccountStore::CreateResult::Created);
        ASSERT_EQ(accounts.create("Mira", "moonlight"),
                  servers::AccountStore::CreateResult::Created);
        servers::ServerDirectory directory((data + "/servers.txt").toStdString());
        servers::ListedServer east{0, "Eastmarch", "Mira", "127.0.0.1", 5750, true, 12};
        ASSERT_EQ(directory.add(east), servers::ServerDirectory::AddResult::Added);
    }
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(QStringLiteral(TALMORA_DEFAULT_BIN_DIR "/RegistryServer"),
                   {QStringLiteral("--data"), data, QStringLiteral("--listen"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--allow-same-machine")});
    ASSERT_TRUE(serverLogged("listening on")) << m_serverLog.toStdString();
    const auto match = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"))
                           .match(QString::fromLatin1(m_serverLog));
    ASSERT_TRUE(match.hasMatch());
    Relay relay(static_cast<quint16>(match.captured(1).toUInt()));

    // The Windows program in a folder of its own, automatic login stored (the password is
    // kept reversed).
    const QString folder = m_dir.filePath(QStringLiteral("client"));
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::copy(m_windowsBin + "/Registry.exe", folder + "/Registry.exe"));
    QFile ini(folder + "/registry.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Account]\r\nUser=demo\r\nAutoLogin=1\r\nPassword=selat\r\n");
    ini.close();
    m_client.setProcessEnvironment(wineEnvironment());
    m_client.setWorkingDirectory(folder);
    m_client.start(QStringLiteral("/usr/lib/wine/wine64"),
                   {QStringLiteral("Registry.exe"), QStringLiteral("--server"),
                    QStringLiteral("127.0.0.1:%1").arg(relay.port())});
    ASSERT_TRUE(m_client.waitForStarted(10000));

    ASSERT_TRUE(serverLogged("(demo) logged in")) << m_serverLog.toStdString();
    ASSERT_TRUE(waitUntil([&] { return hasPacket(relay.toClient, 5, Bytes("\2\0demo", 6)); }));
    // The server list reached the Windows program.
    ASSERT_TRUE(waitUntil([&] { return hasPacket(relay.toClient, 1, "Eastmarch"); }));

    // The Linux client: greeting, login, a chat line.
    QTcpSocket linux;
    QByteArray linuxReceived;
    QObject::connect(&linux, &QTcpSocket::readyRead, [&] { linuxReceived += linux.readAll(); });
    linux.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(match.captured(1).toUInt()));
    ASSERT_TRUE(linux.waitForConnected(5000));
    linux.write(framed(Bytes("\0R0.7\0", 6) + "777"));
    linux.write(framed(Bytes("\3\1Mira\0moonlight", 16)));
    ASSERT_TRUE(waitUntil([&] { return hasPacket(linuxReceived, 5, "Mira"); }));
    // The Windows program's users list gets the second user.
    EXPECT_TRUE(waitUntil([&] { return hasPacket(relay.toClient, 6, "Mira"); }));
    linux.write(framed("\5hello from linux"));
    ASSERT_TRUE(waitUntil([&] { return hasPacket(relay.toClient, 7, "hello from linux"); }))
        << "the chat line did not reach the Windows program";
}

} // namespace

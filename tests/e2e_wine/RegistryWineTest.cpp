// Registry.exe under wine against the native reference registry server on loopback, with
// automatic login from registry.ini, and chat both ways with a second client on Linux that
// speaks the protocol itself. What the Windows program receives is read from the wire through
// a recording relay; its chat line is typed into its own controls by a helper program run
// under wine beside it.
#include "common/Codec.h"
#include "common/ReceiveBuffer.h"
#include "servers/AccountStore.h"
#include "servers/ServerDirectory.h"
#include "tests/e2e_wine/WineFixture.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <vector>

using common::Bytes;

namespace {

using winetest::kCapMs;
using winetest::WaitUntil;

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

// The fields of the packets of the type.
std::vector<Bytes> fieldsOf(const QByteArray &stream, std::uint8_t type)
{
    std::vector<Bytes> out;
    for (const common::Packet &packet : packets(stream))
        if (packet.type == type)
            out.push_back(packet.fields);
    return out;
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
                m_client = client;
                QObject::connect(client, &QTcpSocket::readyRead, [this, client, server] {
                    const QByteArray bytes = client->readAll();
                    fromClient += bytes;
                    server->write(bytes);
                });
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
    // A packet to the client as if the server had sent it.
    void sendToClient(const Bytes &body)
    {
        m_client->write(
            QByteArray::fromStdString(*common::BuildPacket(body, common::PacketKind::Plain)));
    }
    QByteArray toClient;
    QByteArray fromClient;

private:
    QTcpSocket *m_client = nullptr;
    quint16 m_serverPort;
    QTcpServer m_listener;
};

// The bodies of what a Registry client sent.
std::vector<Bytes> sentBodies(const QByteArray &stream)
{
    std::vector<Bytes> out;
    std::size_t pos = 0;
    const Bytes bytes = stream.toStdString();
    while (pos + 3 <= bytes.size()) {
        const std::size_t length = common::DecodeLength(std::string_view(bytes).substr(pos, 2));
        out.push_back(bytes.substr(pos + 3, length));
        pos += 3 + length;
    }
    return out;
}

class RegistryUnderWine : public winetest::WineTest
{
protected:
    // The reference server with the accounts "demo" and "Mira" and one listed server.
    QString makeServerData()
    {
        const QString data = path(QStringLiteral("data"));
        QDir().mkpath(data);
        servers::AccountStore accounts((data + "/accounts.txt").toStdString(), 1000);
        EXPECT_EQ(accounts.create("demo", "tales"), servers::AccountStore::CreateResult::Created);
        EXPECT_EQ(accounts.create("Mira", "moonlight"),
                  servers::AccountStore::CreateResult::Created);
        servers::ServerDirectory directory((data + "/servers.txt").toStdString());
        servers::ListedServer east{0, "Eastmarch", "Mira", "127.0.0.1", 5750, true, 12};
        EXPECT_EQ(directory.add(east), servers::ServerDirectory::AddResult::Added);
        return data;
    }
    // The Windows program in a folder of its own, through the relay, with automatic login as
    // "demo" stored (the password is kept reversed).
    QString startRegistry(const Relay &relay)
    {
        const QString folder = path(QStringLiteral("client"));
        const QString program = winetest::install(QStringLiteral("Registry.exe"), folder);
        winetest::put(folder + "/registry.ini",
                      "[Account]\r\nUser=demo\r\nAutoLogin=1\r\nPassword=selat\r\n");
        startWine(m_client, program,
                  {QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(relay.port())},
                  folder);
        EXPECT_TRUE(m_client.waitForStarted(10000));
        return folder;
    }
    // A client on Linux that logs in as "Mira".
    void logInMira(QTcpSocket &linux, QByteArray &received, quint16 port)
    {
        QObject::connect(&linux, &QTcpSocket::readyRead, [&] { received += linux.readAll(); });
        linux.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(linux.waitForConnected(5000));
        linux.write(framed(Bytes("\0R0.7\0", 6) + "777"));
        linux.write(framed(Bytes("\3\1Mira\0moonlight", 16)));
        ASSERT_TRUE(WaitUntil([&] { return hasPacket(received, 5, "Mira"); }, kCapMs));
    }

    void TearDown() override
    {
        if (m_client.state() == QProcess::NotRunning)
            return;
        m_client.terminate();
        if (!m_client.waitForFinished(5000))
            m_client.kill();
        m_client.waitForFinished(5000);
    }
    QProcess m_client;
};

TEST_F(RegistryUnderWine, AutomaticLoginServerListAndChatBothWaysWithALinuxClient)
{
    const QString data = makeServerData();
    winetest::Server server(
        QStringLiteral("RegistryServer"),
        {QStringLiteral("--data"), data, QStringLiteral("--allow-same-machine")});
    ASSERT_NE(server.port(), 0) << server.log().toStdString();
    Relay relay(server.port());
    const QString folder = startRegistry(relay);

    ASSERT_TRUE(server.logged("(demo) logged in", kCapMs)) << server.log().toStdString();
    ASSERT_TRUE(
        WaitUntil([&] { return hasPacket(relay.toClient, 5, Bytes("\2\0demo", 6)); }, kCapMs));
    // The server list reached the Windows program.
    ASSERT_TRUE(WaitUntil([&] { return hasPacket(relay.toClient, 1, "Eastmarch"); }, kCapMs));

    // The Linux client: greeting, login, a chat line.
    QTcpSocket linux;
    QByteArray linuxReceived;
    logInMira(linux, linuxReceived, server.port());
    // The Windows program's users list gets the second user.
    EXPECT_TRUE(WaitUntil([&] { return hasPacket(relay.toClient, 6, "Mira"); }, kCapMs));
    linux.write(framed("\5hello from linux"));
    ASSERT_TRUE(WaitUntil([&] { return hasPacket(relay.toClient, 7, "hello from linux"); }, kCapMs))
        << "the chat line did not reach the Windows program";

    // The other way: a line typed into the Windows program's chat box and sent with Enter
    // reaches the Linux client as it was typed, once.
    const QString typed = QStringLiteral("greetings from windows, 100% & <ok>");
    QProcess typer;
    startWine(typer, winetest::windowsBin() + "/chat_typer.exe", {typed}, folder);
    ASSERT_TRUE(WaitUntil([&] { return typer.state() == QProcess::NotRunning; }, kCapMs));
    ASSERT_EQ(typer.exitCode(), 0) << typer.readAll().toStdString();
    const Bytes expected = "demo: " + typed.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return hasPacket(linuxReceived, 7, expected); }, kCapMs))
        << server.log().toStdString();
    const std::vector<Bytes> lines = fieldsOf(linuxReceived, 7);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1);
    EXPECT_EQ(lines.back(), expected);
}

// Another player's chat line of two bytes that the system's text shaping once died of: the
// Windows program shows the line and still answers the server's pings.
TEST_F(RegistryUnderWine, AChatLineOfAnyBytesIsShownAndTheProgramLivesOn)
{
    winetest::Server server(
        QStringLiteral("RegistryServer"),
        {QStringLiteral("--data"), makeServerData(), QStringLiteral("--allow-same-machine")});
    ASSERT_NE(server.port(), 0) << server.log().toStdString();
    Relay relay(server.port());
    const QString folder = startRegistry(relay);
    ASSERT_TRUE(server.logged("(demo) logged in", kCapMs)) << server.log().toStdString();
    QTcpSocket linux;
    QByteArray linuxReceived;
    logInMira(linux, linuxReceived, server.port());

    linux.write(framed("\5\xB4\x98"));
    const Bytes line = "Mira: \xB4\x98";
    ASSERT_TRUE(WaitUntil([&] { return hasPacket(relay.toClient, 7, line); }, kCapMs));
    QProcess reader;
    startWine(reader, winetest::windowsBin() + "/chat_reader.exe",
              {QString::fromLatin1(QByteArray::fromStdString(line).toHex())}, folder);
    ASSERT_TRUE(WaitUntil([&] { return reader.state() == QProcess::NotRunning; }, kCapMs));
    EXPECT_EQ(reader.exitCode(), 0) << "the line is not in the chat log";

    auto keepAlives = [&] {
        const std::vector<Bytes> sent = sentBodies(relay.fromClient);
        return std::count(sent.begin(), sent.end(), Bytes("\2"));
    };
    const auto before = keepAlives();
    relay.sendToClient("\4");
    EXPECT_TRUE(WaitUntil([&] { return keepAlives() > before; }, kCapMs))
        << "the ping went unanswered";
    EXPECT_EQ(m_client.state(), QProcess::Running);
}

} // namespace

// The four programs together, on loopback: the real Updater against the real update server,
// the real Registry client against the real registry server, with a scripted second client.
// What the programs do is read from the wire (through a recording relay), the files they
// leave, the programs they start and the servers' logs.

#include "common/Codec.h"
#include "common/ReceiveBuffer.h"
#include "servers/AccountStore.h"
#include "servers/CheckedFraming.h"
#include "servers/ServerDirectory.h"
#include "tests/support/ReferenceServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using common::Bytes;
using common::byteString;
using common::Packet;

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 15000)
{
    return testsupport::WaitUntil(condition, timeoutMs);
}

// The build's programs: TALMORA_BIN_DIR when set, else the folder this test was built for.
QString binDir()
{
    const QString fromEnvironment = qEnvironmentVariable("TALMORA_BIN_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(TALMORA_DEFAULT_BIN_DIR) : fromEnvironment;
}

void put(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QByteArray get(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

// A program copied into a folder of its own: the programs keep their files beside themselves.
QString install(const QString &program, const QString &folder)
{
    QDir().mkpath(folder);
    const QString target = folder + "/" + program;
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(binDir() + "/" + program, target)) << program.toStdString();
    QFile(target).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                 QFileDevice::ExeOwner);
    return target;
}

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// One of the reference servers of this build, on an ephemeral port.
class Server : public testsupport::ReferenceServer
{
public:
    Server(const QString &program, QStringList arguments)
        : ReferenceServer(binDir(), program, std::move(arguments))
    {
    }
};

// Relays one client's connection to a server and records both directions.
class RecordingRelay
{
public:
    explicit RecordingRelay(quint16 serverPort) : m_serverPort(serverPort)
    {
        m_listener.listen(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this] { accept(); });
    }
    quint16 port() const { return m_listener.serverPort(); }
    QByteArray toClient;
    QByteArray toServer;

private:
    void accept()
    {
        while (QTcpSocket *client = m_listener.nextPendingConnection()) {
            auto *server = new QTcpSocket(client);
            QObject::connect(client, &QTcpSocket::readyRead, [this, client, server] {
                const QByteArray data = client->readAll();
                toServer += data;
                server->write(data);
            });
            QObject::connect(server, &QTcpSocket::readyRead, [this, client, server] {
                const QByteArray data = server->readAll();
                toClient += data;
                client->write(data);
            });
            QObject::connect(server, &QTcpSocket::disconnected, client,
                             &QTcpSocket::disconnectFromHost);
            QObject::connect(client, &QTcpSocket::disconnected, server,
                             &QTcpSocket::disconnectFromHost);
            server->connectToHost(QStringLiteral("127.0.0.1"), m_serverPort);
            server->waitForConnected(5000);
        }
    }
    QTcpServer m_listener;
    quint16 m_serverPort;
};

std::vector<Packet> plainPackets(const QByteArray &bytes)
{
    common::ReceiveBuffer buffer;
    buffer.append(bytes.toStdString());
    std::vector<Packet> out;
    while (auto p = buffer.cutPacket())
        out.push_back(*p);
    return out;
}

std::vector<Packet> checkedPackets(const QByteArray &bytes)
{
    common::ReceiveBuffer buffer;
    buffer.append(bytes.toStdString());
    std::vector<Packet> out;
    while (true) {
        const auto cut = servers::CutCheckedPacket(buffer, 4096);
        if (cut.result != servers::CheckedCut::Result::Packet)
            return out;
        out.push_back(cut.packet);
    }
}

// The names of the last complete user list (after the last UserListClear).
std::vector<Bytes> lastUserList(const std::vector<Packet> &packets)
{
    std::vector<Bytes> names;
    for (const auto &p : packets) {
        if (p.type == 6 && p.fields == Bytes(1, '\0'))
            names.clear();
        else if (p.type == 6 && p.fields.size() >= 2 && p.fields[0] == '\1')
            names.push_back(p.fields.substr(2));
    }
    return names;
}

bool has(const std::vector<Packet> &packets, const Packet &wanted)
{
    return std::find(packets.begin(), packets.end(), wanted) != packets.end();
}

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(EndToEnd, UpdaterBringsAnEmptyFolderUpToDateAndThenFindsNothingToDo)
{
    // The update server's side: a game folder with sub-folders, and zlib.dll.
    const QString served = path("served/Client");
    QByteArray map;
    for (int i = 0; i < 20000; ++i)
        map += QByteArray::number(i * 7919 % 10007) + ' ';
    const QMap<QString, QByteArray> files = {
        {"Readme.txt", "Welcome to Talmora.\n"},
        {"Maps/Town/Square.map", map},
        {"Maps/Field/Meadow.map", map.left(5000)},
        {"Data/Items.dat", QByteArray("\0\1\2\3\377", 5)},
        {"Empty.txt", ""},
        // The program the Updater hands over to: it notes each start beside itself.
        {"Next", "#!/bin/sh\necho started >> \"$(dirname \"$0\")/started.txt\"\n"},
    };
    for (auto it = files.begin(); it != files.end(); ++it)
        put(served + "/" + it.key(), it.value());
    put(path("served/Program/zlib.dll"), "the zlib library");

    Server updateServer(QStringLiteral("UpdateServer"),
                        {QStringLiteral("--folder"), served, QStringLiteral("--program-files"),
                         path("served/Program"), QStringLiteral("--launch"),
                         QStringLiteral("Next")});
    ASSERT_NE(updateServer.port(), 0) << updateServer.log().toStdString();

    // The player's folder holds only the Updater.
    const QString player = path("player");
    const QString updater = install(QStringLiteral("Updater"), player);
    auto runUpdater = [&](const QStringList &options = {}) {
        QProcess process;
        process.setProcessEnvironment(offscreen());
        process.setWorkingDirectory(player);
        process.start(updater, options + QStringList{QStringLiteral("127.0.0.1"),
                                                     QString::number(updateServer.port())});
        EXPECT_TRUE(process.waitForFinished(60000)) << "the Updater did not end";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    };
    auto startedCount = [&] { return get(player + "/Client/started.txt").count("started"); };

    runUpdater();
    // zlib.dll first (it was missing), then every file, written where it belongs.
    EXPECT_EQ(get(player + "/zlib.dll"), "the zlib library");
    for (auto it = files.begin(); it != files.end(); ++it)
        EXPECT_EQ(get(player + "/Client/" + it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(get(player + "/Version.dat").size(), 79 * files.size());
    const QByteArray firstRun = updateServer.loggedSince(0, "disconnected");
    EXPECT_TRUE(firstRun.contains("sending zlib.dll"));
    EXPECT_EQ(firstRun.count("sending "), files.size() + 1);
    // The hand-over started the launch program named by the server.
    EXPECT_TRUE(waitUntil([&] { return startedCount() == 1; }));

    // A second run finds nothing to do: it asks for the list, downloads nothing, hands over.
    const QByteArray versions = get(player + "/Version.dat");
    const qsizetype logBefore = updateServer.log().size();
    runUpdater();
    const QByteArray secondRun = updateServer.loggedSince(logBefore, "disconnected");
    EXPECT_TRUE(secondRun.contains("sent the list of 6 file(s)"));
    EXPECT_FALSE(secondRun.contains("sending ")) << secondRun.toStdString();
    EXPECT_EQ(get(player + "/Version.dat"), versions);
    EXPECT_TRUE(waitUntil([&] { return startedCount() == 2; }));

    // A file changed on the server is the only one fetched by the next run.
    put(served + "/Readme.txt", "Welcome back to Talmora.\n");
    const qsizetype logBeforeThird = updateServer.log().size();
    runUpdater();
    EXPECT_EQ(get(player + "/Client/Readme.txt"), "Welcome back to Talmora.\n");
    const QByteArray thirdRun = updateServer.loggedSince(logBeforeThird, "disconnected");
    EXPECT_EQ(thirdRun.count("sending "), 1) << thirdRun.toStdString();
    EXPECT_TRUE(thirdRun.contains("sending Readme.txt"));

    // A file damaged on disk is taken as current while Version.dat vouches for it; a repair
    // checks every file and fetches it again.
    put(player + "/Client/Maps/Town/Square.map", map.left(100) + "damaged");
    const qsizetype logBeforeRepair = updateServer.log().size();
    runUpdater({QStringLiteral("--repair")});
    EXPECT_EQ(get(player + "/Client/Maps/Town/Square.map"), map);
    const QByteArray repairRun = updateServer.loggedSince(logBeforeRepair, "disconnected");
    EXPECT_EQ(repairRun.count("sending "), 1) << repairRun.toStdString();
    EXPECT_TRUE(repairRun.contains("sending Maps\\Town\\Square.map")) << repairRun.toStdString();
    EXPECT_EQ(get(player + "/Version.dat").size(), 79 * files.size());
}

TEST_F(EndToEnd, RegistryLogsInAutomaticallyReceivesTheListsAndTheChat)
{
    // The registry's data: two accounts and two listed servers.
    const QString data = path("registry-data");
    QDir().mkpath(data);
    {
        servers::AccountStore accounts((data + "/accounts.txt").toStdString(), 1000);
        ASSERT_EQ(accounts.create("demo", "tales"), servers::AccountStore::CreateResult::Created);
        ASSERT_EQ(accounts.create("Mira", "moonlight"),
                  servers::AccountStore::CreateResult::Created);
        servers::ServerDirectory directory((data + "/servers.txt").toStdString());
        servers::ListedServer east{0, "Eastmarch", "Mira", "127.0.0.1", 5750, true, 12};
        servers::ListedServer harbour{0, "Old Harbour", "Brannoc", "127.0.0.1", 5752, false, 0};
        ASSERT_EQ(directory.add(east), servers::ServerDirectory::AddResult::Added);
        ASSERT_EQ(directory.add(harbour), servers::ServerDirectory::AddResult::Added);
    }
    Server registryServer(QStringLiteral("RegistryServer"), {QStringLiteral("--data"), data});
    ASSERT_NE(registryServer.port(), 0) << registryServer.log().toStdString();
    RecordingRelay relay(registryServer.port());

    // The Registry client with automatic login stored (the password "tales" is kept reversed).
    const QString folder = path("registry-client");
    const QString registry = install(QStringLiteral("Registry"), folder);
    put(folder + "/registry.ini", "[Account]\r\nUser=demo\r\nAutoLogin=1\r\nPassword=selat\r\n");
    QProcess client;
    client.setProcessEnvironment(offscreen());
    client.start(registry,
                 {QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(relay.port())});
    ASSERT_TRUE(client.waitForStarted(10000));

    ASSERT_TRUE(registryServer.logged("(demo) logged in")) << registryServer.log().toStdString();
    ASSERT_TRUE(waitUntil([&] {
        return has(plainPackets(relay.toClient), Packet{5, Bytes("\2\0demo", 6)});
    }));
    // On the wire: the greeting with the version and the login from registry.ini ...
    const auto sent = checkedPackets(relay.toServer);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].type, 0);
    EXPECT_EQ(sent[0].fields.substr(0, 5), Bytes("R0.7\0", 5));
    EXPECT_TRUE(has(sent, Packet{3, Bytes("\1demo\0tales", 11)}));
    // ... and the server list and the user list that came back.
    const auto received = plainPackets(relay.toClient);
    EXPECT_TRUE(has(received, Packet{0, byteString({0, 0})}));
    EXPECT_TRUE(has(received, Packet{8, {}}));
    EXPECT_TRUE(has(received, Packet{1, byteString({1, 1, 12}) + Bytes("Eastmarch\0Mira\0"
                                                                       "127.0.0.1",
                                                                       24)}));
    EXPECT_TRUE(has(received, Packet{1, byteString({2, 0, 0}) + Bytes("Old Harbour\0Brannoc\0"
                                                                      "127.0.0.1",
                                                                      29)}));

    // A second client logs in; each side learns of the other, and chat flows to the Registry.
    QTcpSocket second;
    QByteArray toSecond;
    QObject::connect(&second, &QTcpSocket::readyRead, [&] { toSecond += second.readAll(); });
    second.connectToHost(QStringLiteral("127.0.0.1"), registryServer.port());
    ASSERT_TRUE(second.waitForConnected(5000));
    auto say = [&](const Bytes &body) {
        const Bytes packet = *common::BuildPacket(body, common::PacketKind::WithCheckCharacter);
        second.write(packet.data(), static_cast<qint64>(packet.size()));
    };
    say(Bytes("\0R0.7\0"
              "e2e-second",
              16));
    say(byteString({3, 1}) + Bytes("Mira\0moonlight", 14));
    ASSERT_TRUE(waitUntil([&] {
        return has(plainPackets(toSecond), Packet{6, Bytes("\1 demo", 6)});
    }));
    EXPECT_TRUE(waitUntil([&] {
        return has(plainPackets(relay.toClient), Packet{6, Bytes("\1 Mira", 6)});
    }));

    say(Bytes("\5Hello demo, welcome to Eastmarch!"));
    EXPECT_TRUE(waitUntil([&] {
        return has(plainPackets(relay.toClient),
                   Packet{7, "Mira: Hello demo, welcome to Eastmarch!"});
    }));
    // The Registry client took it all in and is still connected and logged in.
    EXPECT_EQ(client.state(), QProcess::Running);
    EXPECT_FALSE(registryServer.log().contains("(demo) disconnected"));

    client.terminate();
    if (!client.waitForFinished(5000))
        client.kill();
    client.waitForFinished(5000);
    EXPECT_TRUE(registryServer.logged("(demo) disconnected"));
    // Its departure took it off the second client's list.
    EXPECT_TRUE(waitUntil(
        [&] { return lastUserList(plainPackets(toSecond)) == std::vector<Bytes>{"Mira"}; }));
}

namespace {

// A program run by a test, ended when the test is done with it.
struct StopProcess
{
    void operator()(QProcess *process) const
    {
        process->kill();
        process->waitForFinished(5000);
        delete process;
    }
};
using Process = std::unique_ptr<QProcess, StopProcess>;

// A Registry client in a folder of its own, logging in automatically from its registry.ini.
Process startRegistry(const QString &folder, const QByteArray &user,
                      const QByteArray &storedPassword, quint16 port)
{
    const QString registry = install(QStringLiteral("Registry"), folder);
    put(folder + "/registry.ini",
        "[Account]\r\nUser=" + user + "\r\nAutoLogin=1\r\nPassword=" + storedPassword + "\r\n");
    Process process(new QProcess);
    process->setProcessEnvironment(offscreen());
    process->start(registry,
                   {QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(port)});
    EXPECT_TRUE(process->waitForStarted(10000));
    return process;
}

} // namespace

TEST_F(EndToEnd, TwoRegistryClientsOnOneMachine)
{
    const QString data = path("registry-data");
    QDir().mkpath(data);
    {
        servers::AccountStore accounts((data + "/accounts.txt").toStdString(), 1000);
        ASSERT_EQ(accounts.create("demo", "tales"), servers::AccountStore::CreateResult::Created);
        ASSERT_EQ(accounts.create("Mira", "moons"), servers::AccountStore::CreateResult::Created);
    }
    // Both clients send this machine's identifier: a registry that allows it lets both in ...
    {
        Server registryServer(
            QStringLiteral("RegistryServer"),
            {QStringLiteral("--data"), data, QStringLiteral("--allow-same-machine")});
        ASSERT_NE(registryServer.port(), 0) << registryServer.log().toStdString();
        RecordingRelay first(registryServer.port());
        RecordingRelay second(registryServer.port());
        // Five-letter passwords are stored reversed.
        auto demo = startRegistry(path("demo"), "demo", "selat", first.port());
        auto mira = startRegistry(path("mira"), "Mira", "snoom", second.port());
        const std::vector<Bytes> both{"demo", "Mira"};
        const std::vector<Bytes> bothOtherOrder{"Mira", "demo"};
        auto seesBoth = [&](const RecordingRelay &relay) {
            const auto names = lastUserList(plainPackets(relay.toClient));
            return names == both || names == bothOtherOrder;
        };
        EXPECT_TRUE(waitUntil([&] { return seesBoth(first) && seesBoth(second); }))
            << registryServer.log().toStdString();
        EXPECT_EQ(demo->state(), QProcess::Running);
        EXPECT_EQ(mira->state(), QProcess::Running);
    }
    // ... one that does not boots the second with "already connected" (code 4).
    {
        Server registryServer(QStringLiteral("RegistryServer"), {QStringLiteral("--data"), data});
        ASSERT_NE(registryServer.port(), 0) << registryServer.log().toStdString();
        RecordingRelay first(registryServer.port());
        RecordingRelay second(registryServer.port());
        auto demo = startRegistry(path("demo"), "demo", "selat", first.port());
        ASSERT_TRUE(registryServer.logged("(demo) logged in"));
        auto mira = startRegistry(path("mira"), "Mira", "snoom", second.port());
        EXPECT_TRUE(waitUntil([&] {
            return has(plainPackets(second.toClient), Packet{2, byteString({4})});
        }));
        EXPECT_TRUE(registryServer.logged("booted: machine already connected (code 4)"));
        // The booted client does not come back (it waits for its message to be closed).
        QElapsedTimer settle;
        settle.start();
        waitUntil([&] { return settle.elapsed() > 1500; });
        EXPECT_EQ(registryServer.log().count("connected\n"), 2)
            << registryServer.log().toStdString();
        EXPECT_FALSE(registryServer.log().contains("(demo) disconnected"));
    }
}

// Both servers against the malformed streams the clients' own tests and fuzz seeds use: each
// is sent to a server as it stands, and again with each of its packets re-framed the way the
// Registry client frames them, so that the bodies reach the handlers instead of failing the
// check character. The server must neither crash nor stop serving: the connection is either
// still open or dropped with a log line, and a fresh connection is served as usual.

#include "servers/RegistryServerCore.h"
#include "servers/UpdateServerCore.h"

#include "FakeConnections.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servers;
using namespace servertest;
using common::byteString;

namespace {

std::vector<Bytes> corpus(const char *name)
{
    std::vector<Bytes> inputs;
    QDirIterator it(QStringLiteral(TALMORA_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(name),
                    QDir::Files);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            inputs.push_back(file.readAll().toStdString());
    }
    return inputs;
}

// The plain-framed packets found anywhere in `stream`, each framed with a check character.
Bytes reframed(const Bytes &stream)
{
    Bytes out;
    for (std::size_t start = 0; start < stream.size(); ++start) {
        common::ReceiveBuffer buffer;
        buffer.append(common::ByteView(stream).substr(start));
        if (auto packet = buffer.cutPacket()) {
            out += *common::BuildPacket(Bytes(1, static_cast<char>(packet->type)) + packet->fields,
                                        common::PacketKind::WithCheckCharacter);
        }
    }
    return out;
}

} // namespace

TEST(MalformedInput, RegistryServerSurvivesTheClientsTestStreams)
{
    std::vector<Bytes> inputs = corpus("registry_client");
    for (const Bytes &extra : corpus("updater_client"))
        inputs.push_back(extra);
    ASSERT_GT(inputs.size(), 10u);

    QTemporaryDir dir;
    AccountStore accounts(dir.filePath("a.txt").toStdString(), 1000);
    ServerDirectory directory(dir.filePath("s.txt").toStdString());
    accounts.create("Alice", "sesame");
    common::ManualClock clock;
    FakeConnections net;
    LogLines log;
    RegistryServerSettings settings;
    settings.allowDuplicateMachines = true;
    RegistryServerCore core({clock, net, accounts, directory, log.function()}, settings);

    ConnectionId id = 0;
    auto check = [&](const Bytes &stream, bool greeted) {
        ++id;
        core.onOpened(id, "127.0.0.1");
        if (greeted) {
            core.onData(id, *common::BuildPacket(Bytes("\0R0.7\0"
                                                       "1",
                                                       7),
                                                 common::PacketKind::WithCheckCharacter));
            core.onData(id, *common::BuildPacket(byteString({3, 1}) + Bytes("Alice\0sesame", 12),
                                                 common::PacketKind::WithCheckCharacter));
        }
        const std::size_t logged = log.lines.size();
        core.onData(id, stream);
        if (net.closed.count(id)) {
            EXPECT_GT(log.lines.size(), logged) << "dropped without a log line";
        } else {
            core.onClosed(id);
        }
        clock.advance(10000); // a fresh flood window for the next one
    };
    for (const Bytes &input : inputs) {
        check(input, false);
        check(input, true);
        check(reframed(input), true);
    }
    EXPECT_EQ(core.connectionCount(), 0u);

    // Still serving.
    core.onOpened(++id, "127.0.0.1");
    core.onData(id, *common::BuildPacket(Bytes("\0R0.7\0"
                                               "1",
                                               7),
                                         common::PacketKind::WithCheckCharacter));
    const auto got = net.packets(id);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], packet(0, byteString({0, 0})));
}

TEST(MalformedInput, UpdateServerSurvivesTheClientsTestStreams)
{
    std::vector<Bytes> inputs = corpus("updater_client");
    for (const Bytes &extra : corpus("registry_client"))
        inputs.push_back(extra);
    ASSERT_GT(inputs.size(), 10u);

    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("Client/Maps"));
    QDir().mkpath(dir.filePath("Program"));
    for (const char *name : {"Client/Readme.txt", "Client/Maps/Town.map", "Program/zlib.dll"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    common::ManualClock clock;
    FakeConnections net;
    LogLines log;
    GameFolder folder(dir.filePath("Client").toStdString(), dir.filePath("Program").toStdString(),
                      log.function());
    UpdateServerCore core({clock, net, folder, log.function()}, {});

    ConnectionId id = 0;
    for (const Bytes &input : inputs) {
        ++id;
        core.onOpened(id, "127.0.0.1");
        const std::size_t logged = log.lines.size();
        core.onData(id, input);
        if (net.closed.count(id)) {
            EXPECT_GT(log.lines.size(), logged) << "dropped without a log line";
        } else {
            core.onClosed(id);
        }
        clock.advance(10000);
    }
    EXPECT_EQ(core.connectionCount(), 0u);

    core.onOpened(++id, "127.0.0.1");
    core.onData(id, byteString({0, 7, 0}) + "V5.323");
    const auto got = net.packets(id);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), packet(4));
}

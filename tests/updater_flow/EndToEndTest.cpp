// The built Updater copied into a temporary game folder, run on the offscreen platform against
// a scripted update server on loopback.
#include "common/Codec.h"
#include "tests/support/PeerUpdateServer.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/updater_files/TempFolder.h"
#include "updater/files/FileStore.h"
#include "updater/files/Packing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using common::Bytes;
using testsupport::byteOf;
using testsupport::packet;
using testsupport::ServedFile;
using UpdateServer = testsupport::PeerUpdateServer;

Bytes patterned(std::size_t n, unsigned seed)
{
    Bytes out(n, '\0');
    unsigned x = seed;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        // Compressible but not trivial: runs of a few letters.
        out[i] = static_cast<char>('a' + ((x >> 16) % 7));
    }
    return out;
}

// A game folder with a copy of the built Updater.
class GameFolder
{
public:
    GameFolder()
    {
        // The build's bin/ folder, or the program this test was built beside.
        const QByteArray bin = qgetenv("TALMORA_BIN_DIR");
        m_binary = bin.isEmpty() ? QStringLiteral(TALMORA_UPDATER_BINARY)
                                 : QString::fromLocal8Bit(bin) + "/Updater";
        path = m_dir.path().toStdString();
        if (!m_binary.isEmpty())
            QFile::copy(m_binary, QString::fromStdString(path + "/Updater"));
        writeFile(path + "/zlib.dll", "zlib present");
        fs::create_directories(path + "/Client");
    }

    bool ready() const { return fs::exists(path + "/Updater"); }
    std::string client(const std::string &relative) const { return path + "/Client/" + relative; }

    void start(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::tempPath());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QString::fromStdString(path + "/Updater"), arguments);
        // A program that cannot start would otherwise show up only as a missing connection.
        EXPECT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    }

    bool ended() const { return process.state() == QProcess::NotRunning; }

    std::string path;
    QProcess process;

private:
    QTemporaryDir m_dir;
    QString m_binary;
};

const Bytes kMarkerScript = "#!/bin/sh\necho started > \"$PWD/marker\"\n";

bool waitFor(testsupport::ScriptedPeer &peer, const std::function<bool()> &condition, int ms)
{
    return peer.waitUntil(condition, ms);
}

TEST(UpdaterEndToEnd, UpdatesTheGameFolderAndStartsTheConfiguredProgram)
{
    GameFolder game;
    ASSERT_TRUE(game.ready()) << "TALMORA_BIN_DIR must point at the built Updater";
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    UpdateServer server(peer);

    const ServedFile launch{2, "launch.sh", "Bin\\", kMarkerScript, true};
    const ServedFile town{3, "town.map", "Maps\\Town\\", patterned(300000, 7), true};
    const ServedFile readme{4, "readme.txt", "", "plain bytes, sent as they are\n", false};
    const ServedFile same{5, "same.txt", "", "already here", true};
    server.launchFile = "Bin\\launch.sh";
    server.folders = {{1, "Bin\\"}, {2, "Maps\\"}, {3, "Maps\\Town\\"}};
    server.files = {launch, town, readme, same};
    writeFile(game.client("same.txt"), same.content);
    writeFile(game.client("readme.txt"), "an old version");

    game.start({"127.0.0.1", QString::number(peer.port())});
    ASSERT_TRUE(waitFor(
        peer, [&] { return game.ended(); }, 30000));
    EXPECT_EQ(game.process.exitCode(), 0);

    EXPECT_EQ(server.requested, (std::vector<int>{2, 3, 4}));
    ASSERT_FALSE(server.requests.empty());
    EXPECT_EQ(server.requests[0], byteOf(0) + "V5.323");
    EXPECT_EQ(readFile(game.client("Bin/launch.sh")), kMarkerScript);
    EXPECT_EQ(readFile(game.client("Maps/Town/town.map")), town.content);
    EXPECT_EQ(readFile(game.client("readme.txt")), readme.content);
    EXPECT_EQ(readFile(game.client("same.txt")), same.content);

    const Bytes versions = readFile(game.path + "/Version.dat");
    EXPECT_EQ(versions, updater::VersionRecord(launch.version(), "Bin\\", "launch.sh") +
                            updater::VersionRecord(town.version(), "Maps\\Town\\", "town.map") +
                            updater::VersionRecord(readme.version(), "", "readme.txt") +
                            updater::VersionRecord(same.version(), "", "same.txt"));

    updater::FileStore store(game.path);
    EXPECT_EQ(store.ReadSetting("Client", "Launch Application File"),
              game.path + "\\Client\\Bin\\launch.sh");

    // The launched script runs detached in the program folder and leaves its marker.
    ASSERT_TRUE(waitFor(
        peer, [&] { return fs::exists(game.path + "/marker"); }, 10000));
    EXPECT_EQ(readFile(game.path + "/marker"), "started\n");
}

TEST(UpdaterEndToEnd, FallbackReachesTheThirdBuiltInServer)
{
    testsupport::ScriptedPeer peer(QHostAddress(QStringLiteral("127.0.0.4")), 2602);
    if (!peer.isListening())
        GTEST_SKIP() << "127.0.0.4:2602 is in use";
    GameFolder game;
    ASSERT_TRUE(game.ready());
    UpdateServer server(peer);
    writeFile(game.client("Registry"), kMarkerScript); // found for "Registry.exe"

    QElapsedTimer elapsed;
    elapsed.start();
    game.start({});
    ASSERT_TRUE(peer.waitForConnection(1, 15000))
        << "Updater " << (game.ended() ? "ended" : "still running") << ", exit code "
        << game.process.exitCode();
    const qint64 connectedAt = elapsed.elapsed();
    // Slots 0 and 1 (127.0.0.2 and 127.0.0.3) come first, 1.5 s apart.
    EXPECT_GE(connectedAt, 2900);
    EXPECT_LT(connectedAt, 6000);
    ASSERT_TRUE(waitFor(
        peer, [&] { return game.ended(); }, 15000));
    EXPECT_EQ(server.requests.size(), 1u); // the version check, then an empty list
    ASSERT_TRUE(waitFor(
        peer, [&] { return fs::exists(game.path + "/marker"); }, 10000));
    EXPECT_TRUE(fs::exists(game.path + "/Version.dat"));
}

TEST(UpdaterEndToEnd, ADropDuringATransferLeavesNoPartialFile)
{
    const ServedFile big{2, "big.dat", "Data\\", patterned(200000, 3), true};
    const Bytes wire = big.wire();
    const std::vector<int> offsets = {0, 1, static_cast<int>(wire.size() / 2),
                                      static_cast<int>(wire.size()) - 1};

    struct Run
    {
        std::unique_ptr<testsupport::ScriptedPeer> peer;
        std::unique_ptr<UpdateServer> server;
        std::unique_ptr<GameFolder> game;
    };
    std::vector<Run> runs;
    // All runs at once: after the drop each waits out the remaining server slots.
    for (int offset : offsets) {
        Run run;
        run.peer = std::make_unique<testsupport::ScriptedPeer>();
        ASSERT_TRUE(run.peer->isListening());
        run.server = std::make_unique<UpdateServer>(*run.peer);
        run.server->folders = {{1, "Data\\"}};
        run.server->files = {big};
        run.server->dropIndex = 2;
        run.server->dropAfter = offset;
        run.game = std::make_unique<GameFolder>();
        ASSERT_TRUE(run.game->ready());
        fs::create_directories(run.game->client("Data"));
        writeFile(run.game->client("Data/big.dat"), "the old big file");
        run.game->start({"127.0.0.1", QString::number(run.peer->port())});
        runs.push_back(std::move(run));
    }
    ASSERT_TRUE(waitFor(
        *runs[0].peer,
        [&] {
            for (const auto &r : runs)
                if (!r.game->ended())
                    return false;
            return true;
        },
        40000));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto &game = *runs[i].game;
        SCOPED_TRACE("drop after " + std::to_string(offsets[i]) + " bytes");
        EXPECT_EQ(runs[i].server->requested, (std::vector<int>{2}));
        EXPECT_EQ(readFile(game.client("Data/big.dat")), "the old big file");
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(game.client("Data")))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, (std::vector<std::string>{"big.dat"})); // no temporary left behind
        EXPECT_FALSE(fs::exists(game.path + "/Version.dat"));    // the pass never ended
    }
}

// What a hostile server sends around the file list decides nothing: a refused FileData ends
// the connection instead of having its bytes read as messages, and only programs are
// started. Each run's launched program writes its name into the same marker, so the one that
// ran is known.
TEST(UpdaterEndToEnd, AHostileServerDoesNotChooseWhatStarts)
{
    const Bytes evil = "#!/bin/sh\necho evil > \"$PWD/marker\"\n";
    const Bytes fallback = "#!/bin/sh\necho fallback > \"$PWD/marker\"\n";
    const ServedFile a{2, "a.txt", "", "content of a", true};
    struct Case
    {
        const char *name;
        std::function<void(UpdateServer &)> script;
        bool evilConfigured = false; // Settings.ini names Client/evil.sh before the run
        Bytes launchSetting;         // expected afterwards, relative to the program folder
    };
    const std::vector<Case> cases = {
        {"refused FileData hides a SetLaunchFile",
         [&](UpdateServer &s) {
             s.files = {a};
             s.rawAnswers[2] = packet(5, byteOf(251) + common::EncodeLong(64)) +
                               packet(0, "evil.sh") + Bytes(64, 'x');
         },
         false, ""},
        {"an empty SetLaunchFile names the client folder",
         [&](UpdateServer &s) { s.listHead = packet(0); }, true, "\\Client\\"},
        {"a document is not opened", [&](UpdateServer &s) { s.launchFile = "page.html"; }, false,
         "\\Client\\page.html"},
    };

    struct Run
    {
        std::unique_ptr<testsupport::ScriptedPeer> peer;
        std::unique_ptr<UpdateServer> server;
        std::unique_ptr<GameFolder> game;
    };
    std::vector<Run> runs;
    for (const Case &c : cases) {
        Run run;
        run.peer = std::make_unique<testsupport::ScriptedPeer>();
        ASSERT_TRUE(run.peer->isListening());
        run.server = std::make_unique<UpdateServer>(*run.peer);
        c.script(*run.server);
        run.game = std::make_unique<GameFolder>();
        ASSERT_TRUE(run.game->ready());
        writeFile(run.game->client("evil.sh"), evil);
        writeFile(run.game->client("page.html"), "<html>not a program</html>\n");
        writeFile(run.game->client("Registry"), fallback); // found for "Registry.exe"
        if (c.evilConfigured)
            writeFile(run.game->path + "/Settings.ini",
                      "[Client]\nLaunch Application File=" + run.game->client("evil.sh") + "\n");
        run.game->start({"127.0.0.1", QString::number(run.peer->port())});
        runs.push_back(std::move(run));
    }
    // The refused FileData waits out the remaining server slots before the hand-over.
    const auto allDone = [&](bool withMarker) {
        for (const auto &r : runs)
            if (!r.game->ended() || (withMarker && !fs::exists(r.game->path + "/marker")))
                return false;
        return true;
    };
    waitFor(
        *runs[0].peer, [&] { return allDone(false); }, 40000);
    // The started program runs detached: its marker may come a little later.
    waitFor(
        *runs[0].peer, [&] { return allDone(true); }, 10000);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        GameFolder &game = *runs[i].game;
        SCOPED_TRACE(cases[i].name);
        EXPECT_TRUE(game.ended());
        if (!game.ended()) {
            game.process.kill();
            game.process.waitForFinished(5000);
        }
        EXPECT_EQ(readFile(game.path + "/marker"), "fallback\n");
        updater::FileStore store(game.path);
        const Bytes setting = store.ReadSetting("Client", "Launch Application File");
        EXPECT_EQ(setting,
                  cases[i].launchSetting.empty() ? Bytes() : game.path + cases[i].launchSetting);
    }
}

// When the window cannot be created, the Updater waits 3 s and starts once more with the same
// words; the second failure ends with the plain message.
TEST(UpdaterEndToEnd, AWindowThatCannotBeCreatedIsTriedOnceMore)
{
    GameFolder game;
    ASSERT_TRUE(game.ready());
    const std::string errors = game.path + "/errors.txt";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "no-such-platform");
    env.remove("TALMORA_UPDATER_RESTARTED");
    game.process.setProcessEnvironment(env);
    // The copy started anew writes to the same file, after the first has ended.
    game.process.setStandardErrorFile(QString::fromStdString(errors));
    QElapsedTimer elapsed;
    elapsed.start();
    game.process.start(QString::fromStdString(game.path + "/Updater"), {"127.0.0.1", "1"});
    ASSERT_TRUE(game.process.waitForStarted(10000));
    testsupport::ScriptedPeer clock; // only its event loop is used, to wait
    ASSERT_TRUE(waitFor(
        clock, [&] { return readFile(errors).find("check that a display") != std::string::npos; },
        20000))
        << readFile(errors);
    EXPECT_GE(elapsed.elapsed(), 3000);
    const std::string text = readFile(errors);
    const auto retry = text.find("starting once more in 3000 ms");
    ASSERT_NE(retry, std::string::npos) << text;
    EXPECT_EQ(text.find("starting once more", retry + 1), std::string::npos) << text;
    EXPECT_LT(retry, text.find("check that a display"));
}

} // namespace

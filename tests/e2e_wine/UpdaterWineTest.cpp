// Updater.exe under wine: an empty game folder brought up to date from the native update
// server, and the hand-over to the program the server names.
#include "tests/e2e_wine/WineFixture.h"
#include "tests/support/PeerUpdateServer.h"
#include "updater/files/FileStore.h"

#include <QMap>

namespace {

using common::Bytes;
using winetest::get;
using winetest::put;

class UpdaterUnderWine : public winetest::WineTest
{
protected:
    // Updater.exe in `player`, beside a zlib.dll of its own, so that the server's list names
    // only the game's files.
    QString installUpdater(const QString &player) const
    {
        const QString updater = winetest::install(QStringLiteral("Updater.exe"), player);
        put(player + "/zlib.dll", "the zlib library");
        return updater;
    }

    // Runs `updater` in `player` with `options` against the scripted server behind `peer`,
    // until it ends.
    static void runAgainst(testsupport::ScriptedPeer &peer, const QString &updater,
                           const QString &player, const QStringList &options = {})
    {
        QProcess process;
        startWine(process, updater,
                  options + QStringList{QStringLiteral("127.0.0.1"), QString::number(peer.port())},
                  player);
        ASSERT_TRUE(peer.waitUntil([&] { return process.state() == QProcess::NotRunning; },
                                   winetest::kCapMs))
            << process.readAll().toStdString();
    }
};

TEST_F(UpdaterUnderWine, BringsAnEmptyFolderUpToDateAndStartsTheNamedProgram)
{
    const QString served = path("served/Client");
    QByteArray map;
    for (int i = 0; i < 20000; ++i)
        map += QByteArray::number(i * 7919 % 10007) + ' ';
    const QMap<QString, QByteArray> files = {
        {"Readme.txt", "Welcome to Talmora.\n"},
        {"Maps/Town/Square.map", map},
        {"Data/Items.dat", QByteArray("\0\1\2\3\377", 5)},
        {"Empty.txt", ""},
    };
    for (auto it = files.begin(); it != files.end(); ++it)
        put(served + "/" + it.key(), it.value());
    // The program handed over to is delivered with the files, in a folder of its own.
    put(served + "/Bin/Next.exe", get(winetest::windowsBin() + "/start_marker.exe"));
    put(path("served/Program/zlib.dll"), "the zlib library");

    winetest::Server server(QStringLiteral("UpdateServer"),
                            {QStringLiteral("--folder"), served, QStringLiteral("--program-files"),
                             path("served/Program"), QStringLiteral("--launch"),
                             QStringLiteral("Bin\\Next.exe")});
    ASSERT_NE(server.port(), 0) << server.log().toStdString();

    const QString player = path("player");
    const QString updater = winetest::install(QStringLiteral("Updater.exe"), player);
    const QStringList words = {QStringLiteral("127.0.0.1"), QString::number(server.port())};
    QByteArray output;
    ASSERT_TRUE(runWine(updater, words, player, &output)) << output.toStdString();

    EXPECT_EQ(get(player + "/zlib.dll"), "the zlib library");
    for (auto it = files.begin(); it != files.end(); ++it)
        EXPECT_EQ(get(player + "/Client/" + it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(get(player + "/Version.dat").size(), 79 * (files.size() + 1));
    const QByteArray firstRun = server.loggedSince(0, "disconnected");
    EXPECT_EQ(firstRun.count("sending "), files.size() + 2) << firstRun.toStdString();

    // The hand-over started the delivered program, through the system's process start.
    const QString marker = player + "/Client/Bin/started.txt";
    EXPECT_TRUE(
        winetest::WaitUntil([&] { return get(marker).count("started") == 1; }, winetest::kCapMs))
        << get(marker).toStdString();

    // A second run finds nothing to do and hands over again.
    const QByteArray versions = get(player + "/Version.dat");
    const qsizetype before = server.log().size();
    ASSERT_TRUE(runWine(updater, words, player, &output)) << output.toStdString();
    const QByteArray secondRun = server.loggedSince(before, "disconnected");
    EXPECT_FALSE(secondRun.contains("sending ")) << secondRun.toStdString();
    EXPECT_EQ(get(player + "/Version.dat"), versions);
    EXPECT_TRUE(
        winetest::WaitUntil([&] { return get(marker).count("started") == 2; }, winetest::kCapMs));
}

// Names with letters of the 8-bit code page, as a server sends them (0xE9 is "é" in code
// page 1252, wine's and a Western Windows' ANSI code page): written under that name, recorded,
// and not fetched again.
TEST_F(UpdaterUnderWine, EightBitNamesAreWrittenUnderTheirOwnNameAndRecorded)
{
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    testsupport::PeerUpdateServer server(peer);
    const testsupport::ServedFile cafe{2, "caf\xE9.txt", "", "Caf\xE9 au lait\n", true};
    const testsupport::ServedFile yen{3,
                                      "\xA5"
                                      "100.dat",
                                      "D\xE9p\xF4t\\", "one hundred yen", false};
    server.folders = {{1, "D\xE9p\xF4t\\"}};
    server.files = {cafe, yen};

    const QString player = path("player");
    const QString updater = installUpdater(player);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_NO_FATAL_FAILURE(runAgainst(peer, updater, player));
        // Wine keeps the host's names in UTF-8.
        EXPECT_EQ(get(player + QStringLiteral("/Client/caf\u00E9.txt")), "Caf\xE9 au lait\n");
        EXPECT_EQ(get(player + QStringLiteral("/Client/D\u00E9p\u00F4t/\u00A5100.dat")),
                  "one hundred yen");
        const QByteArray versions = get(player + "/Version.dat");
        EXPECT_EQ(Bytes(versions.constData(), static_cast<std::size_t>(versions.size())),
                  updater::VersionRecord(cafe.version(), "", cafe.name) +
                      updater::VersionRecord(yen.version(), yen.folder, yen.name));
        // Both fetched by the first run only.
        EXPECT_EQ(server.requested, (std::vector<int>{2, 3}));
    }
}

// Two entries of one list that Windows takes for one file: the first keeps the file and its
// record, the second is neither fetched nor recorded, in this run or the next.
TEST_F(UpdaterUnderWine, CaseTwinsInOneListAreFetchedOnce)
{
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    testsupport::PeerUpdateServer server(peer);
    const testsupport::ServedFile first{2, "a.txt", "Data\\", "first", true};
    const testsupport::ServedFile twin{3, "A.TXT", "DATA\\", "case", true};
    server.folders = {{1, "Data\\"}, {2, "DATA\\"}};
    server.files = {first, twin};

    const QString player = path("player");
    const QString updater = installUpdater(player);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_NO_FATAL_FAILURE(runAgainst(peer, updater, player));
        EXPECT_EQ(get(player + "/Client/Data/a.txt"), "first");
        EXPECT_EQ(QDir(player + "/Client").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("Data")});
        const QByteArray versions = get(player + "/Version.dat");
        EXPECT_EQ(Bytes(versions.constData(), static_cast<std::size_t>(versions.size())),
                  updater::VersionRecord(first.version(), first.folder, first.name));
        EXPECT_EQ(server.requested, std::vector<int>{2});
    }
}

// "/repair" on the command line of a program in a folder with blanks (its name arrives
// quoted): a file damaged on disk, which Version.dat still vouches for, is fetched again.
TEST_F(UpdaterUnderWine, RepairFetchesAFileDamagedOnDisk)
{
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    testsupport::PeerUpdateServer server(peer);
    const testsupport::ServedFile readme{2, "Readme.txt", "", "Welcome to Talmora.\n", true};
    server.files = {readme};

    const QString player = path("Talmora Online");
    const QString updater = installUpdater(player);
    for (const QStringList &options : {QStringList{}, QStringList{QStringLiteral("/repair")}}) {
        SCOPED_TRACE(options.join(' ').toStdString());
        ASSERT_NO_FATAL_FAILURE(runAgainst(peer, updater, player, options));
        EXPECT_EQ(get(player + "/Client/Readme.txt"), "Welcome to Talmora.\n");
        put(player + "/Client/Readme.txt", "Welcome to Tal");
    }
    EXPECT_EQ(server.requested, (std::vector<int>{2, 2}));
}

// A game folder deeper than the 260 characters of Windows' short paths: the Updater finds its
// own files there, brings the game up to date, records the program to start and ends. (wine 8
// starts no program whose path is longer: it keeps a program's name in a buffer of 260
// characters, whatever form of the path it is given, so the program's start is not awaited.)
TEST_F(UpdaterUnderWine, AGameFolderOfAnyDepthIsBroughtUpToDate)
{
    QString player = path("p");
    while (player.size() < 300)
        player += QStringLiteral("/a-folder-where-a-player-keeps-the-game");
    const QString served = path("served/Client");
    put(served + "/Maps/Town/Square.map", "the town square");
    put(served + "/Readme.txt", "Welcome to Talmora.\n");
    put(served + "/Bin/Next.exe", get(winetest::windowsBin() + "/start_marker.exe"));
    winetest::Server server(QStringLiteral("UpdateServer"),
                            {QStringLiteral("--folder"), served, QStringLiteral("--launch"),
                             QStringLiteral("Bin\\Next.exe")});
    ASSERT_NE(server.port(), 0) << server.log().toStdString();

    const QString updater = installUpdater(player);
    QByteArray output;
    ASSERT_TRUE(runWine(updater, {QStringLiteral("127.0.0.1"), QString::number(server.port())},
                        player, &output))
        << output.toStdString();

    // Its own zlib.dll was seen: no request for entry 0, only the game's files.
    const QByteArray log = server.loggedSince(0, "disconnected");
    EXPECT_EQ(log.count("sending "), 3) << log.toStdString();
    EXPECT_EQ(get(player + "/Client/Maps/Town/Square.map"), "the town square");
    EXPECT_EQ(get(player + "/Client/Readme.txt"), "Welcome to Talmora.\n");
    EXPECT_EQ(get(player + "/Client/Bin/Next.exe"),
              get(winetest::windowsBin() + "/start_marker.exe"));
    EXPECT_EQ(get(player + "/Version.dat").size(), 3 * 79);
    EXPECT_TRUE(get(player + "/Settings.ini").endsWith("\\Client\\Bin\\Next.exe\r\n"))
        << get(player + "/Settings.ini").toStdString();
}

} // namespace

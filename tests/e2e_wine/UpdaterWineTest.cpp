// Updater.exe under wine: an empty game folder brought up to date from the native update
// server, and the hand-over to the program the server names.
#include "tests/e2e_wine/WineFixture.h"

#include <QMap>

namespace {

using winetest::get;
using winetest::put;

class UpdaterUnderWine : public winetest::WineTest
{
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

} // namespace

// The server list in the real window (offscreen) taking a burst of rows from the core: the 30
// servers the registry server sends on connecting, then their players changing, 10,000 rows
// in all. BM_ServerRows/0 is the list as the player found it (rows go to the window as they
// come), /1 with two favourites pinned and a find text that lets most rows through, so every
// row goes through the list's model: sorted, filtered and pinned.

#include "common/Clock.h"
#include "registry/app/ServerListShown.h"
#include "registry/qt/FrmMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kRows = 10'000;
constexpr int kServers = 30;

registry::ServerRowText rowFor(int n)
{
    const int server = n % kServers;
    return {server % 7 == 0 ? "Offline" : "Online", "Server " + std::to_string(server),
            std::to_string((n * 7) % 64), server % 2 ? "Ostrik" : "Brannoc"};
}

void BM_ServerRows(benchmark::State &state)
{
    QTemporaryDir dir;
    const std::string ini = dir.path().toStdString() + "/registry.ini";
    if (state.range(0) == 1)
        std::ofstream(ini) << "[Server List]\nFavourites=2\nFavourite 1 Name=Server 3\n"
                              "Favourite 1 Administrator=Ostrik\nFavourite 2 Name=Server 12\n"
                              "Favourite 2 Administrator=Brannoc\n";
    common::ManualClock clock;
    registry::FrmMain window(dir.path().toStdString());
    registry::ServerListShown list(window.surface(), clock, ini);
    if (state.range(0) == 1)
        list.setFindText("er");
    for (auto _ : state) {
        list.cleared();
        for (int n = 0; n < kRows; ++n)
            list.rowArrived(1 + n % kServers, rowFor(n));
        QApplication::processEvents();
    }
    const auto *shown = window.findChild<QTreeWidget *>(QStringLiteral("lstViewServers"));
    if (shown->topLevelItemCount() != kServers)
        state.SkipWithError("the list does not show every server");
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ServerRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

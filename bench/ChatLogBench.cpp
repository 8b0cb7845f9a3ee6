// Appending to the Registry's chat log: each line is added at the end without rewriting the
// log, so the cost per line stays the same however long the log already is; lines that
// arrive together are added together. BM_SocketBurst sends 50,000 chat lines and a ping in
// one burst through a loopback socket and the real socket adapter into the real window, as
// the log reads by default, with times, with every line marked as naming the player, and with
// both.

#include "common/Clock.h"
#include "common/Platform.h"
#include "common/Transport.h"
#include "registry/app/RegistryProgram.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowView.h"
#include "registry/net/RegistryClient.h"
#include "registry/qt/FrmMain.h"

#include "common/Codec.h"
#include "common/qt/QtTransport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

class IdleTransport final : public common::Transport
{
public:
    void setListener(Listener *) override {}
    void connectTo(const std::string &, std::uint16_t) override {}
    void close() override {}
    bool send(common::ByteView) override { return false; }
    State state() const override { return State::Closed; }
    void setReceiving(bool on) override { m_receiving = on; }
    bool receiving() const override { return m_receiving; }

private:
    bool m_receiving = true;
};

class NoShell final : public common::Shell
{
public:
    common::ShellResult open(common::ByteView, common::ByteView, common::ByteView, common::ByteView,
                             int) override
    {
        return common::ShellResult::Failed;
    }
    void openWith(common::ByteView, common::ByteView) override {}
};

// A window, its application layer and its core as the program builds them, on `main`.
struct Wiring
{
    Wiring(const std::string &folder, const common::Clock &clock, common::Transport &main,
           common::Transport &probe, common::Shell &shell, std::uint16_t port = 2600)
        : window(folder), view(window.surface()),
          controller(
              {clock, main, probe, view, [] { return common::Bytes("1"); }, "127.0.0.1", port},
              window.surface(), shell, registry::FoldersBeside(folder)),
          core(controller.core())
    {
        window.attach(controller);
    }

    registry::FrmMain window;
    registry::WindowView view;
    registry::WindowController controller;
    registry::RegistryClient &core;
};

// The program's objects without a connection.
struct Program
{
    QTemporaryDir dir;
    common::ManualClock clock;
    IdleTransport main;
    IdleTransport probe;
    NoShell shell;
    Wiring parts{dir.path().toStdString(), clock, main, probe, shell};
    registry::RegistryClient *core = &parts.core;
    registry::WindowView *view = &parts.view; // where the gathered chat lines are flushed
};

const std::string kLine = "Ostrik: the harbour gate on Riverside Keep is open again";

// N lines into a new log, arriving together.
void BM_AppendLines(benchmark::State &state)
{
    const auto lines = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto program = std::make_unique<Program>();
        state.ResumeTiming();
        for (int i = 0; i < lines; ++i)
            program->core->appendChat(kLine);
        program->view->flushChat(); // as the event loop does after a burst
        state.PauseTiming();
        program.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_AppendLines)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One more line at the end of a log that already holds N lines.
void BM_AppendToLog(benchmark::State &state)
{
    Program program;
    for (int i = 0; i < state.range(0); ++i)
        program.core->appendChat(kLine);
    program.view->flushChat();
    for (auto _ : state) {
        program.core->appendChat(kLine);
        program.view->flushChat(); // a line on its own in a pass of the event loop
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendToLog)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

double processorSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

int chatBlocks(QWidget &window)
{
    QCoreApplication::processEvents();
    return window.findChild<QPlainTextEdit *>(QStringLiteral("txtChat"))->blockCount();
}

// Resident memory that 100,000 lines add to the log (the text itself is about 5.5 MB). Run it
// on its own (--benchmark_filter=ResidentMemory): memory freed by the benchmarks before it is
// reused and hides the growth.
void BM_ResidentMemory(benchmark::State &state)
{
    for (auto _ : state) {
        Program program;
        program.parts.window.show();
        QCoreApplication::processEvents();
        const double before = residentMiB();
        // In passes of about a thousand lines, as a 64-KiB slice of the socket brings them.
        for (int i = 0; i < 100000; ++i) {
            program.core->appendChat(kLine);
            if (i % 1000 == 999)
                program.view->flushChat();
        }
        chatBlocks(program.parts.window);
        state.counters["added_MiB"] = residentMiB() - before;
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// 50,000 ChatLine packets and a ServerPing in one burst from a loopback server, through the
// real socket adapter and core into the shown window. Reported: processor time until every
// line is in the log, the longest single pass of the event loop meanwhile, and how long after
// the burst was handed to the socket the ping's answer arrived. Argument 1: with times before
// the lines and every line naming the player, so drawn in the mention colour.
void BM_SocketBurst(benchmark::State &state)
{
    const bool times = (state.range(0) & 1) != 0;
    const bool highlights = (state.range(0) & 2) != 0;
    constexpr int kLines = 50000;
    QByteArray burst;
    const auto chat = *common::BuildPacket("\x07" + kLine, common::PacketKind::Plain);
    for (int i = 0; i < kLines; ++i)
        burst.append(chat.data(), static_cast<qsizetype>(chat.size()));
    const auto ping = *common::BuildPacket(common::Bytes("\x04", 1), common::PacketKind::Plain);
    burst.append(ping.data(), static_cast<qsizetype>(ping.size()));
    const auto keepAlive =
        *common::BuildPacket(common::Bytes("\x02", 1), common::PacketKind::WithCheckCharacter);

    for (auto _ : state) {
        QTcpServer server;
        server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        common::ManualClock clock;
        common::QtTransport main;
        IdleTransport probe;
        NoShell shell;
        Wiring parts(folder, clock, main, probe, shell, server.serverPort());
        registry::ManualLocalClock local;
        registry::ChatLineShowing showing(local, folder + "/registry.ini");
        local.set(14, 5);
        showing.setShowsTimes(times);
        if (highlights)
            showing.setPlayerName([] { return common::Bytes("Riverside"); });
        if (times || highlights)
            parts.view.setChatLineShowing(showing);
        registry::FrmMain &window = parts.window;
        registry::RegistryClient &core = parts.core;
        window.show();
        core.start();
        clock.advance(registry::kConnectIntervalMs);
        core.onTimer();
        QElapsedTimer limit;
        limit.start();
        while ((!server.hasPendingConnections() || !core.connected()) && limit.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        QTcpSocket *peer = server.nextPendingConnection();
        if (!peer || !core.connected()) {
            state.SkipWithError("no loopback connection");
            return;
        }
        peer->waitForReadyRead(1000);
        peer->readAll(); // the greeting
        const int blocksBefore = chatBlocks(window);

        QByteArray answer;
        qint64 answeredAtMs = -1;
        QElapsedTimer sinceBurst;
        QObject::connect(peer, &QTcpSocket::readyRead, [&] {
            answer += peer->readAll();
            if (answeredAtMs < 0 && answer.contains(QByteArray(keepAlive.data(), 4)))
                answeredAtMs = sinceBurst.elapsed();
        });
        // A zero timer runs once per pass: the gap between two runs is one pass.
        qint64 longestPassMs = 0;
        QElapsedTimer pass;
        QTimer ticker;
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longestPassMs = std::max(longestPassMs, pass.restart()); });

        const double cpuBefore = processorSeconds();
        sinceBurst.start();
        peer->write(burst);
        pass.start();
        ticker.start();
        QPlainTextEdit *log = window.findChild<QPlainTextEdit *>(QStringLiteral("txtChat"));
        while ((log->blockCount() < blocksBefore + kLines || answeredAtMs < 0) &&
               sinceBurst.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        ticker.stop();
        const double cpu = processorSeconds() - cpuBefore;
        state.counters["cpu_s"] = cpu;
        state.counters["wall_s"] = static_cast<double>(sinceBurst.elapsed()) / 1000.0;
        state.counters["longest_pass_ms"] = static_cast<double>(longestPassMs);
        state.counters["ping_answer_ms"] = static_cast<double>(answeredAtMs);
        state.counters["lines"] = log->blockCount() - blocksBefore;
        state.SetIterationTime(static_cast<double>(sinceBurst.elapsed()) / 1000.0);
    }
}
BENCHMARK(BM_SocketBurst)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

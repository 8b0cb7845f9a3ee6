// Appending to the Registry's chat log: each line is added at the end without rewriting the
// log, so the cost per line stays the same however long the log already is.

#include "common/Clock.h"
#include "common/Platform.h"
#include "common/Transport.h"
#include "registry/net/RegistryClient.h"
#include "registry/ui/FrmMain.h"

#include <QApplication>
#include <QTemporaryDir>

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

// A window and its core, as the program builds them, without a connection.
struct Program
{
    QTemporaryDir dir;
    common::ManualClock clock;
    IdleTransport main;
    IdleTransport probe;
    NoShell shell;
    std::unique_ptr<registry::FrmMain> window;
    std::unique_ptr<registry::RegistryClient> core;

    Program()
    {
        const std::string folder = dir.path().toStdString();
        window = std::make_unique<registry::FrmMain>(
            registry::FrmMain::Folders{folder, folder + "\\Talmora\\", folder + "\\Server\\"},
            shell);
        core = std::make_unique<registry::RegistryClient>(registry::RegistryClient::Ports{
            clock, main, probe, *window, [] { return common::Bytes("1"); }});
        window->attach(*core);
    }
    ~Program()
    {
        core.reset();
        window.reset();
    }
};

const std::string kLine = "Ostrik: the harbour gate on Riverside Keep is open again";

// N lines into a new log.
void BM_AppendLines(benchmark::State &state)
{
    const auto lines = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto program = std::make_unique<Program>();
        state.ResumeTiming();
        for (int i = 0; i < lines; ++i)
            program->core->appendChat(kLine);
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
    for (auto _ : state)
        program.core->appendChat(kLine);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendToLog)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The registry core handling one burst of 100,000 server entries and chat lines: cutting the
// packets, dispatching them and updating the server table, with a view that does nothing.
#include "common/Clock.h"
#include "common/Codec.h"
#include "registry/net/RegistryClient.h"

#include <benchmark/benchmark.h>

namespace {

using common::Bytes;
using common::ByteView;

class QuietTransport final : public common::Transport
{
public:
    void setListener(Listener *listener) override { m_listener = listener; }
    void connectTo(const std::string &, std::uint16_t) override { m_state = State::Connecting; }
    void close() override { m_state = State::Closed; }
    bool send(ByteView) override { return m_state == State::Connected; }
    State state() const override { return m_state; }
    void setReceiving(bool on) override { m_receiving = on; }
    bool receiving() const override { return m_receiving; }

    void accept()
    {
        m_state = State::Connected;
        m_listener->onConnected();
    }
    void deliver(ByteView bytes) { m_listener->onData(bytes); }

private:
    Listener *m_listener = nullptr;
    State m_state = State::Closed;
    bool m_receiving = true;
};

class QuietView final : public registry::RegistryView
{
public:
    int rows = 0;
    int lines = 0;
    void setRegistryState(ByteView, bool) override {}
    void setStatusText(ByteView) override {}
    void setAccountText(ByteView) override {}
    void setServerCountText(ByteView) override {}
    void setAccountMenuEnabled(registry::AccountMenu, bool) override {}
    void setServerSettingsEnabled(bool) override {}
    void setServerAddNewEnabled(bool) override {}
    void hidePanel(registry::Panel) override {}
    void appendChatLine(ByteView) override { ++lines; }
    void setChatInputEnabled(bool) override {}
    void clearChatInput() override {}
    void setServerRow(int, const registry::ServerRowText &) override { ++rows; }
    void clearServerRows() override {}
    void clearUsers() override {}
    void addUser(ByteView) override {}
    void clearNewAccountFields() override {}
    void clearNewAccountUserAndFocus() override {}
    void showLoginUser(ByteView) override {}
    void showLoginPassword(ByteView) override {}
    void showAutoLogin(int) override {}
    void setNewServerAddress(ByteView) override {}
    void setAddServerButton(bool, ByteView) override {}
    void showMessage(ByteView) override {}
    void quitRequested() override {}
};

constexpr int kMessages = 100'000;

// Half server entries over the 30 slots, half chat lines, interleaved.
Bytes burst()
{
    Bytes all;
    for (int i = 0; i < kMessages; ++i) {
        Bytes body;
        if (i % 2 == 0) {
            body = common::byteString({1, 1 + (i / 2) % 30, 1, i % 256});
            body += "Server " + std::to_string(i % 30) + "   ";
            body.push_back('\0');
            body += "Admin";
            body.push_back('\0');
            body += "192.0.2." + std::to_string(i % 250);
        } else {
            body = "\x07"
                   "player" +
                   std::to_string(i % 100) + ": good game, see you tomorrow";
        }
        all += *common::BuildPacket(body, common::PacketKind::Plain);
    }
    return all;
}

void DispatchServerEntriesAndChatLines(benchmark::State &state)
{
    const Bytes bytes = burst();
    common::ManualClock clock;
    QuietTransport main;
    QuietTransport probe;
    QuietView view;
    registry::RegistryClient client(
        {clock, main, probe, view, [] { return Bytes("1"); }, "127.0.0.1", 2600});
    client.start();
    clock.advance(registry::kConnectIntervalMs);
    client.onTimer();
    main.accept();
    for (auto _ : state) {
        main.deliver(bytes);
        benchmark::DoNotOptimize(view.rows);
    }
    if (view.rows + view.lines != kMessages * static_cast<int>(state.iterations()))
        state.SkipWithError("not every message was handled");
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(DispatchServerEntriesAndChatLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// The Updater core on a real socket: a scripted update server on loopback sends what a
// careless or hostile server sends, and a manual clock stands in for time.
#include "common/Clock.h"
#include "common/Codec.h"
#include "common/qt/QtTransport.h"
#include "tests/support/PeerUpdateServer.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/UpdaterRecording.h"
#include "tests/updater_files/TempFolder.h"
#include "updater/files/FileStore.h"
#include "updater/flow/UpdaterCore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using common::Bytes;
using testsupport::byteOf;
using testsupport::packet;
using testsupport::qbytes;
using testsupport::ServedFile;

// Passes everything on to the core and counts the bytes it was given, so a test knows when
// what the peer sent has been read.
class CountingListener final : public common::Transport::Listener
{
public:
    explicit CountingListener(common::Transport::Listener &core) : m_core(core) {}
    void onConnected() override { m_core.onConnected(); }
    void onClosed() override { m_core.onClosed(); }
    void onData(common::ByteView bytes) override
    {
        received += bytes.size();
        m_core.onData(bytes);
    }
    std::size_t received = 0;

private:
    common::Transport::Listener &m_core;
};

class UpdaterWire : public ::testing::Test
{
protected:
    // Start-up and the first slot, pointed at the peer; returns once the version check is in.
    void connect()
    {
        ASSERT_TRUE(peer.isListening());
        store = std::make_unique<updater::FileStore>(dir.path().string());
        writeFile(dir.path() / "zlib.dll", "zlib");
        updater::UpdaterConfig config;
        config.servers = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"};
        config.words = {"127.0.0.1", std::to_string(peer.port())};
        core = std::make_unique<updater::UpdaterCore>(*store, clock, transport, view, launcher,
                                                      std::move(config));
        counter = std::make_unique<CountingListener>(*core);
        transport.setListener(counter.get());
        core->StartUpdater();
        core->onTimer();
        ASSERT_TRUE(peer.waitUntil([&] { return !server.requests.empty(); }));
    }

    // Sends `bytes` and waits until the core has read them.
    void send(const Bytes &bytes)
    {
        const std::size_t target = counter->received + bytes.size();
        peer.send(qbytes(bytes));
        ASSERT_TRUE(peer.waitUntil([&] { return counter->received >= target; }));
    }

    std::string client(const std::string &relative) const
    {
        return (dir.path() / "Client" / relative).string();
    }
    Bytes clientPath(const Bytes &relative) const { return store->clientFolder() + relative; }

    TempFolder dir;
    common::ManualClock clock{1000};
    testsupport::ScriptedPeer peer;
    testsupport::PeerUpdateServer server{peer};
    common::QtTransport transport;
    updatertest::RecordingView view;
    updatertest::RecordingLauncher launcher;
    std::unique_ptr<updater::FileStore> store;
    std::unique_ptr<updater::UpdaterCore> core;
    std::unique_ptr<CountingListener> counter;
};

// Malformed messages ahead of the list are each dropped on their own; the list after them
// is served in full.
TEST_F(UpdaterWire, MalformedMessagesAreSkippedAndTheListAfterThemCompletes)
{
    const ServedFile a{2, "a.txt", "", "content of a", true};
    server.files = {a};
    server.listHead = packet(3, byteOf(251) + common::EncodeLong(1) + Bytes("x.txt\0", 6)) +
                      packet(3, byteOf(255) + common::EncodeLong(1) + Bytes("y.txt\0", 6)) +
                      packet(1, byteOf(0) + "Maps\\") + packet(1, byteOf(16) + "Maps\\") +
                      packet(2) + packet(1) + packet(3) +
                      packet(5, common::byteString({2, 0, 0})) + // index and 2 bytes of size
                      packet(9, "unknown") + Bytes(2, '\0');     // and an empty body
    connect();
    ASSERT_TRUE(peer.waitUntil([&] { return view.status == "Status: Update Complete"; }))
        << view.log();
    EXPECT_EQ(server.requested, (std::vector<int>{2}));
    EXPECT_EQ(readFile(client("a.txt")), a.content);
    EXPECT_EQ(readFile(dir.path() / "Version.dat"),
              updater::VersionRecord(a.version(), "", "a.txt"));
    EXPECT_TRUE(view.logHas("Update Complete (0 ms)")) << view.log();
    EXPECT_EQ(view.logCount("Ignored an invalid message from the Update Server (file data)."), 1);
    EXPECT_EQ(transport.state(), common::Transport::State::Connected);
}

// A SetLaunchFile after the list in the same arrival is handled when the list ends the pass;
// when it asks for a file instead, the request drops what came after it.
TEST_F(UpdaterWire, WhatFollowsTheListCountsOnlyWhenNothingIsRequested)
{
    const ServedFile a{2, "a.txt", "", "content of a", true};
    struct Case
    {
        const char *name;
        bool upToDate;
        Bytes started; // relative to the client folder
    };
    for (const Case &c : {Case{"nothing to fetch", true, "Late.exe"},
                          Case{"a file to fetch", false, "Registry.exe"}}) {
        SCOPED_TRACE(c.name);
        core.reset();
        std::filesystem::create_directories(client(""));
        server.files = {a};
        server.requests.clear();
        server.requested.clear();
        server.listTail = packet(0, "Late.exe");
        writeFile(client("Late.exe"), "late");
        writeFile(client("Registry.exe"), "registry");
        if (c.upToDate)
            writeFile(client("a.txt"), a.content);
        else
            std::filesystem::remove(client("a.txt"));
        std::filesystem::remove(dir.path() / "Version.dat");
        std::filesystem::remove(dir.path() / "Settings.ini");
        launcher.started.clear();
        view = updatertest::RecordingView();
        connect();
        ASSERT_TRUE(peer.waitUntil([&] { return view.status == "Status: Update Complete"; }))
            << view.log();
        core->onTimer();
        EXPECT_EQ(launcher.started, std::vector<Bytes>{clientPath(c.started)});
        EXPECT_EQ(store->ReadSetting("Client", "Launch Application File"),
                  c.upToDate ? clientPath("Late.exe") : Bytes());
        EXPECT_EQ(server.requested, c.upToDate ? std::vector<int>{} : std::vector<int>{2});
    }
}

// A server that answers a request with nothing, or with messages that carry no file, is given
// up after 30 s, and the next server slot follows.
TEST_F(UpdaterWire, ASilentServerAfterARequestIsGivenUp)
{
    const ServedFile a{2, "a.txt", "", "content of a", true};
    for (const bool chatty : {false, true}) {
        SCOPED_TRACE(chatty ? "unknown messages every second" : "silence");
        core.reset();
        server.files = {a};
        server.rawAnswers[2] = Bytes();
        server.requested.clear();
        server.requests.clear();
        view = updatertest::RecordingView();
        std::filesystem::remove(client("a.txt"));
        connect();
        ASSERT_TRUE(peer.waitUntil([&] { return !server.requested.empty(); }));
        for (int second = 1; second < 30; ++second) {
            clock.advance(1000);
            if (chatty)
                send(packet(77, Bytes(2000, 'u'))); // more than 1 KiB, but no file bytes
            core->onTimer();
        }
        clock.advance(999);
        core->onTimer();
        EXPECT_EQ(transport.state(), common::Transport::State::Connected);
        EXPECT_FALSE(view.logHas("The Update Server stopped sending."));
        clock.advance(1);
        core->onTimer();
        EXPECT_TRUE(view.logHas("The Update Server stopped sending.")) << view.log();
        EXPECT_TRUE(peer.waitForDisconnect());
        // The slots go on: the next one is tried when its time comes.
        EXPECT_NE(core->nextDeadline(), -1);
        EXPECT_LE(core->nextDeadline(), clock.nowMs() + updater::kRetryIntervalMs);
    }
}

} // namespace

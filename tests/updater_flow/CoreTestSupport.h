#pragma once

#include "common/Clock.h"
#include "common/Codec.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/UpdaterRecording.h"
#include "updater/files/FileStore.h"
#include "updater/flow/UpdaterCore.h"

#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace updatertest {

using common::Bytes;

// A core in a temporary program folder, with a manual clock and a fake transport.
class CoreFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        folder = dir.path().string();
    }

    void makeCore(std::vector<Bytes> words = {})
    {
        store = std::make_unique<updater::FileStore>(folder);
        updater::UpdaterConfig config;
        config.servers = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"};
        config.words = std::move(words);
        config.repair = repair;
        if (writer)
            core = std::make_unique<updater::UpdaterCore>(*store, clock, transport, view, launcher,
                                                          std::move(config), *writer);
        else
            core = std::make_unique<updater::UpdaterCore>(*store, clock, transport, view, launcher,
                                                          std::move(config));
        core->StartUpdater();
    }

    // Start-up, the first slot and an accepted connection; zlib.dll is present unless told.
    void connect(bool withZlib = true)
    {
        if (withZlib)
            writeFile(path("zlib.dll"), "zlib");
        if (!core)
            makeCore();
        core->onTimer();
        transport.acceptConnection();
    }

    // Every packet sent so far, length word included, however the writes were grouped.
    std::vector<Bytes> sent() const
    {
        std::vector<Bytes> packets;
        const Bytes all = transport.sentBytes();
        std::size_t at = 0;
        while (at + 2 <= all.size()) {
            const std::size_t n = common::DecodeLength(common::ByteView(all).substr(at));
            packets.push_back(all.substr(at, n + 2));
            at += n + 2;
        }
        return packets;
    }

    std::string path(const std::string &relative) const { return folder + "/" + relative; }
    std::string client(const std::string &relative) const { return folder + "/Client/" + relative; }
    bool logHas(const Bytes &line) const { return view.logHas(line); }
    int logCount(const Bytes &line) const { return view.logCount(line); }

    TempFolder dir;
    std::string folder;
    common::ManualClock clock{1000};
    testsupport::FakeTransport transport;
    RecordingView view;
    RecordingLauncher launcher;
    std::unique_ptr<updater::FileStore> store;
    updater::FileWriter *writer = nullptr; // set before makeCore(); files written at once if not
    bool repair = false;                   // set before makeCore()
    std::unique_ptr<updater::UpdaterCore> core;
};

} // namespace updatertest

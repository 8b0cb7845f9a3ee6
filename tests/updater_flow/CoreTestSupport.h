#pragma once

#include "common/Clock.h"
#include "common/Codec.h"
#include "tests/support/FakeTransport.h"
#include "updater/files/FileStore.h"
#include "updater/flow/UpdaterCore.h"

#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace updatertest {

using common::Bytes;

class RecordingView final : public updater::UpdaterView
{
public:
    void appendLogLine(const Bytes &text) override { lines.push_back(text); }
    void removeOldestLogLine() override
    {
        lines.erase(lines.begin());
        if (selected >= 0)
            --selected;
    }
    void selectLogLine(int index) override { selected = index; }
    void setStatusText(const Bytes &text) override { status = text; }
    void setBytesText(const Bytes &text) override { bytes = text; }
    void setBarWidth(int width) override { bar = width; }
    void endProcess() override { ++ended; }

    std::vector<Bytes> lines;
    int selected = -1;
    Bytes status;
    Bytes bytes;
    int bar = -1;
    int ended = 0;
};

class RecordingLauncher final : public updater::ProgramLauncher
{
public:
    bool start(const Bytes &path, const std::string &workingFolder) override
    {
        started.push_back(path);
        directory = workingFolder;
        if (onStart)
            onStart();
        return refused.count(path) == 0;
    }
    std::vector<Bytes> started;
    std::function<void()> onStart;
    std::set<Bytes> refused; // paths that are not programs: start() fails
    std::string directory;
};

inline Bytes byteOf(int v)
{
    return Bytes(1, static_cast<char>(static_cast<unsigned char>(v)));
}

inline Bytes packet(int type, const Bytes &fields = {})
{
    return *common::BuildPacket(byteOf(type) + fields, common::PacketKind::Plain);
}

inline Bytes fileInfo(int index, std::int32_t version, const Bytes &name, const Bytes &folder)
{
    return packet(3, byteOf(index) + common::EncodeLong(version) + name + Bytes(1, '\0') + folder);
}

inline Bytes fileData(int index, std::int32_t size)
{
    return packet(5, byteOf(index) + common::EncodeLong(size));
}

inline Bytes fileRequest(int index)
{
    return common::byteString({0, 2, 1, index});
}

inline Bytes versionCheck()
{
    return common::byteString({0, 7, 0}) + "V5.323";
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

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
    bool logHas(const Bytes &line) const
    {
        for (const auto &l : core->logLines())
            if (l == line)
                return true;
        return false;
    }
    int logCount(const Bytes &line) const
    {
        int n = 0;
        for (const auto &l : core->logLines())
            n += l == line ? 1 : 0;
        return n;
    }

    TempFolder dir;
    std::string folder;
    common::ManualClock clock{1000};
    testsupport::FakeTransport transport;
    RecordingView view;
    RecordingLauncher launcher;
    std::unique_ptr<updater::FileStore> store;
    updater::FileWriter *writer = nullptr; // set before makeCore(); files written at once if not
    std::unique_ptr<updater::UpdaterCore> core;
};

} // namespace updatertest

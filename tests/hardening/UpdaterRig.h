#pragma once

// An Updater core in a sandbox, with a scripted update server on a fake transport, a manual
// clock and a recording window; and a snapshot of a folder tree to prove what changed.

#include "common/Clock.h"
#include "common/Codec.h"
#include "common/ReceiveBuffer.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/Links.h"
#include "tests/support/UpdaterRecording.h"
#include "updater/files/FileStore.h"
#include "updater/files/Packing.h"
#include "updater/flow/UpdaterCore.h"

#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hardening {

namespace fs = std::filesystem;
using common::Bytes;

using updatertest::byteOf;
using updatertest::fileCount;
using updatertest::fileInfo;
using updatertest::fileListEnd;
using updatertest::folderEntry;
using updatertest::RecordingLauncher;
using updatertest::RecordingView;
using updatertest::setLaunchFile;

// A framed packet from the update server.
inline Bytes updatePacket(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::Plain);
}
inline Bytes fileDataHeader(int index, std::int32_t size)
{
    return updatertest::fileData(index, size);
}

// Every entry below a folder, links not followed: "d" for a folder, "l:" and the target for
// a symbolic link, "f:" and the content for a file.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshot(const fs::path &root)
{
    Snapshot out;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(root, ec)))
        return out;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        // Links are not resolved; the names use "/" on every system.
        const std::string rel = it->path().lexically_relative(root).generic_string();
        const fs::file_status st = it->symlink_status();
        if (testsupport::IsLink(it->path())) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(it->path(), linkError);
            out[rel] = "l:" + (linkError ? std::string("?") : target.string());
            it.disable_recursion_pending();
        } else if (fs::is_directory(st)) {
            out[rel] = "d";
        } else {
            out[rel] = "f:" + readFile(it->path());
        }
    }
    return out;
}

// What differs between two snapshots, for failure messages.
inline std::string describeChanges(const Snapshot &before, const Snapshot &after)
{
    std::string text;
    for (const auto &[name, value] : after) {
        const auto it = before.find(name);
        if (it == before.end())
            text += "created " + name + "\n";
        else if (it->second != value)
            text += "changed " + name + "\n";
    }
    for (const auto &[name, value] : before)
        if (after.find(name) == after.end())
            text += "removed " + name + "\n";
    return text;
}

inline bool isTemporaryName(const std::string &name)
{
    return name.find(".part-") != std::string::npos;
}

// Temporary files left anywhere below `root`.
inline std::vector<std::string> temporaryFiles(const fs::path &root)
{
    std::vector<std::string> found;
    for (const auto &[name, value] : snapshot(root))
        if (isTemporaryName(fs::path(name).filename().string()))
            found.push_back(name);
    return found;
}

// One game file as the scripted server offers it.
struct ServedFile
{
    int index = 2;
    Bytes folder; // "" or ending in "\"
    Bytes name;
    Bytes content;                     // what the file holds once written
    bool packed = false;               // sent as PackedMarker & Pack(content)
    std::optional<Bytes> wireOverride; // sent instead, when set

    Bytes wire() const
    {
        if (wireOverride)
            return *wireOverride;
        return packed ? updater::PackedMarker() + updater::Pack(content) : content;
    }
    // The number the server announces: the byte sum of the packed form.
    std::int32_t version() const
    {
        return common::ByteSum(updater::PackedMarker() + updater::Pack(content));
    }
};

// Answers the Updater's requests: the file list on UpdateVersionCheck, the file on
// FileRequest. Bytes go out in the order they are asked for, at most `budget` of them in a
// connection (negative: no limit); when the budget runs out mid-answer, what fits is
// delivered and the connection drops.
class ScriptedUpdateServer
{
public:
    ScriptedUpdateServer(testsupport::FakeTransport &transport) : m_transport(transport) {}

    Bytes prologue; // sent before the list (folders, launch file ...)
    std::vector<ServedFile> files;
    Bytes extraListBytes; // appended to the list before FileListEnd

    Bytes listBytes() const
    {
        Bytes out = prologue + fileCount(static_cast<int>(files.size()));
        for (const auto &f : files)
            out += fileInfo(f.index, f.version(), f.name, f.folder);
        return out + extraListBytes + fileListEnd();
    }
    Bytes fileBytes(int index) const
    {
        for (const auto &f : files)
            if (f.index == index)
                return fileDataHeader(index, static_cast<std::int32_t>(f.wire().size())) + f.wire();
        return {};
    }

    // Server-to-client bytes of an undisturbed exchange that fetches every file.
    std::size_t fullExchangeSize() const
    {
        std::size_t n = listBytes().size();
        for (const auto &f : files)
            n += fileBytes(f.index).size();
        return n;
    }

    // Serves until the Updater asks for nothing more. Returns false when the budget ran out
    // and the connection was dropped.
    bool serve(long long budget = -1)
    {
        for (;;) {
            // The Updater may send several packets at once.
            const auto &sends = m_transport.sends();
            while (m_seen < sends.size())
                m_fromClient.append(sends[m_seen++]);
            while (const auto packet = m_fromClient.cutPacket()) {
                if (packet->type == 0)
                    m_queue.push_back(listBytes());
                else if (packet->type == 1 && !packet->fields.empty())
                    m_queue.push_back(fileBytes(common::byteAt(packet->fields, 0)));
                // TransferAck: nothing to answer
            }
            if (m_queue.empty())
                return true;
            const Bytes next = m_queue.front();
            m_queue.pop_front();
            if (budget >= 0 && static_cast<long long>(next.size()) > budget) {
                if (budget > 0)
                    m_transport.deliver(Bytes(next, 0, static_cast<std::size_t>(budget)));
                m_queue.clear();
                m_transport.dropConnection();
                return false;
            }
            if (budget >= 0)
                budget -= static_cast<long long>(next.size());
            m_delivered += next.size();
            m_transport.deliver(next);
        }
    }

    // A new connection starts with fresh requests.
    void reset()
    {
        m_seen = m_transport.sends().size();
        m_fromClient.clear();
        m_queue.clear();
    }

private:
    testsupport::FakeTransport &m_transport;
    std::size_t m_seen = 0;
    common::ReceiveBuffer m_fromClient;
    std::deque<Bytes> m_queue;
    std::size_t m_delivered = 0;
};

// A sandbox holding the program folder "prog" (with its Client folder), a sibling folder
// "outside" that nothing may touch, and an Updater core on top.
class UpdaterRig
{
public:
    UpdaterRig()
    {
        EXPECT_FALSE(m_dir.path().empty());
        sandbox = m_dir.path();
        program = sandbox / "prog";
        fs::create_directories(program / "Client");
        fs::create_directories(sandbox / "outside");
        writeFile(sandbox / "outside" / "victim.txt", "outside content");
        writeFile(program / "zlib.dll", "zlib"); // no zlib exchange unless a test wants one
    }

    ~UpdaterRig()
    {
        core.reset();
        // Names the server chose may not be valid text for Qt's own removal.
        testsupport::RemoveAll(sandbox);
    }
    UpdaterRig(const UpdaterRig &) = delete;
    UpdaterRig &operator=(const UpdaterRig &) = delete;

    fs::path client() const { return program / "Client"; }

    // A fresh Updater process: store, core, start-up, the first server slot and an accepted
    // connection (the core sends UpdateVersionCheck).
    void startRun(const std::function<void(updater::FileStore &)> &prepare = {})
    {
        core.reset();
        store = std::make_unique<updater::FileStore>(program.string());
        if (prepare)
            prepare(*store);
        transport = std::make_unique<testsupport::FakeTransport>();
        server = std::make_unique<ScriptedUpdateServer>(*transport);
        view = RecordingView();
        updater::UpdaterConfig config;
        config.servers = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"};
        core = std::make_unique<updater::UpdaterCore>(*store, clock, *transport, view, launcher,
                                                      std::move(config));
        core->StartUpdater();
        core->onTimer();
        transport->acceptConnection();
    }

    // After a lost connection: the next server slot comes due and connects.
    void reconnect()
    {
        clock.advance(updater::kRetryIntervalMs);
        core->onTimer();
        server->reset();
        transport->acceptConnection();
    }

    bool logHas(const Bytes &line) const { return view.logHas(line); }
    // The pass has ended: its result shows in the status line.
    bool passEnded() const
    {
        return view.status == "Status: Update Complete" ||
               view.status == "Status: Update Incomplete";
    }
    std::string log() const { return view.log(); }

    fs::path sandbox;
    fs::path program;
    common::ManualClock clock{5000};
    std::unique_ptr<updater::FileStore> store;
    std::unique_ptr<testsupport::FakeTransport> transport;
    std::unique_ptr<ScriptedUpdateServer> server;
    RecordingView view;
    RecordingLauncher launcher;
    std::unique_ptr<updater::UpdaterCore> core;

private:
    // Thousands of short runs each write and flush a handful of files: a memory file system,
    // where there is one, keeps flushing cheap.
    static fs::path sandboxBase()
    {
#ifdef _WIN32
        return {}; // the system's own temporary folder, with its rules
#else
        std::error_code ec;
        if (fs::is_directory("/dev/shm", ec))
            return "/dev/shm";
        return {};
#endif
    }

    TempFolder m_dir{sandboxBase()};
};

} // namespace hardening

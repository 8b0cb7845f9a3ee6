#pragma once

// What every Updater test shares: the update server's messages as bytes, and the recording
// window and launcher the core drives in place of the real ones.

#include "common/Bytes.h"
#include "common/Codec.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdaterView.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace updatertest {

using common::Bytes;

inline Bytes byteOf(int v)
{
    return Bytes(1, static_cast<char>(static_cast<unsigned char>(v)));
}

// A framed message of the update server: its type, then its fields.
inline Bytes packet(int type, const Bytes &fields = {})
{
    return *common::BuildPacket(byteOf(type) + fields, common::PacketKind::Plain);
}

inline Bytes setLaunchFile(const Bytes &path)
{
    return packet(0, path);
}
inline Bytes folderEntry(int number, const Bytes &folder)
{
    return packet(1, byteOf(number) + folder);
}
inline Bytes fileCount(int count)
{
    return packet(2, byteOf(count));
}
inline Bytes fileInfo(int index, std::int32_t version, const Bytes &name, const Bytes &folder)
{
    return packet(3, byteOf(index) + common::EncodeLong(version) + name + Bytes(1, '\0') + folder);
}
inline Bytes fileListEnd()
{
    return packet(4);
}
// FileData: the raw bytes of the file follow.
inline Bytes fileData(int index, std::int32_t size)
{
    return packet(5, byteOf(index) + common::EncodeLong(size));
}

// What the Updater sends, length word included.
inline Bytes fileRequest(int index)
{
    return common::byteString({0, 2, 1, index});
}
inline Bytes versionCheck()
{
    return common::byteString({0, 7, 0}) + "V5.323";
}
inline Bytes transferAck(int index, std::int32_t received)
{
    return common::byteString({0, 6, 2, index}) + common::EncodeLong(received);
}

// The window as the core drives it: the log list as it shows it (at most 100 lines, one of
// them selected), every line ever logged, the progress texts and the end of the run.
class RecordingView final : public updater::UpdaterView
{
public:
    void appendLogLine(const Bytes &text) override
    {
        lines.push_back(text);
        logged.push_back(text);
    }
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

    // How often `line` was logged in the whole run.
    int logCount(const Bytes &line) const
    {
        return static_cast<int>(std::count(logged.begin(), logged.end(), line));
    }
    bool logHas(const Bytes &line) const { return logCount(line) > 0; }
    // The whole run's log, one line each, for failure messages.
    std::string log() const
    {
        std::string all;
        for (const Bytes &line : logged)
            all += line + "\n";
        return all;
    }

    std::vector<Bytes> lines;  // as the log list shows them
    std::vector<Bytes> logged; // every line, none removed
    int selected = -1;
    Bytes status;
    Bytes bytes;
    int bar = -1;
    int ended = 0; // endProcess() calls: the hand-over is done
};

// What the hand-over would start.
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

} // namespace updatertest

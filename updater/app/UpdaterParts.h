#pragma once

#include "common/Bytes.h"
#include "common/Clock.h"
#include "common/Transport.h"
#include "updater/app/UpdaterWindowBase.h"
#include "updater/files/FileStore.h"
#include "updater/flow/FileWriter.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdaterCore.h"
#include "updater/flow/VersionComputer.h"

#include <functional>
#include <string>
#include <vector>

namespace updater {

// What both Updater programs hold beside their toolkit's socket, window and core timer: the
// file store, the clock, the background writer, the version computer and the core wired to
// them. The workers' results come back through `post`, a queued call in the program's loop.
// Closing the window runs the hand-over. A program builds this after the socket and the window
// and before its timer, so that it goes before the first and after the last.
struct UpdaterParts
{
    using Post = std::function<void(std::function<void()>)>;

    UpdaterParts(const std::string &programFolder, const Post &post, common::Transport &transport,
                 UpdaterWindowBase &window, ProgramLauncher &launcher,
                 std::vector<common::Bytes> words);
    UpdaterParts(const UpdaterParts &) = delete;
    UpdaterParts &operator=(const UpdaterParts &) = delete;

    FileStore store;
    common::SteadyClock clock;
    // Files are unpacked and written on threads of their own while the next one arrives.
    BackgroundFileWriter writer;
    // Local versions are packed on worker threads.
    ThreadedVersionComputer versions;
    UpdaterCore core;
};

} // namespace updater

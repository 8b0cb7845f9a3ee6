#pragma once

#include "common/Bytes.h"
#include "common/win32/MessageWindow.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Win32Transport.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdaterParts.h"
#include "updater/flow/ui/win32/UpdaterWindow.h"

#include <memory>
#include <string>
#include <vector>

namespace updater {

// The Updater's parts wired together as the Windows program runs them: the window, the
// socket, the background writer and the core. Closing the window runs the hand-over; the
// hand-over ends the message loop (PostQuitMessage).
class Win32UpdaterProgram
{
public:
    // Throws std::runtime_error when the window cannot be created.
    Win32UpdaterProgram(const std::string &programFolder, std::vector<common::Bytes> words,
                        ProgramLauncher &launcher);
    Win32UpdaterProgram(const Win32UpdaterProgram &) = delete;
    Win32UpdaterProgram &operator=(const Win32UpdaterProgram &) = delete;

    // Shows the window and starts the run. May throw; the window stays shown then, and
    // closing it still runs the hand-over.
    void start();

    Win32UpdaterWindow &window() { return m_window; }
    UpdaterCore &core() { return m_parts.core; }

private:
    // Results of the worker threads come back through this window's messages; it outlives
    // the workers, which are joined before it goes.
    common::MessageWindow m_results;
    common::Win32Transport m_transport;
    Win32UpdaterWindow m_window;
    UpdaterParts m_parts;
    std::unique_ptr<common::Win32CoreTimer> m_timer;
};

} // namespace updater

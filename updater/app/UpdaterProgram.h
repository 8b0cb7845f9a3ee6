#pragma once

#include "common/Bytes.h"
#include "common/Clock.h"
#include "updater/app/CommandLine.h"
#include "updater/files/FileStore.h"
#include "updater/flow/FileWriter.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdaterCore.h"
#include "updater/flow/VersionComputer.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace updater {

// The objects of the Updater program, built in the order each needs the others: the queue
// that brings the workers' results back, the socket, the window, the file store, the clock,
// the background writer, the version computer and the core; the core's timer once the run
// has started. They go in the reverse order, so the workers are joined while the queue and
// the window still exist. Closing the window runs the hand-over; the hand-over ends the
// program's event loop.
//
// Each front end names its socket adapter, its "Auto Updater" window (an UpdaterWindowBase)
// and the timer that runs the core's deadlines, and in `FrontEnd` the rest of its part:
//   Results       call(work) runs `work` later on the window's thread, from any thread
//   show(window)  shows the window and paints it at once
//   endLoop()     leaves the program's event loop
template <class Transport, class Window, class CoreTimer, class FrontEnd> class UpdaterProgram
{
public:
    // Throws std::runtime_error when the window cannot be created.
    UpdaterProgram(const std::string &programFolder, std::vector<Bytes> words,
                   ProgramLauncher &launcher)
        : m_store(programFolder), m_writer(m_store, post()), m_versions(m_store, post()),
          m_core(m_store, m_clock, m_transport, m_window, launcher,
                 MakeUpdaterConfig(std::move(words)), m_writer)
    {
        m_core.setVersionComputer(m_versions);
        m_window.onClose = [this] { m_core.FinishAndLaunch(); };
        m_window.onEnd = [] { FrontEnd::endLoop(); };
    }
    UpdaterProgram(const UpdaterProgram &) = delete;
    UpdaterProgram &operator=(const UpdaterProgram &) = delete;

    // Shows the window and starts the run. May throw; the window stays shown then, and
    // closing it still runs the hand-over.
    void start()
    {
        FrontEnd::show(m_window);
        m_core.StartUpdater();
        m_timer.emplace(m_core, m_clock);
    }

    Window &window() { return m_window; }
    // The store the whole run writes through (tests make its writes fail).
    FileStore &store() { return m_store; }

private:
    // Files are unpacked and written, and local versions computed, on threads of their own;
    // their results come back through the toolkit's queue.
    std::function<void(std::function<void()>)> post()
    {
        return [this](std::function<void()> work) { m_results.call(std::move(work)); };
    }

    typename FrontEnd::Results m_results;
    Transport m_transport;
    Window m_window;
    FileStore m_store;
    common::SteadyClock m_clock;
    BackgroundFileWriter m_writer;
    ThreadedVersionComputer m_versions;
    UpdaterCore m_core;
    std::optional<CoreTimer> m_timer;
};

} // namespace updater

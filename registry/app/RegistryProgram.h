#pragma once

#include "common/Clock.h"
#include "common/Platform.h"
#include "registry/app/IniAccountSettings.h"
#include "registry/app/WindowActions.h"
#include "registry/net/RegistryClient.h"
#include "registry/support/CommandLine.h"
#include "registry/support/MachineId.h"

#include <functional>
#include <optional>
#include <utility>

namespace registry {

// The game client and the game server live in folders beside the program.
inline ProgramFolders FoldersBeside(const Bytes &programFolder)
{
    return {programFolder, programFolder + "\\Talmora\\", programFolder + "\\Server\\"};
}

// The objects of the Registry program, built in the order each needs the others: clock, the
// registry connection and the probe, shell, window, registry.ini, core; the core's timer once
// the core has started. Each front end names its transport, window and timer types.
template <class Transport, class Window, class CoreTimer> class RegistryProgram
{
public:
    // `endLoop` leaves the program's event loop.
    RegistryProgram(const Bytes &programFolder, const ServerAddress &server,
                    std::function<void()> endLoop)
        : m_window(FoldersBeside(programFolder), m_shell), m_settings(programFolder),
          m_core({m_clock, m_main, m_probe, m_window, [] { return MachineId(); }, server.host,
                  server.port, &m_settings})
    {
        // QuitProgram: close the connection and end the program at once.
        m_window.setQuitHandler([this, endLoop = std::move(endLoop)] {
            m_main.close();
            endLoop();
        });
    }
    RegistryProgram(const RegistryProgram &) = delete;
    RegistryProgram &operator=(const RegistryProgram &) = delete;

    // The window's loading, the window shown, then the core and its timer started.
    void start()
    {
        m_window.attach(m_core);
        m_window.show();
        m_core.start();
        m_timer.emplace(m_core, m_clock);
        m_timer->rearm();
    }

private:
    common::SteadyClock m_clock;
    Transport m_main;  // sckMain
    Transport m_probe; // sckPingNewServ
    common::PlatformShell m_shell;
    Window m_window;
    IniAccountSettings m_settings;
    RegistryClient m_core;
    std::optional<CoreTimer> m_timer;
};

} // namespace registry

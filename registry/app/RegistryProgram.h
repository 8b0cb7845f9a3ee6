#pragma once

#include "common/Clock.h"
#include "common/Platform.h"
#include "registry/app/IniAccountSettings.h"
#include "registry/app/RegistryWiring.h"
#include "registry/support/CommandLine.h"
#include "registry/support/MachineId.h"

#include <functional>
#include <optional>
#include <utility>

namespace registry {

// The objects of the Registry program, built in the order each needs the others: clock, the
// registry connection and the probe, shell, window, registry.ini, the local clock, the wiring
// with the core; the core's timer once the core has started. Each front end names
// its transport, window and timer types; a window offers surface(), notifier(), attach() and
// show().
template <class Transport, class Window, class CoreTimer> class RegistryProgram
{
public:
    // `endLoop` leaves the program's event loop.
    RegistryProgram(const Bytes &programFolder, const ServerAddress &server,
                    std::function<void()> endLoop)
        : m_window(programFolder), m_settings(programFolder),
          m_wiring(m_window.surface(), m_window.notifier(), programFolder, server,
                   {m_clock, m_main, m_probe, m_shell, m_localClock, [] { return MachineId(); },
                    &m_settings, m_settings.path()})
    {
        // QuitProgram: close the connection and end the program at once.
        m_wiring.view().setQuitHandler([this, endLoop = std::move(endLoop)] {
            m_main.close();
            endLoop();
        });
    }
    RegistryProgram(const RegistryProgram &) = delete;
    RegistryProgram &operator=(const RegistryProgram &) = delete;

    // The window's inputs connected and its loading run, the window shown, then the core and
    // its timer started.
    void start()
    {
        m_window.attach(m_wiring.controller());
        m_window.show();
        m_wiring.controller().start();
        m_timer.emplace(m_wiring.controller().core(), m_clock);
        m_timer->rearm();
    }

    Window &window() { return m_window; }

private:
    common::SteadyClock m_clock;
    Transport m_main;  // sckMain
    Transport m_probe; // sckPingNewServ
    common::PlatformShell m_shell;
    Window m_window;
    IniAccountSettings m_settings;
    SystemLocalClock m_localClock;
    RegistryWiring m_wiring;
    std::optional<CoreTimer> m_timer;
};

} // namespace registry

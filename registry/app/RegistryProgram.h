#pragma once

#include "common/Clock.h"
#include "common/Platform.h"
#include "registry/app/IniAccountSettings.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowView.h"
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
// registry connection and the probe, shell, window, the core's view of it, registry.ini, the
// controller with the core; the core's timer once the core has started. Each front end names
// its transport, window and timer types; a window offers surface(), notifier(), attach() and
// show().
template <class Transport, class Window, class CoreTimer> class RegistryProgram
{
public:
    // `endLoop` leaves the program's event loop.
    RegistryProgram(const Bytes &programFolder, const ServerAddress &server,
                    std::function<void()> endLoop)
        : m_window(programFolder), m_view(m_window.surface()), m_settings(programFolder),
          m_serverList(m_window.surface(), m_clock, m_settings.path()),
          m_chatShowing(m_localClock, m_settings.path()),
          m_controller({m_clock, m_main, m_probe, m_view, [] { return MachineId(); }, server.host,
                        server.port, &m_settings},
                       m_window.surface(), m_shell, FoldersBeside(programFolder))
    {
        m_view.setServerList(m_serverList);
        m_serverList.setNotifier(m_window.notifier());
        m_controller.setServerList(m_serverList);
        m_chatShowing.setPlayerName([this] { return m_controller.core().accountName(); });
        m_view.setChatLineShowing(m_chatShowing);
        m_controller.setChatLineShowing(m_chatShowing);
        // QuitProgram: close the connection and end the program at once.
        m_view.setQuitHandler([this, endLoop = std::move(endLoop)] {
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
        m_window.attach(m_controller);
        m_window.show();
        m_controller.start();
        m_timer.emplace(m_controller.core(), m_clock);
        m_timer->rearm();
    }

    Window &window() { return m_window; }

private:
    common::SteadyClock m_clock;
    Transport m_main;  // sckMain
    Transport m_probe; // sckPingNewServ
    common::PlatformShell m_shell;
    Window m_window;
    WindowView m_view;
    IniAccountSettings m_settings;
    ServerListShown m_serverList;
    SystemLocalClock m_localClock;
    ChatLineShowing m_chatShowing;
    WindowController m_controller;
    std::optional<CoreTimer> m_timer;
};

} // namespace registry

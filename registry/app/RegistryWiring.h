#pragma once

#include "common/Clock.h"
#include "common/Platform.h"
#include "registry/app/ChatLines.h"
#include "registry/app/DesktopNotifier.h"
#include "registry/app/ServerListShown.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowSurface.h"
#include "registry/app/WindowView.h"
#include "registry/net/AccountSettings.h"
#include "registry/net/RegistryClient.h"
#include "registry/support/CommandLine.h"

#include <functional>
#include <utility>

namespace registry {

// The game client and the game server live in folders beside the program.
inline ProgramFolders FoldersBeside(const Bytes &programFolder)
{
    return {programFolder, programFolder + "\\Talmora\\", programFolder + "\\Server\\"};
}

// The Registry's own objects over the ports they are given, wired to each other: the core's
// view of the window, the server list and the chat lines as shown, and the controller with
// the core. The program gives it the system's clock, sockets and shell; the window tests give
// it fakes, so that they run the wiring the program runs.
class RegistryWiring
{
public:
    struct Ports
    {
        const common::Clock &clock;
        common::Transport &main;  // sckMain
        common::Transport &probe; // sckPingNewServ
        common::Shell &shell;
        const LocalClock &localClock;
        std::function<Bytes()> machineId;
        AccountSettings *settings; // registry.ini's account; none: nothing is kept
        Bytes iniPath;             // registry.ini, for the list's and the chat's choices
    };

    RegistryWiring(WindowSurface &surface, DesktopNotifier &notifier, const Bytes &programFolder,
                   const ServerAddress &server, Ports ports)
        : m_view(surface), m_serverList(surface, ports.clock, ports.iniPath),
          m_chatShowing(ports.localClock, ports.iniPath),
          m_controller({ports.clock, ports.main, ports.probe, m_view, std::move(ports.machineId),
                        server.host, server.port, ports.settings},
                       surface, ports.shell, FoldersBeside(programFolder))
    {
        m_view.setServerList(m_serverList);
        m_serverList.setNotifier(notifier);
        m_controller.setServerList(m_serverList);
        m_chatShowing.setPlayerName([this] { return m_controller.core().accountName(); });
        m_view.setChatLineShowing(m_chatShowing);
        m_controller.setChatLineShowing(m_chatShowing);
    }
    RegistryWiring(const RegistryWiring &) = delete;
    RegistryWiring &operator=(const RegistryWiring &) = delete;

    WindowView &view() { return m_view; }
    ServerListShown &serverList() { return m_serverList; }
    ChatLineShowing &chatShowing() { return m_chatShowing; }
    WindowController &controller() { return m_controller; }

private:
    WindowView m_view;
    ServerListShown m_serverList;
    ChatLineShowing m_chatShowing;
    WindowController m_controller;
};

} // namespace registry

#pragma once

#include "common/Platform.h"
#include "registry/net/RegistryClient.h"
#include "registry/net/RegistryView.h"
#include "registry/support/Launcher.h"

#include <utility>

namespace registry {

// Where the program and the programs it starts live.
struct ProgramFolders
{
    Bytes program; // without a trailing separator
    Bytes game;    // program & "\Talmora\"
    Bytes server;  // program & "\Server\"
};

// The server the core has chosen, in the form the game launcher takes; nothing without a
// core.
inline SelectedServer ChosenForLaunch(const RegistryClient *core)
{
    if (!core)
        return {};
    const ChosenServer &chosen = core->selectedServer();
    return SelectedServer{chosen.name, chosen.address, chosen.port};
}

// The user's actions that both windows run alike over the core, the shell and the folders.
// Toolkit-free: each window only reads its boxes and calls one of these.
class WindowActions
{
public:
    WindowActions(ProgramFolders folders, common::Shell &shell, RegistryView &view)
        : m_folders(std::move(folders)), m_shell(shell), m_view(view)
    {
    }

    const ProgramFolders &folders() const { return m_folders; }

    // The core is attached once the window has been built; until then the actions that need
    // it do nothing.
    void attach(RegistryClient &core) { m_core = &core; }

    // A message of the window's own: through the core, which knows while a message is open;
    // before the core is attached, straight to the window.
    void present(const Bytes &text) const
    {
        if (m_core)
            m_core->showMessage(text);
        else
            m_view.showMessage(text);
    }

    // "Send" with the chat input's text, line breaks as CR LF.
    void send(ByteView boxText) const
    {
        if (m_core)
            m_core->sendChat(boxText);
    }

    // "Play Selected Server" and a double-click on a row: the game client with the chosen
    // server.
    void play() const
    {
        StartGameClient(
            m_shell, [this](const Bytes &text) { present(text); }, m_folders.game,
            selectedServer());
    }

    // Server > Run: the game server.
    void runServer() const
    {
        RunGameServer(
            m_shell, [this](const Bytes &text) { present(text); }, m_folders.server);
    }

    SelectedServer selectedServer() const { return ChosenForLaunch(m_core); }

private:
    ProgramFolders m_folders;
    common::Shell &m_shell;
    RegistryView &m_view;
    RegistryClient *m_core = nullptr;
};

} // namespace registry

#pragma once

#include "common/Platform.h"
#include "registry/net/RegistryClient.h"
#include "registry/net/RegistryView.h"
#include "registry/support/Launcher.h"

#include <functional>
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

    // A label-button released, wherever the pointer is. `sendBoxText` reads the chat input
    // (line breaks as CR LF) for "Send". The buttons of the Server Settings panel have no
    // request behind them and only show that they were pressed.
    void buttonReleased(Button id, const std::function<Bytes()> &sendBoxText) const
    {
        if (id == Button::PlaySelectedServer) {
            play();
            return;
        }
        if (!m_core)
            return;
        switch (id) {
        case Button::CreateAccount:
            m_core->createAccountReleased();
            break;
        case Button::Login:
            m_core->loginReleased();
            break;
        case Button::Send:
            m_core->sendChat(sendBoxText());
            break;
        case Button::AddServer:
            m_core->addServerPressed();
            break;
        case Button::UseMyAddress:
            m_core->requestMyAddress();
            break;
        case Button::PlaySelectedServer:
        case Button::RemoveServer:
        case Button::SaveServerSettings:
            break;
        }
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

    // Exit and closing the window ask the program to end: with a core, its QuitRequested,
    // which asks the window back once; before the core is attached, the window at once.
    void requestQuit() const
    {
        if (m_core)
            m_core->requestQuit();
        else
            m_view.quitRequested();
    }

    SelectedServer selectedServer() const { return ChosenForLaunch(m_core); }

private:
    ProgramFolders m_folders;
    common::Shell &m_shell;
    RegistryView &m_view;
    RegistryClient *m_core = nullptr;
};

} // namespace registry

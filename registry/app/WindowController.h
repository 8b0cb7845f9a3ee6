#pragma once

#include "common/Platform.h"
#include "registry/app/ChatExtras.h"
#include "registry/app/ChatLines.h"
#include "registry/app/ServerListShown.h"
#include "registry/app/WindowDescription.h"
#include "registry/app/WindowSurface.h"
#include "registry/net/RegistryClient.h"
#include "registry/support/Launcher.h"

namespace registry {

// Where the program and the programs it starts live.
struct ProgramFolders
{
    Bytes program; // without a trailing separator
    Bytes game;    // program & "\Talmora\"
    Bytes server;  // program & "\Server\"
};

// The one entry of every user input of the main window, whichever toolkit draws it, and the
// only holder of the core: each front end turns a toolkit event into one call of this, and
// this decides what the core, the launcher and the window do about it. It also keeps the
// server chosen in the list, for the game client.
class WindowController
{
public:
    // `ports.view` shows what the core says (a WindowView over the same surface).
    WindowController(RegistryClient::Ports ports, WindowSurface &surface, common::Shell &shell,
                     ProgramFolders folders);
    WindowController(const WindowController &) = delete;
    WindowController &operator=(const WindowController &) = delete;

    // For the core's timer and for reading the core's state.
    RegistryClient &core() { return m_core; }
    const RegistryClient &core() const { return m_core; }
    // The server chosen in the list, as the game client is started with it; empty until a
    // row has been chosen.
    const SelectedServer &selectedServer() const { return m_selected; }

    // The window has been built and connected: its loading (the version line, the welcome
    // line, then the stored account).
    void windowLoaded();
    // The window is shown: the first connection attempt comes 500 ms later.
    void start() { m_core.start(); }

    // A label-button released (wherever the pointer is), a panel's "Close" released, a menu
    // item chosen.
    void buttonReleased(Button button);
    void closeReleased(Panel panel);
    void menuChosen(MenuItem item);
    // The text of a box changed, by typing or because the program set it; what it holds now
    // is read from the window when it matters.
    void textChanged(int control);
    // Enter went down (also by the key's repeat) or came up in a box.
    void enterPressed(int control);
    void enterReleased(int control);
    // A click of "Automatically Login".
    void autoLoginClicked();
    // A row of the server list chosen (click or keyboard), a click that hit no row, a row
    // double-clicked.
    void serverRowChosen(int index);
    void noServerRowChosen();
    void serverRowActivated();
    // A click on the server list's header, on the column of `column`'s content.
    void serverHeaderClicked(ServerColumn column);
    // The list the header's clicks, the find row and the context menu arrange; it chooses and
    // un-chooses rows through this.
    void setServerList(ServerListShown &list);
    // A click of "Hide offline" (the find box's changes come as textChanged).
    void hideOfflineClicked();
    // The server list's context menu for the row `index` (none: no row under the pointer),
    // and an item of it chosen.
    std::vector<ServerMenuEntry> serverMenu(std::optional<int> index) const;
    void serverMenuChosen(ServerMenuItem item, std::optional<int> index);
    // The row the player has chosen, for the keyboard's context menu; and the favourite key.
    std::optional<int> chosenServerRow() const;
    void favouriteKeyPressed();
    // The user closes the window: never refused, it asks the program to end.
    void closeRequested();
    // Up (older) or Down in the chat input: the lines sent before, newest first; past the
    // newest, what was being typed.
    void chatInputStep(bool older);
    // A name in "Users Online:" double-clicked: the chat input is addressed to that user.
    void userActivated(ByteView name);
    // "Show Times" chosen in the chat log's context menu: times before the lines that arrive
    // from now on, or none, and the choice kept.
    void chatTimesToggled();
    // What the chat log's times are kept in; the menu item shows it from the window's loading.
    void setChatLineShowing(ChatLineShowing &showing) { m_chatShowing = &showing; }

private:
    void play();
    // A message of the window's own goes through the core, which knows while one is open.
    void present(const Bytes &text) { m_core.showMessage(text); }
    // Shows the panel on top; its first empty box takes the focus.
    void showPanel(Panel panel);
    void serverFindChanged();

    RegistryClient m_core;
    WindowSurface &m_surface;
    common::Shell &m_shell;
    ProgramFolders m_folders;
    SelectedServer m_selected;
    Bytes m_selectedAdministrator; // with the name, what the server is kept by
    ServerListShown *m_serverList = nullptr;
    ChatHistory m_history;
    ChatLineShowing *m_chatShowing = nullptr;
};

} // namespace registry

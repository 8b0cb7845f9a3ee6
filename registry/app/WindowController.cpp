#include "registry/app/WindowController.h"

#include <utility>

namespace registry {

WindowController::WindowController(RegistryClient::Ports ports, WindowSurface &surface,
                                   common::Shell &shell, ProgramFolders folders)
    : m_core(std::move(ports)), m_surface(surface), m_shell(shell), m_folders(std::move(folders))
{
}

void WindowController::windowLoaded()
{
    m_surface.setText(IdRegVer, RegistryVersionLine());
    if (m_chatShowing)
        m_surface.setChatTimesChecked(m_chatShowing->showsTimes());
    m_core.appendChat(kWelcomeLine);
    m_core.loadAccountSettings();
}

void WindowController::buttonReleased(Button button)
{
    switch (button) {
    case Button::PlaySelectedServer:
        play();
        return;
    case Button::CreateAccount:
        m_core.createAccountReleased();
        return;
    case Button::Login:
        m_core.loginReleased();
        return;
    case Button::Send:
        if (const auto sent = m_core.sendChat(m_surface.text(IdSend)))
            m_history.sent(*sent);
        return;
    case Button::AddServer:
        m_core.addServerPressed();
        return;
    case Button::UseMyAddress:
        m_core.requestMyAddress();
        return;
    case Button::RemoveServer:
    case Button::SaveServerSettings:
        return; // no request behind them: they only show that they were pressed
    }
}

void WindowController::closeReleased(Panel panel)
{
    m_surface.setPanelShown(panel, false);
}

void WindowController::showPanel(Panel panel)
{
    m_surface.setPanelShown(panel, true);
    if (const std::optional<int> box =
            FirstEmptyBox(panel, [this](int control) { return m_surface.text(control); }))
        m_surface.setFocus(*box);
}

void WindowController::menuChosen(MenuItem item)
{
    switch (item) {
    case MenuItem::CreateNewAccount: // the account panels hide each other
        m_surface.setPanelShown(Panel::AccountLogin, false);
        showPanel(Panel::NewAccount);
        return;
    case MenuItem::LogIn:
        m_surface.setPanelShown(Panel::NewAccount, false);
        showPanel(Panel::AccountLogin);
        return;
    case MenuItem::LogOut:
        m_core.logOff();
        return;
    case MenuItem::Exit:
        m_core.requestQuit();
        return;
    case MenuItem::ServerRun:
        RunGameServer(
            m_shell, [this](const Bytes &text) { present(text); }, m_folders.server);
        return;
    case MenuItem::ServerSettings:
        showPanel(Panel::ServerSettings);
        return;
    case MenuItem::ServerAddNew:
        showPanel(Panel::AddServer);
        return;
    case MenuItem::Credits:
        showPanel(Panel::Credits);
        return;
    case MenuItem::Version:
        m_surface.showVersionWindow();
        return;
    }
}

void WindowController::textChanged(int control)
{
    if (const std::optional<AccountBox> box = AccountBoxOf(control)) {
        m_core.accountTextChanged(*box, m_surface.text(control));
    } else if (control == IdNewServer || control == IdNewIP || control == IdNewPort) {
        m_core.newServerFieldsChanged(m_surface.text(IdNewServer), m_surface.text(IdNewIP),
                                      m_surface.text(IdNewPort));
    } else if (control == IdServerFind) {
        serverFindChanged();
    }
}

void WindowController::enterPressed(int control)
{
    if (control == IdSend) {
        if (const auto sent = m_core.sendChatFromEnter(m_surface.text(IdSend)))
            m_history.sent(*sent);
    } else if (const std::optional<AccountBox> box = AccountBoxOf(control)) {
        m_core.enterPressed(*box);
    }
}

void WindowController::enterReleased(int control)
{
    if (const std::optional<AccountBox> box = AccountBoxOf(control))
        m_core.enterReleased(*box);
}

void WindowController::autoLoginClicked()
{
    // Unticked becomes ticked, ticked unticked and greyed ticked; from then on the box is an
    // ordinary two-state box.
    const bool ticked = m_core.autoLogin() != 1;
    m_surface.setCheck(IdAutoLogin, ticked ? 1 : 0);
    m_core.autoLoginClicked(ticked);
}

void WindowController::serverRowChosen(int index)
{
    if (!ServerTable::validIndex(index))
        return;
    const ServerRecord &slot = m_core.servers().slot(index);
    m_selected = SelectedServer{slot.name, slot.address, kGameClientPort};
    m_selectedAdministrator = slot.administrator;
    if (m_serverList)
        m_serverList->rowChosen(index);
    m_surface.setEnabled(ButtonControl(Button::PlaySelectedServer), true);
}

void WindowController::noServerRowChosen()
{
    if (m_serverList)
        m_serverList->noRowChosen();
    m_surface.setEnabled(ButtonControl(Button::PlaySelectedServer), false);
}

void WindowController::serverRowActivated()
{
    play();
}

void WindowController::closeRequested()
{
    m_core.requestQuit();
}

void WindowController::play()
{
    const bool started = StartGameClient(
        m_shell, [this](const Bytes &text) { present(text); }, m_folders.game, m_selected);
    if (started && m_serverList && !m_selected.name.empty())
        m_serverList->played({m_selected.name, m_selectedAdministrator});
}

void WindowController::serverHeaderClicked(ServerColumn column)
{
    if (m_serverList)
        m_serverList->headerClicked(column);
}

void WindowController::chatInputStep(bool older)
{
    const std::optional<Bytes> line =
        older ? m_history.up(m_surface.text(IdSend)) : m_history.down();
    if (line)
        m_surface.setText(IdSend, *line);
}

void WindowController::userActivated(ByteView name)
{
    // Only while the input takes text: logged in.
    if (!m_core.loggedIn() || name.empty())
        return;
    m_surface.setText(IdSend, Bytes(name) + ": ");
    m_surface.setFocus(IdSend);
}

void WindowController::chatTimesToggled()
{
    if (!m_chatShowing)
        return;
    // A registry.ini that cannot be written keeps the choice for this run only.
    m_chatShowing->setShowsTimes(!m_chatShowing->showsTimes());
    m_surface.setChatTimesChecked(m_chatShowing->showsTimes());
}

} // namespace registry

namespace registry {

void WindowController::setServerList(ServerListShown &list)
{
    m_serverList = &list;
    list.setChoiceHandlers(
        [this](int index) {
            m_surface.chooseServerRow(index);
            serverRowChosen(index);
        },
        [this] { noServerRowChosen(); });
}

void WindowController::serverFindChanged()
{
    if (m_serverList)
        m_serverList->setFindText(m_surface.text(IdServerFind));
}

void WindowController::hideOfflineClicked()
{
    if (!m_serverList)
        return;
    const bool hide = !m_serverList->list().hidesOffline();
    m_surface.setCheck(IdHideOffline, hide ? 1 : 0);
    m_serverList->setHideOffline(hide);
}

std::vector<ServerMenuEntry> WindowController::serverMenu(std::optional<int> index) const
{
    if (!m_serverList)
        return {};
    const ServerList &list = m_serverList->list();
    std::optional<bool> favourite;
    if (index && list.isShown(*index))
        favourite = list.isFavourite(*index);
    return ServerMenuEntries(favourite, list.choices().favouriteNotices);
}

void WindowController::serverMenuChosen(ServerMenuItem item, std::optional<int> index)
{
    if (!m_serverList)
        return;
    switch (item) {
    case ServerMenuItem::Favourite:
        if (index)
            m_serverList->toggleFavourite(*index);
        return;
    case ServerMenuItem::FavouriteNotices:
        m_serverList->setFavouriteNotices(!m_serverList->list().choices().favouriteNotices);
        return;
    }
}

std::optional<int> WindowController::chosenServerRow() const
{
    return m_serverList ? m_serverList->chosenRow() : std::nullopt;
}

void WindowController::favouriteKeyPressed()
{
    serverMenuChosen(ServerMenuItem::Favourite, chosenServerRow());
}

} // namespace registry

#include "registry/app/WindowView.h"

namespace registry {

WindowView::WindowView(WindowSurface &surface)
    : m_surface(surface),
      m_chat([&surface](std::function<void()> work) { return surface.post(std::move(work)); },
             [&surface](ByteView lines, bool marked) { surface.appendChat(lines, marked); }),
      m_self(std::make_shared<WindowView *>(this))
{
}

void WindowView::flushChat()
{
    m_chat.flush();
}

void WindowView::setRegistryState(ByteView caption, bool online)
{
    m_surface.setText(IdRegistry, caption);
    m_surface.setTextColour(IdRegistry, online ? kOnlineColour : kOfflineColour);
}

void WindowView::setStatusText(ByteView text)
{
    m_surface.setText(IdStatus, text);
}

void WindowView::setAccountText(ByteView text)
{
    m_surface.setText(IdAccount, text);
}

void WindowView::setServerCountText(ByteView text)
{
    m_surface.setText(IdServers, text);
}

void WindowView::setAccountMenuEnabled(AccountMenu item, bool enabled)
{
    m_surface.setMenuEnabled(AccountMenuItem(item), enabled);
}

void WindowView::setServerSettingsEnabled(bool enabled)
{
    m_surface.setMenuEnabled(MenuItem::ServerSettings, enabled);
}

void WindowView::setServerAddNewEnabled(bool enabled)
{
    m_surface.setMenuEnabled(MenuItem::ServerAddNew, enabled);
}

void WindowView::hidePanel(Panel panel)
{
    m_surface.setPanelShown(panel, false);
}

void WindowView::appendChatLine(ByteView line)
{
    if (line.empty() || !m_chatShowing)
        return m_chat.append(line);
    const ChatLineShowing::Shown shown = m_chatShowing->show(line);
    m_chat.append(shown.text, shown.marked);
}

void WindowView::setChatInputEnabled(bool enabled)
{
    m_surface.setEnabled(IdSend, enabled);
    m_surface.setEnabled(ButtonControl(Button::Send), enabled);
}

void WindowView::clearChatInput()
{
    m_surface.setText(IdSend, "");
}

void WindowView::setServerRow(int index, const ServerRowText &row)
{
    if (m_serverList)
        m_serverList->rowArrived(index, row);
    else
        m_surface.setServerRow(index, row);
}

void WindowView::clearServerRows()
{
    if (m_serverList)
        m_serverList->cleared();
    else
        m_surface.clearServerRows();
}

void WindowView::clearUsers()
{
    m_surface.clearUsers();
}

void WindowView::addUser(ByteView name)
{
    m_surface.addUser(name);
}

void WindowView::clearNewAccountFields()
{
    for (int box : {IdUser0, IdPass0, IdPass2})
        m_surface.setText(box, "");
}

void WindowView::clearNewAccountUserAndFocus()
{
    m_surface.setText(IdUser0, "");
    m_surface.setFocus(IdUser0);
}

void WindowView::showLoginUser(ByteView user)
{
    m_surface.setText(IdUser1, user);
}

void WindowView::showLoginPassword(ByteView password)
{
    m_surface.setText(IdPass1, password);
}

void WindowView::showAutoLogin(int autoLogin)
{
    m_surface.setCheck(IdAutoLogin, autoLogin);
}

void WindowView::setButtonEnabled(Button button, bool enabled)
{
    m_surface.setEnabled(ButtonControl(button), enabled);
}

void WindowView::setRetypeEnabled(bool enabled)
{
    m_surface.setEnabled(IdRetype, enabled);
    m_surface.setEnabled(IdPass2, enabled);
}

void WindowView::setNewServerAddress(ByteView address)
{
    m_surface.setText(IdNewIP, address);
}

void WindowView::setAddServerButton(bool enabled, ByteView caption)
{
    const int add = ButtonControl(Button::AddServer);
    m_surface.setEnabled(add, enabled);
    m_surface.setText(add, caption);
}

void WindowView::showMessage(ByteView text)
{
    m_surface.showMessage(text);
}

void WindowView::quitRequested()
{
    if (m_quitScheduled)
        return;
    m_quitScheduled = true;
    // QuitProgram runs once the current event has been handled. It only closes the socket and
    // asks the loop to end, so when the loop's queue takes no more work it runs at once rather
    // than never.
    const bool posted = m_surface.post([self = std::weak_ptr<WindowView *>(m_self)] {
        const auto alive = self.lock();
        if (alive && (*alive)->m_quitHandler)
            (*alive)->m_quitHandler();
    });
    if (!posted && m_quitHandler)
        m_quitHandler();
}

} // namespace registry

#pragma once

#include "registry/app/ChatGathering.h"
#include "registry/app/ChatLines.h"
#include "registry/app/ServerListShown.h"
#include "registry/app/WindowSurface.h"
#include "registry/net/RegistryView.h"

#include <functional>
#include <memory>

namespace registry {

// What the core shows, turned into changes of the main window's controls once for both front
// ends: which controls each of the core's requests touches, the colours of the registry's
// state, chat lines gathered into one insertion per pass of the event loop, and the end of the
// program once the current event has been handled.
class WindowView final : public RegistryView
{
public:
    explicit WindowView(WindowSurface &surface);

    // What ends the program once QuitRequested is set (close the socket and leave the loop).
    void setQuitHandler(std::function<void()> handler) { m_quitHandler = std::move(handler); }
    // Adds the chat lines waiting for the event loop to the log now.
    void flushChat();
    // The server list's rows go through `list`, which arranges them as the player chose;
    // without one they go to the window as they come.
    void setServerList(ServerListShown &list) { m_serverList = &list; }
    // Chat lines are shown as `showing` decides (times, marks); without it, as they come.
    void setChatLineShowing(const ChatLineShowing &showing) { m_chatShowing = &showing; }

    void setRegistryState(ByteView caption, bool online) override;
    void setStatusText(ByteView text) override;
    void setAccountText(ByteView text) override;
    void setServerCountText(ByteView text) override;
    void setAccountMenuEnabled(AccountMenu item, bool enabled) override;
    void setServerSettingsEnabled(bool enabled) override;
    void setServerAddNewEnabled(bool enabled) override;
    void hidePanel(Panel panel) override;
    void appendChatLine(ByteView line) override;
    void setChatInputEnabled(bool enabled) override;
    void clearChatInput() override;
    void setServerRow(int index, const ServerRowText &row) override;
    void clearServerRows() override;
    void clearUsers() override;
    void addUser(ByteView name) override;
    void clearNewAccountFields() override;
    void clearNewAccountUserAndFocus() override;
    void showLoginUser(ByteView user) override;
    void showLoginPassword(ByteView password) override;
    void showAutoLogin(int autoLogin) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setRetypeEnabled(bool enabled) override;
    void setNewServerAddress(ByteView address) override;
    void setAddServerButton(bool enabled, ByteView caption) override;
    void showMessage(ByteView text) override;
    void quitRequested() override;

private:
    WindowSurface &m_surface;
    ChatGathering m_chat;
    ServerListShown *m_serverList = nullptr;
    const ChatLineShowing *m_chatShowing = nullptr;
    std::function<void()> m_quitHandler;
    bool m_quitScheduled = false;
    // Work still queued when this goes finds it gone and does nothing.
    std::shared_ptr<WindowView *> m_self;
};

} // namespace registry

#pragma once

#include "common/Platform.h"
#include "registry/app/WindowActions.h"
#include "registry/net/RegistryView.h"
#include "registry/support/Launcher.h"

#include <windows.h>

#include <array>
#include <functional>
#include <map>

namespace registry {
class RegistryClient;
}

namespace registry::win32 {

// Identifiers of the window's controls and menu items.
enum ControlId : int
{
    IdRegistry = 100,
    IdServers,
    IdStatus,
    IdAccount,
    IdServerList,
    IdUsers,
    IdChat,
    IdSend,
    IdStatusArea,
    IdUsersCaption,
    IdButtonBase = 200, // + the label-button's number
    IdCloseBase = 300,  // + the panel's number
    IdPanelBase = 400,  // + the panel's number
    IdUser0 = 500,
    IdUser1,
    IdPass0,
    IdPass1,
    IdPass2,
    IdRetype,
    IdNotify,
    IdAutoLogin,
    IdRegVer,
    IdServerName,
    IdServerIP,
    IdServerPort,
    IdNewServer,
    IdNewIP,
    IdNewPort,
    IdMenuAccountBase = 600, // + the AccountMenu item
    IdMenuExit = 610,
    IdMenuServerRun,
    IdMenuServerSettings,
    IdMenuServerAddNew,
    IdMenuCredits,
    IdMenuVersion,
};

// Window colours as 0x00BBGGRR values, which is also how the system takes them.
inline constexpr COLORREF kWindowColour = 0x61514B;
inline constexpr COLORREF kButtonIdleColour = 0x2F241E;
inline constexpr COLORREF kButtonPressedColour = 0x61514B;
inline constexpr COLORREF kButtonTextColour = 0x9AADC2;

// The main window of the Registry program on the Windows API. It builds the controls, turns
// the core's requests into control changes (RegistryView) and the user's actions into calls
// of the core. The core's bytes are Windows-1252 text and go to the "A" functions unchanged.
class MainWindow final : public RegistryView
{
public:
    using Folders = ProgramFolders;

    MainWindow(Folders folders, common::Shell &shell);
    ~MainWindow() override;
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    // Connects the window to the core and runs the window's loading: version caption,
    // welcome line, the server list's columns, then the core loads the stored account.
    void attach(RegistryClient &core);
    void show();

    HWND hwnd() const { return m_hwnd; }
    HMENU menu() const { return m_menu; }
    // Any control of the window by its identifier; null for an unknown one.
    HWND control(int id) const;
    HWND versionWindow() const { return m_version; }
    HWND headerToolTips() const { return m_tips; }
    // The columns' keys, index column first.
    static const char *columnKey(int column);
    // The background a label-button shows now.
    COLORREF buttonColour(HWND label) const;

    // Where modal messages go: MessageBoxA with only OK and the program's title unless
    // replaced (tests record the text instead).
    using MessagePresenter = std::function<void(const Bytes &)>;
    void setMessagePresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }
    // What ends the program once QuitRequested is set: close the socket and leave the loop.
    void setQuitHandler(std::function<void()> handler) { m_quitHandler = std::move(handler); }
    // Called after each user action and window event that may have changed the core's state,
    // so that the core's timer can be armed for its new deadline.
    void setAfterInput(std::function<void()> handler) { m_afterInput = std::move(handler); }

    // The chat log as lines joined by CR LF (lines still waiting for the loop included).
    Bytes chatLogText();
    // Adds the lines waiting for the message loop to the log now.
    void flushChat();
    SelectedServer selectedServer() const { return m_actions.selectedServer(); }

    // RegistryView
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
    void setPlayEnabled(bool enabled) override;
    void setButtonEnabled(Button id, bool enabled) override;
    void setRetypeEnabled(bool enabled) override;
    void setNewServerAddress(ByteView address) override;
    void setAddServerButton(bool enabled, ByteView caption) override;
    void showMessage(ByteView text) override;
    void quitRequested() override;

    // Window actions, also reachable without the mouse (Enter keys, double-click).
    void showPanel(Panel panel);
    void playAction();
    void runServerAction();
    void showVersionWindow();

private:
    static MainWindow *windowOf(HWND hwnd, UINT message, LPARAM lParam);
    static LRESULT CALLBACK mainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK versionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK labelButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR self);
    static LRESULT CALLBACK enterBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    // Messages of the main window and those its containers pass up; false: not handled.
    bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result);
    void command(int id, int code);
    void accountMenuCommand(AccountMenu item);
    // EN_CHANGE of an edit box.
    void editChanged(int id);
    LRESULT notify(const NMHDR &header);
    void serverListNotify(const NMHDR &header);
    // The server list's header; TRUE refuses a change.
    LRESULT headerNotify(const NMHDR &header);
    LRESULT colourStatic(HDC dc, HWND control);
    void drawLabelButton(const DRAWITEMSTRUCT &item);
    void labelButtonReleased(int id);
    bool enterBoxKey(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

    HWND create(const char *cls, const char *text, DWORD style, HWND parent, int id, RECT place,
                DWORD exStyle = 0);
    HWND caption(const char *text, HWND parent, RECT place, int id = 0);
    HWND textBox(int id, int limit, HWND parent, RECT place, bool password = false);
    HWND labelButton(int id, const char *text, HWND parent, RECT place);
    // One of the label-buttons with a number.
    HWND button(Button id, const char *text, HWND parent, RECT place, bool enabled = true);
    // A row of a panel: the caption, then the box beside it.
    HWND field(HWND panel, int row, const char *label, int id, int limit, bool password = false,
               int width = 180);
    HWND createPanel(Panel which, const char *title);
    void createControls();
    void createServerList();
    void createMenus();
    void buildNewAccountPanel();
    void buildLoginPanel();
    void buildServerSettingsPanel();
    void buildCreditsPanel();
    void buildAddServerPanel();
    void layout(int width, int height);
    void sizeServerColumns();
    void updateHeaderTips();
    void enableButton(Button id, bool enabled);
    void enableMenu(int id, bool enabled);
    void setWholeText(int id, ByteView text);
    Bytes text(int id) const;
    Bytes sendBoxText() const;
    void afterInput();
    void serverRowChosen(int item);
    void autoLoginClicked();
    void newServerFieldsChanged();

    WindowActions m_actions;
    RegistryClient *m_core = nullptr;
    MessagePresenter m_presenter;
    std::function<void()> m_quitHandler;
    std::function<void()> m_afterInput;
    bool m_quitScheduled = false;
    bool m_registryOnline = false;
    Bytes m_pendingChat; // lines not yet in the log, joined by CR LF
    bool m_chatFlushPosted = false;

    HWND m_hwnd = nullptr;
    HMENU m_menu = nullptr;
    HWND m_tips = nullptr;
    HWND m_version = nullptr;
    HFONT m_font = nullptr;
    HFONT m_bold = nullptr;
    HBRUSH m_windowBrush = nullptr;
    HBRUSH m_panelBrush = nullptr;
    std::map<int, HWND> m_controls;
    std::map<HWND, bool> m_pressed; // label-buttons and whether each is held down
    std::array<HWND, kPanelCount> m_panels{};
};

// Verdana where installed, otherwise the system's dialog font; `bold` for titles.
HFONT CreateProgramFont(bool bold);

} // namespace registry::win32

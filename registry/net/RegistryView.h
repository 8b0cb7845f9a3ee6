#pragma once

#include "common/Bytes.h"

namespace registry {

using common::Bytes;
using common::ByteView;

// The label-buttons of the main window; the values are the buttons' numbers.
enum class Button : int
{
    PlaySelectedServer = 0,
    CreateAccount = 1,
    Login = 2,
    RemoveServer = 6,
    Send = 7,
    SaveServerSettings = 8,
    AddServer = 10,
    UseMyAddress = 12,
};

// The caption of the main window and of every message.
inline constexpr const char *kProgramTitle = "The Talmora Online Registry";

// One row of the server list as the window shows it.
struct ServerRowText
{
    Bytes status; // "Online" / "Offline"
    Bytes name;
    Bytes players; // decimal text
    Bytes administrator;
};

// The five panels that share one place beside the chat; the values are the panels' numbers.
enum class Panel : int
{
    NewAccount = 0,
    AccountLogin,
    ServerSettings,
    Credits,
    AddServer,
};
inline constexpr int kPanelCount = 5;

// The account items of the Registry menu.
enum class AccountMenu : int
{
    CreateNewAccount = 0,
    LogIn,
    LogOut,
};
inline constexpr int kAccountMenuCount = 3;

// The text boxes of the account panels whose changes and Enter keys the core hears of.
enum class AccountBox : int
{
    NewAccountUser = 0,
    NewAccountPassword,
    Retyped, // the new account's password typed again
    LoginUser,
    LoginPassword,
};

// What the registry core shows through the main window. The window only shows and forwards:
// it asks the core nothing back. The Qt window implements it with real widgets; tests use a
// recording fake.
class RegistryView
{
public:
    virtual ~RegistryView() = default;

    // Status area.
    virtual void setRegistryState(ByteView caption, bool online) = 0; // green / red text
    virtual void setStatusText(ByteView text) = 0;
    virtual void setAccountText(ByteView text) = 0;
    virtual void setServerCountText(ByteView text) = 0;

    // Menus: the account items and the own-server items.
    virtual void setAccountMenuEnabled(AccountMenu item, bool enabled) = 0;
    virtual void setServerSettingsEnabled(bool enabled) = 0;
    virtual void setServerAddNewEnabled(bool enabled) = 0;

    virtual void hidePanel(Panel panel) = 0;

    // Chat: one non-empty line at the end of the log, scrolled into view.
    virtual void appendChatLine(ByteView line) = 0;
    // The chat input and its "Send" button.
    virtual void setChatInputEnabled(bool enabled) = 0;
    virtual void clearChatInput() = 0;

    // Server list: a row keyed by the server index, added at the end when new, refreshed
    // in place when known.
    virtual void setServerRow(int index, const ServerRowText &row) = 0;
    virtual void clearServerRows() = 0;

    // Users online.
    virtual void clearUsers() = 0;
    virtual void addUser(ByteView name) = 0;

    // Account panels.
    virtual void clearNewAccountFields() = 0; // user, password and re-typed password
    virtual void clearNewAccountUserAndFocus() = 0;
    // The Account Login panel as registry.ini left it at start. The texts go into the boxes
    // whole; `autoLogin` is the check box value: 1 ticked, 0 not ticked, 2 greyed.
    virtual void showLoginUser(ByteView user) = 0;
    virtual void showLoginPassword(ByteView password) = 0;
    virtual void showAutoLogin(int autoLogin) = 0;

    // "Create Account" and "Login", as the account boxes are typed in. Views without the
    // account panels (benchmarks, fuzz targets) may leave these two alone.
    virtual void setButtonEnabled(Button, bool) {}
    // The re-type box of the New Account panel together with its caption.
    virtual void setRetypeEnabled(bool) {}

    // Add New Server panel.
    virtual void setNewServerAddress(ByteView address) = 0;
    virtual void setAddServerButton(bool enabled, ByteView caption) = 0;

    // A modal message with an OK button and the program's title. Returns when it is closed;
    // socket data may be delivered while it is open.
    virtual void showMessage(ByteView text) = 0;

    // QuitRequested became true: the program ends once the current event has been handled.
    virtual void quitRequested() = 0;
};

} // namespace registry

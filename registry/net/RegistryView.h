#pragma once

#include "common/Bytes.h"

namespace registry {

using common::Bytes;
using common::ByteView;

// One row of the server list as the window shows it.
struct ServerRowText
{
    Bytes status; // "Online" / "Offline"
    Bytes name;
    Bytes players; // decimal text
    Bytes administrator;
};

// What the registry core shows and asks through the main window. The Qt window implements
// it with real widgets; tests use a recording fake. Panel indices: 0 New Account, 1 Account
// Login, 2 Server Settings, 3 Registry Credits, 4 Add New Server.
class RegistryView
{
public:
    virtual ~RegistryView() = default;

    // Status area.
    virtual void setRegistryState(ByteView caption, bool online) = 0; // green / red text
    virtual void setStatusText(ByteView text) = 0;
    virtual void setAccountText(ByteView text) = 0;
    virtual void setServerCountText(ByteView text) = 0;

    // Menus: "Create New Account" (0), "Log In" (1), "Log Out" (2); the own-server items.
    virtual void setAccountMenuEnabled(int index, bool enabled) = 0;
    virtual void setServerSettingsEnabled(bool enabled) = 0;
    virtual void setServerAddNewEnabled(bool enabled) = 0;

    virtual void hidePanel(int index) = 0;

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
    virtual void clearNewAccountFields() = 0; // user, password and re-typed password of panel 0
    virtual void clearNewAccountUserAndFocus() = 0;
    virtual bool autoLoginTicked() const = 0;
    virtual Bytes loginUserText() const = 0;
    virtual Bytes loginPasswordText() const = 0;

    // Add New Server panel. Setting the address counts as a change of the box.
    virtual void setNewServerAddress(ByteView address) = 0;
    virtual Bytes newServerName() const = 0;
    virtual Bytes newServerAddress() const = 0;
    virtual Bytes newServerPortText() const = 0;
    virtual void setAddServerButton(bool enabled, ByteView caption) = 0;

    // A modal message with an OK button and the program's title. Returns when it is closed;
    // socket data may be delivered while it is open.
    virtual void showMessage(ByteView text) = 0;

    // QuitRequested became true: the program ends once the current event has been handled.
    virtual void quitRequested() = 0;
};

} // namespace registry

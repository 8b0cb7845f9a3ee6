#pragma once

#include "registry/net/RegistryView.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// The Registry core's view for tests: it keeps what the window would show and records every
// call in order. A test can play the nested event loop of a modal message through
// `duringMessage`.
class RecordingRegistryView final : public registry::RegistryView
{
public:
    // Window state as the core left it.
    common::Bytes registryCaption = "Offline";
    bool registryOnline = false;
    common::Bytes statusText = "Connecting...";
    common::Bytes accountText = "Logged Off";
    common::Bytes serverCountText = "N/A";
    bool accountMenu[3] = {false, false, false};
    bool serverSettingsEnabled = false;
    bool serverAddNewEnabled = false;
    std::vector<int> hiddenPanels;
    std::vector<common::Bytes> chatLines;
    bool chatInputEnabled = false;
    int chatInputClears = 0;
    std::vector<int> rowOrder; // keys in list order
    std::map<int, registry::ServerRowText> rows;
    std::vector<common::Bytes> users;
    int newAccountFieldClears = 0;
    int newAccountUserClears = 0;
    common::Bytes loginUser;
    common::Bytes loginPassword;
    int autoLogin = 0;
    std::map<registry::Button, bool> buttonEnabled; // as last set through setButtonEnabled
    bool retypeEnabled = false;
    common::Bytes newServerAddressText;
    bool addServerEnabled = false;
    common::Bytes addServerCaption = "Add Server";
    std::vector<common::Bytes> messages;
    int openMessages = 0;    // messages open inside each other now
    int deepestMessages = 0; // the most that were
    int quitCalls = 0;
    // Every call, in order ("message:...", "hidePanel:4", "row:5|Online|Name|12|Admin", ...).
    std::vector<common::Bytes> calls;

    std::function<void(common::ByteView)> duringMessage;

    void setRegistryState(common::ByteView caption, bool online) override
    {
        registryCaption = caption;
        registryOnline = online;
        record("registry:" + common::Bytes(caption));
    }
    void setStatusText(common::ByteView text) override
    {
        statusText = text;
        record("status:" + common::Bytes(text));
    }
    void setAccountText(common::ByteView text) override
    {
        accountText = text;
        record("account:" + common::Bytes(text));
    }
    void setServerCountText(common::ByteView text) override
    {
        serverCountText = text;
        record("count:" + common::Bytes(text));
    }
    void setAccountMenuEnabled(registry::AccountMenu item, bool enabled) override
    {
        const int index = static_cast<int>(item);
        accountMenu[index] = enabled;
        record("accountMenu:" + std::to_string(index) + (enabled ? "=on" : "=off"));
    }
    void setServerSettingsEnabled(bool enabled) override
    {
        serverSettingsEnabled = enabled;
        record(enabled ? "settings=on" : "settings=off");
    }
    void setServerAddNewEnabled(bool enabled) override
    {
        serverAddNewEnabled = enabled;
        record(enabled ? "addNew=on" : "addNew=off");
    }
    void hidePanel(registry::Panel panel) override
    {
        const int index = static_cast<int>(panel);
        hiddenPanels.push_back(index);
        record("hidePanel:" + std::to_string(index));
    }
    void appendChatLine(common::ByteView line) override
    {
        chatLines.emplace_back(line);
        record("chat:" + common::Bytes(line));
    }
    void setChatInputEnabled(bool enabled) override
    {
        chatInputEnabled = enabled;
        record(enabled ? "chatInput=on" : "chatInput=off");
    }
    void clearChatInput() override
    {
        ++chatInputClears;
        record("clearChatInput");
    }
    void setServerRow(int index, const registry::ServerRowText &row) override
    {
        if (rows.find(index) == rows.end())
            rowOrder.push_back(index);
        rows[index] = row;
        record("row:" + std::to_string(index) + "|" + row.status + "|" + row.name + "|" +
               row.players + "|" + row.administrator);
    }
    void clearServerRows() override
    {
        rows.clear();
        rowOrder.clear();
        record("clearRows");
    }
    void clearUsers() override
    {
        users.clear();
        record("clearUsers");
    }
    void addUser(common::ByteView name) override
    {
        users.emplace_back(name);
        record("user:" + common::Bytes(name));
    }
    void clearNewAccountFields() override
    {
        ++newAccountFieldClears;
        record("clearNewAccountFields");
    }
    void clearNewAccountUserAndFocus() override
    {
        ++newAccountUserClears;
        record("clearNewAccountUser");
    }
    void showLoginUser(common::ByteView user) override
    {
        loginUser = user;
        record("loginUser:" + common::Bytes(user));
    }
    void showLoginPassword(common::ByteView password) override
    {
        loginPassword = password;
        record("loginPassword");
    }
    void showAutoLogin(int value) override
    {
        autoLogin = value;
        record("autoLogin:" + std::to_string(value));
    }
    void setButtonEnabled(registry::Button button, bool enabled) override
    {
        buttonEnabled[button] = enabled;
        record("button:" + std::to_string(static_cast<int>(button)) + (enabled ? "=on" : "=off"));
    }
    void setRetypeEnabled(bool enabled) override
    {
        retypeEnabled = enabled;
        record(enabled ? "retype=on" : "retype=off");
    }
    void setNewServerAddress(common::ByteView address) override
    {
        newServerAddressText = address;
        record("address:" + common::Bytes(address));
    }
    void setAddServerButton(bool enabled, common::ByteView caption) override
    {
        addServerEnabled = enabled;
        addServerCaption = caption;
        record("addServer:" + common::Bytes(caption) + (enabled ? "=on" : "=off"));
    }
    void showMessage(common::ByteView text) override
    {
        messages.emplace_back(text);
        record("message:" + common::Bytes(text));
        deepestMessages = std::max(deepestMessages, ++openMessages);
        if (duringMessage) {
            // One nested delivery per message; the hook may be replaced from inside.
            auto hook = duringMessage;
            hook(text);
        }
        --openMessages;
        record("messageClosed");
    }
    void quitRequested() override
    {
        ++quitCalls;
        record("quit");
    }

private:
    void record(common::Bytes call) { calls.push_back(std::move(call)); }
};

} // namespace testsupport

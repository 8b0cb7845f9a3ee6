#pragma once

#include "registry/net/RegistryView.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace registrytest {

using common::Bytes;
using common::ByteView;

// A view that keeps what the window would show and records every call in order. A test can
// play the nested event loop of a modal message through `duringMessage`.
class RecordingView final : public registry::RegistryView
{
public:
    // Window state as the core left it.
    Bytes registryCaption = "Offline";
    bool registryOnline = false;
    Bytes statusText = "Connecting...";
    Bytes accountText = "Logged Off";
    Bytes serverCountText = "N/A";
    bool accountMenu[3] = {false, false, false};
    bool serverSettingsEnabled = false;
    bool serverAddNewEnabled = false;
    std::vector<int> hiddenPanels;
    std::vector<Bytes> chatLines;
    bool chatInputEnabled = false;
    int chatInputClears = 0;
    std::vector<int> rowOrder; // keys in list order
    std::map<int, registry::ServerRowText> rows;
    std::vector<Bytes> users;
    int newAccountFieldClears = 0;
    int newAccountUserClears = 0;
    Bytes loginUser;
    Bytes loginPassword;
    int autoLogin = 0;
    bool playEnabled = false;
    std::map<registry::Button, bool> buttonEnabled; // as last set through setButtonEnabled
    bool retypeEnabled = false;
    Bytes newServerAddressText;
    bool addServerEnabled = false;
    Bytes addServerCaption = "Add Server";
    std::vector<Bytes> messages;
    int quitCalls = 0;
    // Every call, in order ("message:...", "hidePanel:4", ...).
    std::vector<Bytes> calls;

    std::function<void(ByteView)> duringMessage;

    void setRegistryState(ByteView caption, bool online) override
    {
        registryCaption = caption;
        registryOnline = online;
        record("registry:" + Bytes(caption));
    }
    void setStatusText(ByteView text) override
    {
        statusText = text;
        record("status:" + Bytes(text));
    }
    void setAccountText(ByteView text) override
    {
        accountText = text;
        record("account:" + Bytes(text));
    }
    void setServerCountText(ByteView text) override
    {
        serverCountText = text;
        record("count:" + Bytes(text));
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
    void appendChatLine(ByteView line) override
    {
        chatLines.emplace_back(line);
        record("chat:" + Bytes(line));
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
        record("row:" + std::to_string(index));
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
    void addUser(ByteView name) override
    {
        users.emplace_back(name);
        record("user:" + Bytes(name));
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
    void showLoginUser(ByteView user) override
    {
        loginUser = user;
        record("loginUser:" + Bytes(user));
    }
    void showLoginPassword(ByteView password) override
    {
        loginPassword = password;
        record("loginPassword");
    }
    void showAutoLogin(int value) override
    {
        autoLogin = value;
        record("autoLogin:" + std::to_string(value));
    }
    void setPlayEnabled(bool enabled) override
    {
        playEnabled = enabled;
        record(enabled ? "play=on" : "play=off");
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
    void setNewServerAddress(ByteView address) override
    {
        newServerAddressText = address;
        record("address:" + Bytes(address));
    }
    void setAddServerButton(bool enabled, ByteView caption) override
    {
        addServerEnabled = enabled;
        addServerCaption = caption;
        record("addServer:" + Bytes(caption) + (enabled ? "=on" : "=off"));
    }
    void showMessage(ByteView text) override
    {
        messages.emplace_back(text);
        record("message:" + Bytes(text));
        if (duringMessage) {
            // One nested delivery per message; the hook may be replaced from inside.
            auto hook = duringMessage;
            hook(text);
        }
        record("messageClosed");
    }
    void quitRequested() override
    {
        ++quitCalls;
        record("quit");
    }

private:
    void record(Bytes call) { calls.push_back(std::move(call)); }
};

} // namespace registrytest

#pragma once

// A Registry core on fake transports with a view that records every call in order.

#include "common/Clock.h"
#include "common/Codec.h"
#include "registry/net/RegistryClient.h"
#include "registry/net/RegistryView.h"
#include "tests/support/FakeTransport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace hardening {

using common::Bytes;
using common::ByteView;

class RegistryCallLog final : public registry::RegistryView
{
public:
    std::vector<Bytes> calls;

    void setRegistryState(ByteView caption, bool) override { add("registry:", caption); }
    void setStatusText(ByteView text) override { add("status:", text); }
    void setAccountText(ByteView text) override { add("account:", text); }
    void setServerCountText(ByteView text) override { add("count:", text); }
    void setAccountMenuEnabled(registry::AccountMenu item, bool enabled) override
    {
        add("accountMenu:", std::to_string(static_cast<int>(item)) + (enabled ? "=on" : "=off"));
    }
    void setServerSettingsEnabled(bool enabled) override
    {
        add("settings:", enabled ? "on" : "off");
    }
    void setServerAddNewEnabled(bool enabled) override { add("addNew:", enabled ? "on" : "off"); }
    void hidePanel(registry::Panel panel) override
    {
        add("hidePanel:", std::to_string(static_cast<int>(panel)));
    }
    void appendChatLine(ByteView line) override { add("chat:", line); }
    void setChatInputEnabled(bool enabled) override { add("chatInput:", enabled ? "on" : "off"); }
    void clearChatInput() override { add("clearChatInput", ""); }
    void setServerRow(int index, const registry::ServerRowText &row) override
    {
        add("row:", std::to_string(index) + "|" + row.status + "|" + row.name + "|" + row.players +
                        "|" + row.administrator);
    }
    void clearServerRows() override { add("clearRows", ""); }
    void clearUsers() override { add("clearUsers", ""); }
    void addUser(ByteView name) override { add("user:", name); }
    void clearNewAccountFields() override { add("clearNewAccountFields", ""); }
    void clearNewAccountUserAndFocus() override { add("clearNewAccountUser", ""); }
    void showLoginUser(ByteView user) override { add("loginUser:", user); }
    void showLoginPassword(ByteView) override { add("loginPassword", ""); }
    void showAutoLogin(int value) override { add("autoLogin:", std::to_string(value)); }
    void setPlayEnabled(bool enabled) override { add("play:", enabled ? "on" : "off"); }
    void setNewServerAddress(ByteView address) override { add("address:", address); }
    void setAddServerButton(bool enabled, ByteView caption) override
    {
        add("addServer:", Bytes(caption) + (enabled ? "=on" : "=off"));
    }
    void showMessage(ByteView text) override { add("message:", text); }
    void quitRequested() override { add("quit", ""); }

private:
    void add(const char *what, ByteView detail)
    {
        Bytes call = what;
        call.append(detail);
        calls.push_back(std::move(call));
    }
};

// A connected client whose greeting has been sent and forgotten.
class RegistryRig
{
public:
    RegistryRig()
    {
        client = std::make_unique<registry::RegistryClient>(registry::RegistryClient::Ports{
            clock, main, probe, view, [] { return Bytes("123456789"); }, "127.0.0.1", 2600});
        // Automatic login is ticked, with a user name and password in the login panel.
        client->autoLoginClicked(true);
        client->loginFieldsChanged("alice", "secret");
        client->start();
        clock.advance(registry::kConnectIntervalMs);
        client->onTimer();
        main.acceptConnection();
        main.clearSent();
        view.calls.clear();
    }

    // Bodies the client sent, without length word and check character.
    std::vector<Bytes> sentBodies() const
    {
        std::vector<Bytes> bodies;
        for (const auto &sent : main.sends())
            bodies.push_back(sent.size() >= 3 ? sent.substr(3) : Bytes());
        return bodies;
    }

    common::ManualClock clock{10'000};
    testsupport::FakeTransport main;
    testsupport::FakeTransport probe;
    RegistryCallLog view;
    std::unique_ptr<registry::RegistryClient> client;
};

} // namespace hardening

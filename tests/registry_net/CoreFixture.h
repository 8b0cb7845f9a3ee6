#pragma once

#include "common/Clock.h"
#include "common/Codec.h"
#include "registry/net/RegistryClient.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/RecordingRegistryView.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace registrytest {

using common::Bytes;
using common::ByteView;
using registry::RegistryClient;
using testsupport::RecordingRegistryView;

// A core wired to fake transports, a recording view and a manual clock.
class CoreFixture : public ::testing::Test
{
protected:
    common::ManualClock clock{10'000};
    testsupport::FakeTransport main;
    testsupport::FakeTransport probe;
    RecordingRegistryView view;
    Bytes machineId = "123456789";
    std::unique_ptr<RegistryClient> client;

    void SetUp() override
    {
        client = std::make_unique<RegistryClient>(RegistryClient::Ports{
            clock, main, probe, view, [this] { return machineId; }, "127.0.0.1", 2600});
    }

    // Moves the clock to `now + ms`, running the core at each deadline on the way, as the
    // Qt timer adapter does.
    void advance(std::int64_t ms)
    {
        const std::int64_t target = clock.nowMs() + ms;
        for (int guard = 0; guard < 100000; ++guard) {
            const std::int64_t deadline = client->nextDeadline();
            if (deadline < 0 || deadline > target)
                break;
            if (deadline > clock.nowMs())
                clock.set(deadline);
            client->onTimer();
        }
        clock.set(target);
    }

    // Started, connected, greeting sent and forgotten.
    void connectNow()
    {
        client->start();
        advance(registry::kConnectIntervalMs);
        ASSERT_EQ(main.state(), common::Transport::State::Connecting);
        main.acceptConnection();
        main.clearSent();
    }

    void loginAs(const Bytes &name, int ownServer)
    {
        deliver(Bytes("\x05\x02", 2) + char(ownServer) + name);
    }

    // The account panels' boxes typed into and their button released, as the window does it.
    void typeLogin(ByteView user, ByteView password)
    {
        client->accountTextChanged(registry::AccountBox::LoginUser, user);
        client->accountTextChanged(registry::AccountBox::LoginPassword, password);
    }
    void pressLogin(ByteView user, ByteView password)
    {
        typeLogin(user, password);
        client->loginReleased();
    }
    void pressCreateAccount(ByteView user, ByteView password, ByteView retyped)
    {
        client->accountTextChanged(registry::AccountBox::NewAccountUser, user);
        client->accountTextChanged(registry::AccountBox::NewAccountPassword, password);
        client->accountTextChanged(registry::AccountBox::Retyped, retyped);
        client->createAccountReleased();
    }

    static Bytes packet(ByteView body)
    {
        return *common::BuildPacket(body, common::PacketKind::Plain);
    }
    void deliver(ByteView body) { main.deliver(packet(body)); }

    // The bodies the core sent, each checked for its length word and check character.
    std::vector<Bytes> sentBodies() const
    {
        std::vector<Bytes> bodies;
        for (const std::string &sent : main.sends()) {
            EXPECT_GE(sent.size(), 3u);
            if (sent.size() < 3)
                continue;
            const Bytes body = sent.substr(3);
            EXPECT_EQ(common::DecodeLength(sent), body.size());
            EXPECT_EQ(static_cast<std::uint8_t>(sent[2]), common::CheckCharacter(body));
            bodies.push_back(body);
        }
        return bodies;
    }
};

inline Bytes bytes(std::initializer_list<int> values)
{
    return common::byteString(values);
}

} // namespace registrytest

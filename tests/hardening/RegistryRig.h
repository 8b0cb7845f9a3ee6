#pragma once

// A Registry core on fake transports with a view that records every call in order.

#include "common/Clock.h"
#include "common/Codec.h"
#include "registry/net/RegistryClient.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/RecordingRegistryView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace hardening {

using common::Bytes;
using common::ByteView;

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
        client->accountTextChanged(registry::AccountBox::LoginUser, "alice");
        client->accountTextChanged(registry::AccountBox::LoginPassword, "secret");
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
    testsupport::RecordingRegistryView view;
    std::unique_ptr<registry::RegistryClient> client;
};

} // namespace hardening

#include "servers/RegistryServerCore.h"

#include "FakeConnections.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace servers;
using namespace servertest;
using common::byteString;

namespace {

Bytes framed(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::WithCheckCharacter);
}

Bytes versionCheck(const Bytes &version, const Bytes &machine)
{
    return Bytes(1, '\0') + version + Bytes(1, '\0') + machine;
}

Bytes accountRequest(int sub, const Bytes &name, const Bytes &password)
{
    return byteString({3, sub}) + name + Bytes(1, '\0') + password;
}

Bytes addServerRequest(std::int32_t port, const Bytes &name, const Bytes &address)
{
    return byteString({6, 0}) + common::EncodeLong(port) + name + Bytes(1, '\0') + address;
}

class RegistryCore : public ::testing::Test
{
protected:
    RegistryCore()
        : accounts(dir.filePath("accounts.txt").toStdString(), 1000),
          directory(dir.filePath("servers.txt").toStdString())
    {
        settings.maxConnections = 4;
        settings.floodPackets = 20;
        settings.floodWindowMs = 5000;
        settings.pingIntervalMs = 30000;
        settings.idleTimeoutMs = 90000;
        ListedServer alpha{0, "Alpha", "Alice", "10.0.0.1", 5750, true, 3};
        ListedServer beta{0, "Beta", "Nobody", "10.0.0.2", 6000, false, 0};
        directory.add(alpha);
        directory.add(beta);
        accounts.create("Alice", "sesame");
        accounts.create("Bob", "secret");
        accounts.create("Carol", "hidden");
        makeCore();
    }

    void makeCore()
    {
        core = std::make_unique<RegistryServerCore>(
            RegistryServerCore::Ports{clock, net, accounts, directory, log.function()}, settings);
    }

    void say(ConnectionId id, const Bytes &body) { core->onData(id, framed(body)); }

    void greet(ConnectionId id, const Bytes &machine)
    {
        core->onOpened(id, "127.0.0.1");
        say(id, versionCheck("R0.7", machine));
        net.packets(id);
    }

    void loginAs(ConnectionId id, const Bytes &name, const Bytes &password)
    {
        say(id, accountRequest(1, name, password));
    }

    bool open(ConnectionId id) const { return !net.closed.count(id); }

    QTemporaryDir dir;
    common::ManualClock clock{1000};
    FakeConnections net;
    LogLines log;
    AccountStore accounts;
    ServerDirectory directory;
    RegistryServerSettings settings;
    std::unique_ptr<RegistryServerCore> core;
};

} // namespace

TEST_F(RegistryCore, GreetsTheClientWithTheServerAndUserLists)
{
    greet(1, "111");
    loginAs(1, "Alice", "sesame");
    net.packets(1);

    core->onOpened(2, "127.0.0.1");
    say(2, versionCheck("R0.7", "222"));
    const auto got = net.packets(2);
    const std::vector<common::Packet> expected = {
        packet(0, byteString({0, 0})),
        packet(8),
        packet(1, byteString({1, 1, 3}) + Bytes("Alpha\0Alice\0"
                                                "10.0.0.1",
                                                20)),
        packet(1, byteString({2, 0, 0}) + Bytes("Beta\0Nobody\0"
                                                "10.0.0.2",
                                                20)),
        packet(6, byteString({0})),
        packet(6, byteString({1, ' '}) + "Alice"),
    };
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(open(2));
}

TEST_F(RegistryCore, TurnsAwayAnOutdatedClient)
{
    for (const Bytes &version : {Bytes("R0.6"), Bytes("r0.7"), Bytes("R0.7 "), Bytes("")}) {
        const ConnectionId id = net.closed.size() + 100;
        core->onOpened(id, "127.0.0.1");
        say(id, versionCheck(version, "1"));
        EXPECT_EQ(net.packets(id), std::vector<common::Packet>{packet(0, byteString({1}))})
            << version;
        EXPECT_FALSE(open(id)) << version;
    }
    EXPECT_EQ(core->connectionCount(), 0u);
}

TEST_F(RegistryCore, BootsAWrongCheckCharacterAndHandlesNothingAfterIt)
{
    greet(1, "111");
    Bytes bytes = framed(byteString({1}));
    bytes[2] = static_cast<char>(bytes[2] + 1);
    bytes += framed(byteString({1})); // a good request behind it is not answered
    core->onData(1, bytes);
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(2, byteString({5}))});
    EXPECT_FALSE(open(1));
    EXPECT_TRUE(log.contains("code 5"));

    // A packet in the Updater's framing, without a check character, is refused the same way.
    core->onOpened(2, "127.0.0.1");
    core->onData(2, byteString({0, 2, 1, 5, 0, 0}));
    EXPECT_EQ(net.packets(2), std::vector<common::Packet>{packet(2, byteString({5}))});
}

TEST_F(RegistryCore, RefusesConnectionsAboveTheLimit)
{
    for (ConnectionId id = 1; id <= 4; ++id)
        greet(id, std::to_string(id));
    core->onOpened(5, "127.0.0.1");
    EXPECT_EQ(net.packets(5), std::vector<common::Packet>{packet(2, byteString({1}))});
    EXPECT_FALSE(open(5));
    EXPECT_EQ(core->connectionCount(), 4u);
    // A place that comes free can be taken again.
    core->onClosed(2);
    core->onOpened(6, "127.0.0.1");
    EXPECT_TRUE(open(6));
}

TEST_F(RegistryCore, BootsAFloodButNotASteadyClient)
{
    greet(1, "111");
    greet(2, "222");
    // Client 1 sends its keep-alive and a little more, spread over time.
    for (int i = 0; i < 100; ++i) {
        say(1, byteString({2}));
        clock.advance(500);
    }
    EXPECT_TRUE(open(1));
    // Client 2 sends the whole allowance and one more at once.
    Bytes burst;
    for (int i = 0; i < 21; ++i)
        burst += framed(byteString({2}));
    core->onData(2, burst);
    EXPECT_EQ(net.packets(2), std::vector<common::Packet>{packet(2, byteString({3}))});
    EXPECT_FALSE(open(2));
}

TEST_F(RegistryCore, BootsAFloodOfBytes)
{
    settings.floodPackets = 1000;
    makeCore();
    greet(1, "111");
    const Bytes chunk = framed(byteString({5}) + Bytes(2000, 'x'));
    int sent = 0;
    for (; sent < 100 && open(1); ++sent)
        core->onData(1, chunk);
    EXPECT_FALSE(open(1));
    EXPECT_EQ(sent, 33); // 65536 bytes are allowed within the window
    EXPECT_TRUE(log.contains("bytes within"));
}

TEST_F(RegistryCore, BootsASecondConnectionFromOneMachine)
{
    greet(1, "604219587");
    core->onOpened(2, "127.0.0.1");
    say(2, versionCheck("R0.7", "604219587"));
    EXPECT_EQ(net.packets(2), std::vector<common::Packet>{packet(2, byteString({4}))});
    EXPECT_FALSE(open(2));
    EXPECT_TRUE(open(1));
    // Unknown identifiers ("-1", none at all) are not taken for one machine.
    greet(3, "-1");
    greet(4, "-1");
    EXPECT_TRUE(open(3));
    EXPECT_TRUE(open(4));
}

TEST_F(RegistryCore, LetsOneMachineConnectTwiceWhenAllowed)
{
    settings.allowDuplicateMachines = true;
    makeCore();
    greet(1, "77");
    greet(2, "77");
    EXPECT_TRUE(open(1));
    EXPECT_TRUE(open(2));
}

TEST_F(RegistryCore, RefusesEveryoneInMaintenance)
{
    settings.maintenance = true;
    makeCore();
    core->onOpened(1, "127.0.0.1");
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(2, byteString({0}))});
    EXPECT_FALSE(open(1));
}

TEST_F(RegistryCore, CreatesAccountsAndAnswersEachLoginCase)
{
    greet(1, "111");
    greet(2, "222");
    say(1, accountRequest(0, "Dave", "pass1"));
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(5, byteString({0}))});
    say(1, accountRequest(0, "DAVE", "other"));
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(5, byteString({1}))});

    loginAs(1, "dave", "wrong");
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(5, byteString({3}))});
    loginAs(1, "Nobody", "pass1");
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(5, byteString({3}))});

    // The name comes back as it was created; the account has no server of its own.
    loginAs(1, "dave", "pass1");
    auto got = net.packets(1);
    ASSERT_GE(got.size(), 1u);
    EXPECT_EQ(got[0], packet(5, byteString({2, 0}) + "Dave"));
    // Everybody greeted gets the new user list.
    EXPECT_EQ(net.packets(2),
              (std::vector<common::Packet>{packet(6, byteString({0})),
                                           packet(6, byteString({1, ' '}) + "Dave")}));

    loginAs(1, "Bob", "secret"); // this connection is logged in already
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(5, byteString({4}))});
    loginAs(2, "Dave", "pass1"); // that account is in use elsewhere
    EXPECT_EQ(net.packets(2), std::vector<common::Packet>{packet(5, byteString({4}))});

    // An account that owns a listed server says which slot.
    loginAs(2, "Alice", "sesame");
    got = net.packets(2);
    ASSERT_GE(got.size(), 1u);
    EXPECT_EQ(got[0], packet(5, byteString({2, 1}) + "Alice"));
}

TEST_F(RegistryCore, LogoutAndDisconnectionTakeTheUserOffTheList)
{
    greet(1, "111");
    greet(2, "222");
    loginAs(1, "Alice", "sesame");
    loginAs(2, "Bob", "secret");
    EXPECT_EQ(core->usersOnline(), (std::vector<Bytes>{"Alice", "Bob"}));
    net.packets(1);
    say(2, byteString({3, 2}));
    EXPECT_EQ(core->usersOnline(), std::vector<Bytes>{"Alice"});
    EXPECT_EQ(net.packets(1),
              (std::vector<common::Packet>{packet(6, byteString({0})),
                                           packet(6, byteString({1, ' '}) + "Alice")}));
    // Logged out, the account can be used again.
    loginAs(2, "Bob", "secret");
    core->onClosed(2);
    EXPECT_EQ(core->usersOnline(), std::vector<Bytes>{"Alice"});
}

TEST_F(RegistryCore, BootsAfterTooManyRejectedLogins)
{
    greet(1, "111");
    for (int i = 0; i < settings.maxFailedLogins; ++i)
        loginAs(1, "Alice", "guess" + std::to_string(i));
    const auto got = net.packets(1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), packet(2, byteString({3})));
    EXPECT_FALSE(open(1));
}

TEST_F(RegistryCore, RelaysChatToTheOtherUsersOnly)
{
    greet(1, "111");
    greet(2, "222");
    greet(3, "333");
    loginAs(1, "Alice", "sesame");
    loginAs(2, "Bob", "secret");
    net.packets(1);
    net.packets(2);
    net.packets(3);
    say(1, Bytes("\5  Hello there  "));
    EXPECT_EQ(net.packets(2), std::vector<common::Packet>{packet(7, "Alice: Hello there")});
    EXPECT_TRUE(net.packets(1).empty()); // the client echoes its own line
    EXPECT_TRUE(net.packets(3).empty()); // not logged in
    // Blank lines and chat from someone not logged in go nowhere.
    say(1, Bytes("\5   "));
    say(3, Bytes("\5Hi"));
    EXPECT_TRUE(net.packets(2).empty());
    // Overlong lines are cut to what the client's box holds.
    say(2, Bytes(1, '\5') + Bytes(1500, 'x'));
    const auto got = net.packets(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].fields, "Bob: " + Bytes(1400, 'x'));
}

TEST_F(RegistryCore, TellsTheClientItsAddress)
{
    core->onOpened(1, "127.0.0.7");
    say(1, versionCheck("R0.7", "1"));
    net.packets(1);
    say(1, byteString({1}));
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(3, "127.0.0.7")});
}

TEST_F(RegistryCore, PingsGreetedClientsAndDropsSilentOnes)
{
    greet(1, "111");
    core->onOpened(2, "127.0.0.1"); // never greets
    EXPECT_EQ(core->nextDeadline(), 1000 + 30000);
    clock.set(31000);
    say(1, byteString({2}));
    core->onTimer();
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(4)});
    EXPECT_TRUE(net.packets(2).empty());
    EXPECT_EQ(core->nextDeadline(), 61000);
    clock.set(61000);
    core->onTimer();
    EXPECT_EQ(net.packets(1), std::vector<common::Packet>{packet(4)});
    EXPECT_EQ(core->nextDeadline(), 1000 + 90000); // client 2's silence
    clock.set(91000);
    core->onTimer();
    EXPECT_FALSE(open(2));
    EXPECT_TRUE(open(1));
    EXPECT_TRUE(log.contains("silent"));
}

TEST_F(RegistryCore, RegistersAServerAndAnnouncesIt)
{
    greet(1, "111");
    greet(2, "222");
    loginAs(1, "Bob", "secret");
    net.packets(1);
    net.packets(2);
    say(1, addServerRequest(5750, "Bob's Keep", "192.0.2.10"));
    const common::Packet entry = packet(1, byteString({3, 1, 0}) + Bytes("Bob's Keep\0Bob\0"
                                                                         "192.0.2.10",
                                                                         25));
    EXPECT_EQ(net.packets(1), (std::vector<common::Packet>{packet(5, byteString({5, 3})), entry}));
    EXPECT_EQ(net.packets(2), std::vector<common::Packet>{entry});
    EXPECT_EQ(directory.ownedBy("Bob"), 3);

    // One server per account.
    say(1, addServerRequest(5751, "Bob's Other", "192.0.2.11"));
    auto got = net.packets(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, 7);
    EXPECT_TRUE(net.packets(2).empty());

    // The list survives a restart of the server.
    ServerDirectory reloaded(dir.filePath("servers.txt").toStdString());
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(reloaded.load(error, warnings));
    ASSERT_NE(reloaded.at(3), nullptr);
    EXPECT_EQ(reloaded.at(3)->port, 5750);
}

TEST_F(RegistryCore, RefusesBadServerRegistrations)
{
    greet(1, "111");
    say(1, addServerRequest(5750, "Lone", "192.0.2.10")); // not logged in: ignored
    EXPECT_TRUE(net.packets(1).empty());
    loginAs(1, "Carol", "hidden");
    net.packets(1);
    struct Case
    {
        std::int32_t port;
        Bytes name;
        Bytes address;
    };
    const Case cases[] = {
        {0, "Carol's", "192.0.2.1"},
        {65536, "Carol's", "192.0.2.1"},
        {5750, "Ca", "192.0.2.1"},
        {5750, Bytes(41, 'C'), "192.0.2.1"},
        {5750, "Carol's", "1.2.3"},
        {5750, "Carol\x01s", "192.0.2.1"},
        {5750, "alpha", "192.0.2.1"}, // the name is taken
        // Addresses that would reach every player's game client as more than an address.
        {5750, "Carol's", "192.0.2.1\""},
        {5750, "Carol's", "evil.host\"\t6666"},
        {5750, "Carol's", "192.0.2.1 -x"},
        {5750, "Carol's", "-connect.example"},
        {5750, "Carol's", "192.0.2.1\\"},
    };
    for (const auto &c : cases) {
        say(1, addServerRequest(c.port, c.name, c.address));
        const auto got = net.packets(1);
        ASSERT_EQ(got.size(), 1u) << c.name;
        EXPECT_EQ(got[0].type, 7) << c.name; // told why, in the chat
    }
    EXPECT_EQ(directory.all().size(), 2u);
    EXPECT_TRUE(open(1));
}

TEST_F(RegistryCore, AnswersNothingButTheVersionCheckBeforeIt)
{
    core->onOpened(1, "127.0.0.1");
    say(1, byteString({1}));
    loginAs(1, "Alice", "sesame");
    say(1, Bytes("\5Hello"));
    EXPECT_TRUE(net.packets(1).empty());
    EXPECT_TRUE(open(1));
    EXPECT_TRUE(core->usersOnline().empty());
}

// Every malformed message is ignored (and logged) without harm to the connection; the
// connection answers a normal request afterwards.
TEST_F(RegistryCore, IgnoresMalformedMessages)
{
    greet(1, "111");
    loginAs(1, "Alice", "sesame");
    net.packets(1);
    const Bytes bodies[] = {
        byteString({3}),                  // account message without sub-type
        byteString({3, 9}),               // unknown sub-type
        byteString({3, 0}) + "NoNulHere", // create without the NUL
        byteString({3, 1}),               // login without anything
        byteString({6}),                  // server message without sub-type
        byteString({6, 1, 0, 0}),         // unknown sub-type
        byteString({6, 0, 0, 0}),         // port cut short
        byteString({6, 0, 0, 0, 22, 118}) + "NoNul",
        byteString({0}) + versionCheck("R0.7", "111"), // a second version check
        byteString({4}),                               // server-to-client types
        byteString({7}) + "text",
        byteString({8}),
        byteString({255}),
        byteString({9, 1, 2, 3}),
    };
    for (const Bytes &body : bodies) {
        const std::size_t logged = log.lines.size();
        say(1, body);
        EXPECT_TRUE(open(1)) << common::byteAt(body, 0);
        EXPECT_TRUE(net.packets(1).empty()) << common::byteAt(body, 0);
        EXPECT_GT(log.lines.size(), logged) << common::byteAt(body, 0);
        clock.advance(1000); // stay below the flood limit
    }
    say(1, byteString({1}));
    EXPECT_EQ(net.packets(1).size(), 1u);
}

TEST_F(RegistryCore, DropsAConnectionThatAnnouncesAnOverlongPacket)
{
    greet(1, "111");
    core->onData(1, byteString({0x7F, 0xFF, 0}));
    EXPECT_FALSE(open(1));
    EXPECT_TRUE(log.contains("dropped"));
    greet(2, "222");
    core->onData(2, byteString({0xFF, 0xFF}));
    EXPECT_FALSE(open(2));
}

// Random bytes never crash the server nor leave it inconsistent.
TEST_F(RegistryCore, SurvivesRandomInput)
{
    std::mt19937 random(8);
    for (ConnectionId id = 1; id <= 300; ++id) {
        core->onOpened(id, "127.0.0.1");
        if (id % 2)
            say(id, versionCheck("R0.7", std::to_string(id)));
        for (int chunk = 0; chunk < 5 && open(id); ++chunk) {
            Bytes bytes;
            const int n = static_cast<int>(random() % 40);
            for (int i = 0; i < n; ++i)
                bytes += static_cast<char>(random() % 256);
            // Often well framed, so that the bodies reach the handlers.
            if (random() % 2 && !bytes.empty())
                bytes = framed(bytes);
            core->onData(id, bytes);
        }
        if (open(id))
            core->onClosed(id);
        clock.advance(10);
    }
    EXPECT_EQ(core->connectionCount(), 0u);
    EXPECT_TRUE(core->usersOnline().empty());
}

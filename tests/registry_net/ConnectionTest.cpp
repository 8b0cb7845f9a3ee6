#include "tests/registry_net/CoreFixture.h"

using namespace registrytest;
using common::Transport;

namespace {

const Bytes kKeepAlive = bytes({2});

class Connection : public CoreFixture
{
};

TEST_F(Connection, FirstAttemptComesHalfASecondAfterStartAndRepeatsEveryHalfSecond)
{
    EXPECT_LT(client->nextDeadline(), 0) << "nothing is scheduled before the window is shown";
    client->start();
    advance(499);
    EXPECT_TRUE(main.attempts().empty());
    advance(1);
    ASSERT_EQ(main.attempts().size(), 1u);
    EXPECT_EQ(main.attempts()[0].host, "127.0.0.1");
    EXPECT_EQ(main.attempts()[0].port, 2600);

    // A peer that never accepts: each attempt is abandoned after 500 ms and a new one made.
    const int closesBefore = main.closeCalls();
    advance(499);
    EXPECT_EQ(main.attempts().size(), 1u);
    advance(1);
    EXPECT_EQ(main.attempts().size(), 2u);
    EXPECT_GT(main.closeCalls(), closesBefore);
    advance(5000);
    EXPECT_EQ(main.attempts().size(), 12u);
    // Nothing is shown or sent while attempts fail.
    EXPECT_TRUE(view.calls.empty());
    EXPECT_TRUE(main.sends().empty());
}

TEST_F(Connection, ConnectSendsVersionCheckAndShowsOnline)
{
    client->start();
    advance(500);
    main.acceptConnection();

    // Length word, check character, then: byte 0, "R0.7", NUL, the identifier.
    const Bytes body = Bytes("\0R0.7\0", 6) + "123456789";
    Bytes expected = bytes({0, 15});
    expected.push_back(static_cast<char>(common::CheckCharacter(body)));
    expected += body;
    ASSERT_EQ(main.sends().size(), 1u);
    EXPECT_EQ(main.sends()[0], expected);

    EXPECT_TRUE(client->connected());
    EXPECT_EQ(view.registryCaption, "Online");
    EXPECT_TRUE(view.registryOnline);
    EXPECT_EQ(view.statusText, "Connected");
    EXPECT_TRUE(view.accountMenu[0]);
    EXPECT_TRUE(view.accountMenu[1]);
    EXPECT_FALSE(view.accountMenu[2]);

    // No further attempts while connected.
    advance(20000);
    EXPECT_EQ(main.attempts().size(), 1u);
}

TEST_F(Connection, MachineIdIsReadOnEveryConnection)
{
    client->start();
    advance(500);
    main.acceptConnection();
    machineId = "-1";
    main.dropConnection();
    advance(0);
    main.acceptConnection();
    const auto bodies = sentBodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[1], Bytes("\0R0.7\0-1", 8));
}

TEST_F(Connection, KeepAliveEveryFiveSecondsOnlyWhileConnected)
{
    connectNow();
    advance(4999);
    EXPECT_TRUE(main.sends().empty());
    advance(1);
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{kKeepAlive});
    advance(5000);
    EXPECT_EQ(sentBodies().size(), 2u);

    main.dropConnection();
    main.clearSent();
    // The reconnection attempt comes at once, then every 500 ms; no keep-alive is due.
    advance(0);
    EXPECT_EQ(main.attempts().size(), 2u);
    advance(20000);
    EXPECT_TRUE(main.sends().empty());
    EXPECT_EQ(main.attempts().size(), 42u);
}

TEST_F(Connection, ServerPingIsAnsweredAtOnceAndNotMergedWithTheTimer)
{
    connectNow();
    advance(4000);
    deliver(bytes({4}));
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{kKeepAlive});
    advance(1000);
    EXPECT_EQ(sentBodies(), (std::vector<Bytes>{kKeepAlive, kKeepAlive}));
    // Ping at the very moment the timer is due: two keep-alives.
    main.clearSent();
    advance(4999);
    deliver(bytes({4}));
    advance(1);
    EXPECT_EQ(sentBodies(), (std::vector<Bytes>{kKeepAlive, kKeepAlive}));
}

TEST_F(Connection, DropWhileLoggedInLogsOffEmptiesTheListAndShowsConnecting)
{
    connectNow();
    deliver(Bytes("\x01\x03\x01\x05Alpha\0Ann\0"
                  "127.0.0.5",
                  4 + 6 + 4 + 9));
    loginAs("ann", 0);
    ASSERT_TRUE(client->loggedIn());
    ASSERT_EQ(view.serverCountText, "1");
    view.calls.clear();

    main.dropConnection();
    EXPECT_FALSE(client->connected());
    EXPECT_FALSE(client->loggedIn());
    EXPECT_EQ(view.chatLines.back(), "You have logged out of your account!");
    EXPECT_EQ(view.accountText, "Logged Off");
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(view.serverCountText, "0");
    EXPECT_EQ(client->servers().slot(3).name, "");
    EXPECT_EQ(view.registryCaption, "Offline");
    EXPECT_FALSE(view.registryOnline);
    EXPECT_EQ(view.statusText, "Connecting...");
    for (bool enabled : view.accountMenu)
        EXPECT_FALSE(enabled);
    EXPECT_FALSE(view.chatInputEnabled);
    // The logout request cannot go out on a closed connection.
    EXPECT_TRUE(main.sends().empty());
    // Logged off before the window shows the connection as down.
    const auto logoutLine = std::find(view.calls.begin(), view.calls.end(),
                                      "chat:You have logged out of your account!");
    const auto offline = std::find(view.calls.begin(), view.calls.end(), "registry:Offline");
    EXPECT_LT(logoutLine, offline);
}

TEST_F(Connection, PacketCutShortByADropDoesNotSpillIntoTheNextConnection)
{
    connectNow();
    // The first four bytes of a ChatLine of 10 bytes, then the connection drops.
    main.deliver(bytes({0, 10, 7, 'l', 'o'}));
    main.dropConnection();
    advance(0);
    main.acceptConnection();
    deliver(Bytes("\x07hello", 6));
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"hello"});
}

TEST_F(Connection, PacketsSplitAcrossArrivalsAreJoined)
{
    connectNow();
    const Bytes stream = packet(Bytes("\x07one", 4)) + packet(Bytes("\x07two", 4));
    for (char c : stream)
        main.deliver(Bytes(1, c));
    EXPECT_EQ(view.chatLines, (std::vector<Bytes>{"one", "two"}));
}

struct BootCase
{
    int code;
    const char *text;
    bool closesFirst;
};

TEST_F(Connection, BootCodesShowTheirTextThenEndTheProgram)
{
    const BootCase cases[] = {
        {0,
         "You have been booted from the Registry! Reason: The Registry Server is not currently "
         "accepting connections.",
         false},
        {1,
         "You have been booted from the Registry! Reason: The Registry Server has reached it's "
         "connection's limit. Try again later.",
         false},
        {2, "You have been booted from the Registry!", false},
        {3, "You have been booted from the Registry! Reason: Flooding", false},
        {4,
         "You have been booted from the Registry! Reason: You are already connected to the "
         "Registry!",
         true},
        {5,
         "You have been booted from the Registry! Reason: You have provided an invalid "
         "checksum, try running the updater!",
         false},
    };
    for (const BootCase &c : cases) {
        SCOPED_TRACE(c.code);
        client.reset();
        view = RecordingRegistryView{};
        main = testsupport::FakeTransport{};
        SetUp();
        connectNow();
        Transport::State stateDuringMessage = Transport::State::Connecting;
        bool bootedDuringMessage = true;
        bool quitDuringMessage = true;
        view.duringMessage = [&](ByteView) {
            stateDuringMessage = main.state();
            bootedDuringMessage = client->booted();
            quitDuringMessage = client->quitRequested();
        };
        deliver(bytes({2, c.code}));
        ASSERT_EQ(view.messages, std::vector<Bytes>{c.text});
        EXPECT_EQ(stateDuringMessage == Transport::State::Closed, c.closesFirst);
        EXPECT_FALSE(bootedDuringMessage);
        EXPECT_FALSE(quitDuringMessage);
        EXPECT_TRUE(client->booted());
        EXPECT_TRUE(client->quitRequested());
        EXPECT_EQ(view.quitCalls, 1);
        EXPECT_EQ(view.calls.back(), "quit");
    }
}

TEST_F(Connection, UnknownBootCodeAndCodelessBootAreIgnored)
{
    connectNow();
    view.calls.clear();
    deliver(bytes({2, 6}));
    deliver(bytes({2, 255}));
    deliver(bytes({2}));
    EXPECT_TRUE(view.calls.empty());
    EXPECT_FALSE(client->booted());
    EXPECT_FALSE(client->quitRequested());
}

TEST_F(Connection, NoAttemptAfterABootAndEventsAfterQuitChangeNothing)
{
    connectNow();
    deliver(bytes({2, 3}));
    ASSERT_TRUE(client->quitRequested());
    view.calls.clear();
    main.clearSent();
    main.dropConnection();
    advance(10000);
    EXPECT_EQ(main.attempts().size(), 1u);
    EXPECT_TRUE(view.calls.empty());
    main.setState(Transport::State::Connected);
    main.acceptConnection();
    EXPECT_TRUE(view.calls.empty());
    EXPECT_TRUE(main.sends().empty());
}

TEST_F(Connection, QuitFromTheWindowStopsReconnectingAndIsReportedOnce)
{
    connectNow();
    client->requestQuit();
    EXPECT_EQ(view.quitCalls, 1);
    client->requestQuit();
    EXPECT_EQ(view.quitCalls, 1) << "the window is told once";
    main.dropConnection();
    advance(5000);
    EXPECT_EQ(main.attempts().size(), 1u);
    EXPECT_LT(client->nextDeadline(), 0);
}

TEST_F(Connection, DataArrivingWhileTheBootMessageIsOpenIsHandledThen)
{
    connectNow();
    bool firstMessage = true;
    view.duringMessage = [&](ByteView) {
        if (!firstMessage)
            return;
        firstMessage = false;
        // The nested loop delivers a server entry and a chat line, then the server closes.
        deliver(Bytes("\x01\x01\x01\x00"
                      "Alpha\0Ann\0"
                      "127.0.0.5",
                      4 + 6 + 4 + 9));
        deliver(Bytes("\x07"
                      "bye",
                      4));
        EXPECT_EQ(view.rows.size(), 1u);
        EXPECT_FALSE(client->booted());
        main.dropConnection();
        EXPECT_FALSE(client->booted());
        EXPECT_FALSE(client->quitRequested());
    };
    deliver(bytes({2, 2}));
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"bye"});
    // The drop during the message emptied the list again.
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(view.registryCaption, "Offline");
    EXPECT_TRUE(client->booted());
    EXPECT_TRUE(client->quitRequested());
    advance(5000);
    EXPECT_EQ(main.attempts().size(), 1u);
}

TEST_F(Connection, PacketsAfterABootInTheSameArrivalAreStillHandled)
{
    connectNow();
    main.deliver(packet(bytes({2, 3})) +
                 packet(Bytes("\x07"
                              "after",
                              6)) +
                 packet(bytes({4})));
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"after"});
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{kKeepAlive});
    EXPECT_TRUE(client->quitRequested());
}

TEST_F(Connection, NothingIsSentWhileNotConnected)
{
    client->start();
    client->requestMyAddress();
    pressLogin("alice", "secret");
    client->sendChat("hello");
    EXPECT_TRUE(main.sends().empty());
    // The echo is written all the same.
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"You: hello"});
}

} // namespace

TEST_F(Connection, MessagesInsideMessagesAreBoundedAndWaitingPacketsKeepTheirOrder)
{
    connectNow();
    const Bytes rejected = packet(bytes({5, 3}));
    // A server that sends the next refusal while each message is open, with a chat line
    // behind the fifth: every message's loop receives one more packet.
    int sent = 0;
    view.duringMessage = [&](ByteView) {
        if (sent < 8) {
            ++sent;
            main.deliver(sent == 5 ? rejected + packet(Bytes("\x07"
                                                             "after five",
                                                             11))
                                   : rejected);
        }
    };
    deliver(bytes({5, 3}));
    EXPECT_EQ(view.deepestMessages, registry::kMaxNestedMessages);
    // What arrived while the innermost message waited was held and is taken once it is
    // closed, all in order.
    for (int guard = 0; guard < 20 && !main.held().empty(); ++guard) {
        EXPECT_TRUE(main.receiving());
        main.releaseHeld();
    }
    EXPECT_TRUE(main.held().empty());
    EXPECT_TRUE(main.receiving());
    EXPECT_EQ(view.messages.size(), 9u);
    const auto chat = std::find(view.calls.begin(), view.calls.end(), "chat:after five");
    ASSERT_NE(chat, view.calls.end());
    EXPECT_EQ(std::count(view.calls.begin(), chat, "message:Error: Invalid Username/Password!"), 6)
        << "the chat line waits behind the refusal before it";
}

TEST_F(Connection, APacketThatWaitedOutsideAnyHandlerIsTakenUpByTheTimer)
{
    connectNow();
    // Four messages of the user's own actions, one inside the other; the innermost one
    // receives a refusal, which has to wait.
    view.duringMessage = [&](ByteView) {
        if (view.openMessages < registry::kMaxNestedMessages)
            pressLogin("", "");
        else if (view.messages.size() == 4)
            deliver(bytes({5, 3}));
    };
    pressLogin("", "");
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_FALSE(main.receiving());
    // Nothing but the timer is left to take it up, at once.
    EXPECT_EQ(client->nextDeadline(), clock.nowMs());
    view.duringMessage = nullptr;
    advance(0);
    ASSERT_EQ(view.messages.size(), 5u);
    EXPECT_EQ(view.messages.back(), "Error: Invalid Username/Password!");
    EXPECT_TRUE(main.receiving());
}

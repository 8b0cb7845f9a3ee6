#include "tests/registry_net/CoreFixture.h"

#include "registry/net/RegistryClient.h"

using namespace registrytest;

namespace {

class Dispatch : public CoreFixture
{
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        connectNow();
        view.calls.clear();
    }

    // A ServerEntry body: index, status, players, then the three texts.
    static Bytes entry(int index, int status, int players, const Bytes &name, const Bytes &admin,
                       const Bytes &address)
    {
        Bytes body = bytes({1, index, status, players});
        body += name;
        body.push_back('\0');
        body += admin;
        body.push_back('\0');
        body += address;
        return body;
    }
};

TEST_F(Dispatch, ServerEntryStoresTrimmedTextsAndShowsTheRow)
{
    deliver(entry(7, 1, 12, "Alpha  ", "Ann ", Bytes("127.0.0.5 \0\0 ", 13)));
    const registry::ServerRecord &slot = client->servers().slot(7);
    EXPECT_EQ(slot.name, "Alpha");
    EXPECT_EQ(slot.administrator, "Ann");
    EXPECT_EQ(slot.address, "127.0.0.5");
    EXPECT_TRUE(slot.online);
    EXPECT_EQ(slot.players, 12);
    ASSERT_EQ(view.rows.count(7), 1u);
    EXPECT_EQ(view.rows[7].status, "Online");
    EXPECT_EQ(view.rows[7].name, "Alpha");
    EXPECT_EQ(view.rows[7].players, "12");
    EXPECT_EQ(view.rows[7].administrator, "Ann");
    EXPECT_EQ(view.serverCountText, "1");
    // Leading blanks are the server's own and stay.
    deliver(entry(8, 0, 0, "  Beta", "b", "x"));
    EXPECT_EQ(client->servers().slot(8).name, "  Beta");
}

TEST_F(Dispatch, StatusAndPlayersColumns)
{
    struct Case
    {
        int status;
        int players;
        const char *statusText;
        const char *playersText;
    };
    const Case cases[] = {{1, 0, "Online", "0"},
                          {0, 255, "Offline", "255"},
                          {2, 9, "Offline", "9"},
                          {255, 100, "Offline", "100"}};
    int index = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(index);
        deliver(entry(index, c.status, c.players, "Name", "Admin", "127.0.0.1"));
        EXPECT_EQ(view.rows[index].status, c.statusText);
        EXPECT_EQ(view.rows[index].players, c.playersText);
        ++index;
    }
}

TEST_F(Dispatch, KnownIndexIsRefreshedInPlace)
{
    deliver(entry(3, 1, 1, "Alpha", "Ann", "127.0.0.5"));
    deliver(entry(9, 1, 1, "Beta", "Bob", "127.0.0.6"));
    deliver(entry(3, 0, 4, "Gamma", "Gus", "127.0.0.7"));
    EXPECT_EQ(view.rowOrder, (std::vector<int>{3, 9}));
    EXPECT_EQ(view.rows[3].name, "Gamma");
    EXPECT_EQ(view.rows[3].status, "Offline");
    EXPECT_EQ(view.rows[3].players, "4");
    EXPECT_EQ(view.rows[3].administrator, "Gus");
    EXPECT_EQ(client->servers().slot(3).address, "127.0.0.7");
    EXPECT_EQ(view.serverCountText, "2");
}

TEST_F(Dispatch, BlankNameKeepsTheRowButDoesNotCount)
{
    deliver(entry(3, 1, 1, "Alpha", "Ann", "127.0.0.5"));
    deliver(entry(4, 1, 1, "Beta", "Bob", "127.0.0.6"));
    deliver(entry(4, 1, 1, "   ", "Bob", "127.0.0.6"));
    EXPECT_EQ(client->servers().slot(4).name, "");
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[4].name, "");
    EXPECT_EQ(view.serverCountText, "1");
}

TEST_F(Dispatch, UnusableServerEntriesChangeNothing)
{
    deliver(entry(3, 1, 1, "Alpha", "Ann", "127.0.0.5"));
    view.calls.clear();
    const Bytes bad[] = {
        entry(0, 1, 1, "Zero", "Zed", "127.0.0.9"),       // index 0
        entry(31, 1, 1, "High", "Hal", "127.0.0.9"),      // no slot 31
        entry(255, 1, 1, "High", "Hal", "127.0.0.9"),     //
        bytes({1, 3, 1}),                                 // shorter than the fixed bytes
        bytes({1}),                                       //
        Bytes("\x01\x03\x01\x01NoSeparators", 16),        // no NUL at all
        Bytes("\x01\x03\x01\x01OneOnly\0Ann", 4 + 8 + 3), // one NUL only
    };
    for (const Bytes &body : bad)
        deliver(body);
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(client->servers().slot(3).name, "Alpha");
    EXPECT_EQ(client->servers().CountServers(), 1);
}

TEST_F(Dispatch, IndexZeroLeavesTheCountAtNA)
{
    deliver(entry(0, 1, 1, "Zero", "Zed", "127.0.0.9"));
    EXPECT_EQ(view.serverCountText, "N/A");
    EXPECT_TRUE(view.rows.empty());
}

TEST_F(Dispatch, ServerListClearEmptiesTableListAndShowsZero)
{
    deliver(entry(3, 1, 1, "Alpha", "Ann", "127.0.0.5"));
    deliver(bytes({8}));
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(view.serverCountText, "0");
    const registry::ServerRecord &slot = client->servers().slot(3);
    EXPECT_EQ(slot.name, "");
    EXPECT_EQ(slot.address, "");
    EXPECT_FALSE(slot.online);
    EXPECT_EQ(slot.players, 0);
}

TEST_F(Dispatch, LoginAcceptedWithoutOwnServer)
{
    view.calls.clear();
    deliver(Bytes("\x05\x02\x00"
                  "Alice",
                  8));
    EXPECT_TRUE(client->loggedIn());
    EXPECT_TRUE(view.serverAddNewEnabled);
    EXPECT_FALSE(view.serverSettingsEnabled);
    EXPECT_EQ(view.accountText, "Logged in (Alice)");
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"You have logged in as Alice"});
    EXPECT_EQ(view.hiddenPanels, std::vector<int>{1});
    EXPECT_FALSE(view.accountMenu[0]);
    EXPECT_FALSE(view.accountMenu[1]);
    EXPECT_TRUE(view.accountMenu[2]);
    EXPECT_TRUE(view.chatInputEnabled);
}

TEST_F(Dispatch, LoginAcceptedWithOwnServerUsesTheServersName)
{
    typeLogin("alice", "");
    deliver(Bytes("\x05\x02\x07"
                  "ALICE",
                  8));
    EXPECT_FALSE(view.serverAddNewEnabled);
    EXPECT_TRUE(view.serverSettingsEnabled);
    EXPECT_EQ(view.accountText, "Logged in (ALICE)");
}

TEST_F(Dispatch, LoginAcceptedWithoutOwnServerByteIsIgnored)
{
    deliver(bytes({5, 2}));
    EXPECT_FALSE(client->loggedIn());
    EXPECT_TRUE(view.calls.empty());
}

TEST_F(Dispatch, LogOffResetsEveryItemAndSendsTheLogout)
{
    loginAs("Alice", 1);
    main.clearSent();
    view.hiddenPanels.clear();
    client->logOff();
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{bytes({3, 2})});
    EXPECT_FALSE(client->loggedIn());
    EXPECT_FALSE(view.serverSettingsEnabled);
    EXPECT_FALSE(view.serverAddNewEnabled);
    EXPECT_TRUE(view.accountMenu[0]);
    EXPECT_TRUE(view.accountMenu[1]);
    EXPECT_FALSE(view.accountMenu[2]);
    EXPECT_EQ(view.hiddenPanels, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(view.chatInputClears, 1);
    EXPECT_FALSE(view.chatInputEnabled);
    EXPECT_EQ(view.accountText, "Logged Off");
    EXPECT_EQ(view.chatLines.back(), "You have logged out of your account!");

    // A second log off does nothing at all.
    main.clearSent();
    view.calls.clear();
    client->logOff();
    EXPECT_TRUE(main.sends().empty());
    EXPECT_TRUE(view.calls.empty());
}

TEST_F(Dispatch, AccountRepliesShowTheirMessageThenTidyThePanel)
{
    deliver(bytes({5, 0}));
    EXPECT_EQ(view.calls,
              (std::vector<Bytes>{"message:Account has been created succesfully!", "messageClosed",
                                  "hidePanel:0", "clearNewAccountFields"}));
    view.calls.clear();
    deliver(bytes({5, 1}));
    EXPECT_EQ(view.calls, (std::vector<Bytes>{"message:Error: This account already exists!",
                                              "messageClosed", "clearNewAccountUser"}));
    view.messages.clear();
    deliver(bytes({5, 3}));
    deliver(bytes({5, 4}));
    EXPECT_EQ(view.messages,
              (std::vector<Bytes>{"Error: Invalid Username/Password!",
                                  "Error: You are already logged into an account!"}));
}

TEST_F(Dispatch, ServerCreatedSwitchesTheOwnServerItems)
{
    loginAs("Alice", 0);
    view.calls.clear();
    deliver(bytes({5, 5, 1}));
    EXPECT_EQ(view.calls, (std::vector<Bytes>{"settings=on", "addNew=off",
                                              "message:Your Server has been created succesfully!",
                                              "messageClosed"}));
    view.calls.clear();
    deliver(bytes({5, 5}));
    EXPECT_TRUE(view.calls.empty()) << "without its byte the message is incomplete";
}

TEST_F(Dispatch, ShortAndUnknownMessagesAreIgnored)
{
    const Bytes ignored[] = {bytes({0}),    bytes({0, 2}),   bytes({5}),
                             bytes({5, 6}), bytes({6}),      bytes({6, 2}),
                             bytes({9}),    bytes({255, 1}), bytes({0, 0})};
    client->autoLoginClicked(true);
    typeLogin("alice", "secret");
    view.calls.clear();
    for (const Bytes &body : ignored)
        deliver(body);
    EXPECT_TRUE(view.calls.empty());
    EXPECT_TRUE(main.sends().empty());
    EXPECT_FALSE(client->quitRequested());
}

TEST_F(Dispatch, UserList)
{
    deliver(Bytes("\x06\x01\x00"
                  "ann",
                  6));
    deliver(Bytes("\x06\x01Xbob", 6));
    deliver(Bytes("\x06\x01Xbob", 6));
    // Nothing after the sub-type, or only the skipped character: an empty entry.
    deliver(bytes({6, 1}));
    deliver(bytes({6, 1, 'X'}));
    EXPECT_EQ(view.users, (std::vector<Bytes>{"ann", "bob", "bob", "", ""}));
    deliver(bytes({6, 0}));
    EXPECT_TRUE(view.users.empty());
}

TEST_F(Dispatch, ChatLineAndAddressReply)
{
    deliver(bytes({7}));
    EXPECT_TRUE(view.chatLines.empty());
    deliver(Bytes("\x07"
                  "ann: hi \r\n",
                  11));
    EXPECT_EQ(view.chatLines, std::vector<Bytes>{"ann: hi \r\n"});
    deliver(Bytes("\x03"
                  "203.0.113.4",
                  12));
    EXPECT_EQ(view.newServerAddressText, "203.0.113.4");
    // What an address cannot hold is left out: a line break or blank sent along, stray bytes.
    deliver(Bytes("\x03 host-1.example:\r\n\xB4\x98\"\t"));
    EXPECT_EQ(view.newServerAddressText, "host-1.example:");
}

TEST_F(Dispatch, VersionAcceptedLogsInAutomaticallyOnlyWhenTicked)
{
    typeLogin(" alice ", "secret");
    deliver(bytes({0, 0, 0}));
    EXPECT_TRUE(main.sends().empty());

    client->autoLoginClicked(true);
    deliver(bytes({0, 0, 0}));
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{Bytes("\x03\x01"
                                                     "alice\0secret",
                                                     14)});

    main.clearSent();
    typeLogin("al", "secret");
    deliver(bytes({0, 0, 0}));
    EXPECT_TRUE(main.sends().empty());
    EXPECT_EQ(view.messages,
              std::vector<Bytes>{"Error: Username must be at least 3 characters long!"});
}

TEST_F(Dispatch, VersionOutdatedNamesTheForumThenQuits)
{
    bool quitDuringMessage = true;
    view.duringMessage = [&](ByteView) { quitDuringMessage = client->quitRequested(); };
    deliver(bytes({0, 1}));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              "Your Registry client is out-dated! - An update may be availible on the Talmora "
              "Online Classic Forums at: (" +
                  registry::ForumAddress() + ")");
    EXPECT_FALSE(quitDuringMessage);
    EXPECT_TRUE(client->quitRequested());
    EXPECT_FALSE(client->booted());
    EXPECT_EQ(view.quitCalls, 1);
}

TEST(ForumAddress, DefaultIsAReservedExampleAddress)
{
    // Builds that set no forum address must never point players at a real site.
    const std::string address = registry::ForumAddress();
    EXPECT_NE(address.find("example"), std::string::npos) << address;
}

} // namespace

#include "tests/registry_net/CoreFixture.h"

#include "common/LeadingNumber.h"
#include "registry/net/AdministratorLock.h"
#include "registry/net/RegistryProtocol.h"
#include "registry/support/MachineId.h"

#include <limits>

using namespace registrytest;
using common::Transport;

namespace {

class Actions : public CoreFixture
{
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        connectNow();
        view.calls.clear();
    }
};

// --- Accounts -------------------------------------------------------------------------

struct AccountCase
{
    const char *user;
    const char *password;
    const char *retyped;
    const char *message; // nullptr: the request is sent
};

TEST_F(Actions, NewAccountChecksInOrder)
{
    const AccountCase cases[] = {
        {" ab ", "secret", "secret", "Error: Username must be atleast 3 characters long!"},
        {"1ab", "xy", "xy", "Error: Password must be atleast 3 characters long!"},
        {"1abc", "secret", "secret", "Error: Username must start with a letter!"},
        {"\xC9mile", "secret", "secret", "Error: Username must start with a letter!"},
        {"_bob", "secret", "secret", "Error: Username must start with a letter!"},
        {"alice", "secret", "secreT2", "Error: Your two passwords do not match, please re-enter!"},
        {"alice", "   ", "   ", "Error: Password must be atleast 3 characters long!"},
    };
    for (const AccountCase &c : cases) {
        SCOPED_TRACE(c.user);
        view.messages.clear();
        pressCreateAccount(c.user, c.password, c.retyped);
        EXPECT_EQ(view.messages, std::vector<Bytes>{c.message});
    }
    EXPECT_TRUE(main.sends().empty());
}

TEST_F(Actions, NewAccountPasswordsMatchWithoutRegardToCase)
{
    pressCreateAccount("  Zed ", " SeCret ", "secret");
    // Also letters of the 8-bit code page: "\xE9" and "\xC9" are the two cases of one letter.
    pressCreateAccount("zed", "caf\xE9", "CAF\xC9");
    pressCreateAccount("zed", "\xFF\x9A\x9C", "\x9F\x8A\x8C");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(sentBodies(), (std::vector<Bytes>{Bytes("\x03\x00Zed\0SeCret", 12),
                                                Bytes("\x03\x00zed\0caf\xE9", 10),
                                                Bytes("\x03\x00zed\0\xFF\x9A\x9C", 9)}));
    // Sharp s and the division sign have no upper case of their own.
    pressCreateAccount("zed", "ab\xDF", "AB\xDF");
    pressCreateAccount("zed", "ab\xF7", "AB\xD7");
    EXPECT_EQ(view.messages,
              (std::vector<Bytes>{"Error: Your two passwords do not match, please re-enter!"}));
}

TEST_F(Actions, LoginChecksUseTheirOwnSpelling)
{
    const AccountCase cases[] = {
        {" ab ", "secret", "", "Error: Username must be at least 3 characters long!"},
        {"1ab", "xy", "", "Error: Password must be at least 3 characters long!"},
        {"9lives", "secret", "", "Error: Username must start with a letter!"},
    };
    for (const AccountCase &c : cases) {
        SCOPED_TRACE(c.user);
        view.messages.clear();
        pressLogin(c.user, c.password);
        EXPECT_EQ(view.messages, std::vector<Bytes>{c.message});
    }
    EXPECT_TRUE(main.sends().empty());
    pressLogin(" bob", "pass word ");
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{Bytes("\x03\x01"
                                                     "bob\0pass word",
                                                     15)});
}

using registry::AccountBox;

// What the account panels show as their boxes change, one change after the other.
TEST_F(Actions, AccountBoxesOpenTheRetypeBoxAndEnableTheButtons)
{
    const struct
    {
        AccountBox box;
        const char *text;
        const char *shown; // the view's calls, joined by spaces
    } steps[] = {
        {AccountBox::Retyped, "pw", ""}, // the other boxes are empty: no change
        {AccountBox::Retyped, "", "button:1=off"},
        {AccountBox::NewAccountPassword, "p", "retype=on"},
        {AccountBox::Retyped, "pw", ""},
        {AccountBox::NewAccountUser, "bob", ""}, // typing a user name enables nothing
        {AccountBox::Retyped, "pwd", "button:1=on"},
        // Emptying the first password closes the re-type box and leaves the button as it is.
        {AccountBox::NewAccountPassword, "", "retype=off"},
        {AccountBox::Retyped, "pw", ""},
        {AccountBox::Retyped, "", "button:1=off"},
        {AccountBox::LoginUser, "alice", ""},
        {AccountBox::LoginPassword, "s", "button:2=on"},
        {AccountBox::LoginPassword, "se", "button:2=on"},
        {AccountBox::LoginPassword, "", "button:2=off"},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(std::to_string(static_cast<int>(step.box)) + " <- " + step.text);
        view.calls.clear();
        client->accountTextChanged(step.box, step.text);
        Bytes shown;
        for (const Bytes &call : view.calls)
            shown += (shown.empty() ? "" : " ") + call;
        EXPECT_EQ(shown, step.shown);
    }
    EXPECT_TRUE(main.sends().empty());
}

// Enter acts on a release whose press went down in the same box.
TEST_F(Actions, EnterInAPasswordBoxActsOnlyWhenPressedThere)
{
    client->accountTextChanged(AccountBox::NewAccountUser, "bob");
    client->accountTextChanged(AccountBox::NewAccountPassword, "pw1");
    client->accountTextChanged(AccountBox::Retyped, "PW1");
    client->accountTextChanged(AccountBox::LoginUser, "alice");
    client->accountTextChanged(AccountBox::LoginPassword, "secret");
    const Bytes login = registry::LoginRequestBody("alice", "secret");
    const Bytes create = registry::CreateAccountRequestBody("bob", "pw1");
    enum Key
    {
        Down,
        Up
    };
    const struct
    {
        std::vector<std::pair<Key, AccountBox>> keys;
        const Bytes *sent; // nullptr: nothing
    } cases[] = {
        {{{Down, AccountBox::LoginPassword}, {Up, AccountBox::LoginPassword}}, &login},
        {{{Down, AccountBox::Retyped}, {Up, AccountBox::Retyped}}, &create},
        {{{Up, AccountBox::LoginPassword}}, nullptr}, // the Enter that closed a message
        {{{Down, AccountBox::Retyped}, {Up, AccountBox::LoginPassword}}, nullptr},
        // A release forgets the press, wherever it lands.
        {{{Down, AccountBox::Retyped}, {Up, AccountBox::LoginPassword}, {Up, AccountBox::Retyped}},
         nullptr},
        {{{Down, AccountBox::LoginPassword},
          {Down, AccountBox::LoginPassword},
          {Up, AccountBox::LoginPassword}},
         &login},
        {{{Down, AccountBox::NewAccountPassword}, {Up, AccountBox::NewAccountPassword}}, nullptr},
        {{{Down, AccountBox::LoginUser}, {Up, AccountBox::LoginUser}}, nullptr},
    };
    int index = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(index++);
        main.clearSent();
        for (const auto &[key, box] : c.keys)
            key == Down ? client->enterPressed(box) : client->enterReleased(box);
        EXPECT_EQ(sentBodies(), c.sent ? std::vector<Bytes>{*c.sent} : std::vector<Bytes>{});
    }
    EXPECT_TRUE(view.messages.empty());

    // The login runs even while "Login" is disabled: an empty password reaches the checks.
    client->accountTextChanged(AccountBox::LoginPassword, "");
    client->enterPressed(AccountBox::LoginPassword);
    client->enterReleased(AccountBox::LoginPassword);
    EXPECT_EQ(view.messages,
              std::vector<Bytes>{"Error: Password must be at least 3 characters long!"});
}

// --- Chat -----------------------------------------------------------------------------

TEST_F(Actions, SendChatTrimsSendsAndEchoes)
{
    client->sendChat("  hello there ");
    client->sendChat("   ");
    client->sendChat("\r\n");
    client->sendChat("");
    client->sendChat("\r\nsecond");
    EXPECT_EQ(sentBodies(), (std::vector<Bytes>{"\x05hello there", "\x05", "\x05\r\nsecond"}));
    EXPECT_EQ(view.chatLines, (std::vector<Bytes>{"You: hello there", "You: ", "You: \r\nsecond"}));
    EXPECT_EQ(view.chatInputClears, 5);
}

TEST_F(Actions, EnterSendsTheTextWithoutLineBreaks)
{
    client->sendChatFromEnter("");
    EXPECT_EQ(view.chatInputClears, 0);
    client->sendChatFromEnter("\r\nword\r\n");
    // Only the line break left by the previous Enter: nothing is sent, the box is emptied.
    client->sendChatFromEnter("\r\n");
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{"\x05word"});
    EXPECT_EQ(view.chatInputClears, 2);
}

TEST_F(Actions, LongChatLineKeepsEveryCharacter)
{
    client->sendChat(Bytes(1400, 'x'));
    ASSERT_EQ(sentBodies().size(), 1u);
    EXPECT_EQ(sentBodies()[0].size(), 1401u);
}

// --- Server submission ------------------------------------------------------------------

class Submission : public Actions
{
protected:
    void SetUp() override
    {
        Actions::SetUp();
        machineId = registry::kAdministratorId;
        client->newServerFieldsChanged("My Server", "127.0.0.1", "2700");
        EXPECT_TRUE(view.addServerEnabled);
    }
};

TEST_F(Submission, OnlyTheAdministratorsMachineMayAddServers)
{
    for (const char *id : {"0604219587", "604219587 ", "-1", "", "604219588"}) {
        SCOPED_TRACE(id);
        machineId = id;
        view.messages.clear();
        client->addServerPressed();
        EXPECT_EQ(view.messages,
                  std::vector<Bytes>{"Adding new servers has been restricted to Administrators "
                                     "only due to maintenance!"});
        EXPECT_TRUE(probe.attempts().empty());
        EXPECT_FALSE(client->probePending());
    }
    EXPECT_TRUE(registry::IsAdministrator("604219587"));
}

TEST_F(Submission, ProbeSuccessHidesThePanelAndSendsTheRequest)
{
    client->addServerPressed();
    ASSERT_TRUE(client->probePending());
    EXPECT_FALSE(view.addServerEnabled);
    EXPECT_EQ(view.addServerCaption, "Checking...");
    ASSERT_EQ(probe.attempts().size(), 1u);
    EXPECT_EQ(probe.attempts()[0].host, "127.0.0.1");
    EXPECT_EQ(probe.attempts()[0].port, 2700);
    // The button cannot start a second probe meanwhile.
    client->addServerPressed();
    EXPECT_EQ(probe.attempts().size(), 1u);

    advance(4999);
    probe.acceptConnection();
    EXPECT_FALSE(client->probePending());
    EXPECT_EQ(probe.state(), Transport::State::Closed);
    EXPECT_EQ(view.hiddenPanels, std::vector<int>{4});
    EXPECT_TRUE(view.addServerEnabled);
    EXPECT_EQ(view.addServerCaption, "Add Server");
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{bytes({6, 0, 0, 0, 0x0A, 0x8C}) + Bytes("My Server\0"
                                                                                       "127.0.0.1",
                                                                                       19)});
    advance(10000);
    EXPECT_TRUE(view.messages.empty()) << "no time-out after success";
}

TEST_F(Submission, ProbeTimeOutTellsTheUserAndRestoresTheButton)
{
    client->addServerPressed();
    advance(4999);
    EXPECT_TRUE(view.messages.empty());
    bool connectDuringMessage = false;
    view.duringMessage = [&](ByteView) {
        // The probe's connection completing late must not submit the server as well.
        probe.setState(Transport::State::Connecting);
        probe.acceptConnection();
        connectDuringMessage = true;
    };
    advance(1);
    EXPECT_TRUE(connectDuringMessage);
    EXPECT_EQ(view.messages,
              std::vector<Bytes>{"Error: The server you are trying to add must be online!"});
    EXPECT_TRUE(view.addServerEnabled);
    EXPECT_EQ(view.addServerCaption, "Add Server");
    EXPECT_FALSE(client->probePending());
    EXPECT_EQ(probe.state(), Transport::State::Closed);
    // Only the keep-alive that fell due at the same moment went out.
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{bytes({2})});
    EXPECT_TRUE(view.hiddenPanels.empty()) << "the panel stays open";
}

TEST_F(Submission, PortTextIsReadAsALeadingRoundedNumber)
{
    struct Case
    {
        const char *text;
        int probePort; // 0: refused as invalid
        std::int32_t sentPort;
    };
    const Case cases[] = {
        {"0", 5750, 5750},
        {"abc", 5750, 5750},
        {"2600.5", 2600, 2600},
        {"2601.5", 2602, 2602},
        {" 27015x", 27015, 27015},
        {"65535", 65535, 65535},
        {"65536", 0, 0},
        {"-1", 0, 0},
        {"99999999999999999999", 0, 0},
        {"1e3", 1000, 1000},
        {"0.4", 5750, 5750},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        main.clearSent();
        view.messages.clear();
        client->newServerFieldsChanged("My Server", "127.0.0.1", c.text);
        const std::size_t attemptsBefore = probe.attempts().size();
        client->addServerPressed();
        if (c.probePort == 0) {
            EXPECT_EQ(view.messages, std::vector<Bytes>{"Error: Invalid port!"});
            EXPECT_EQ(probe.attempts().size(), attemptsBefore);
            EXPECT_FALSE(client->probePending());
            EXPECT_TRUE(view.addServerEnabled);
            continue;
        }
        ASSERT_EQ(probe.attempts().size(), attemptsBefore + 1);
        EXPECT_EQ(probe.attempts().back().port, c.probePort);
        probe.acceptConnection();
        ASSERT_EQ(sentBodies().size(), 1u);
        EXPECT_EQ(common::DecodeLong(sentBodies()[0].substr(2, 4)), c.sentPort);
    }
}

TEST_F(Submission, PortChangedToNonsenseDuringTheProbeIsRefused)
{
    client->addServerPressed();
    client->newServerFieldsChanged("My Server", "127.0.0.1", "-5");
    probe.acceptConnection();
    EXPECT_EQ(view.messages, std::vector<Bytes>{"Error: Invalid port!"});
    EXPECT_TRUE(main.sends().empty());
}

TEST_F(Submission, SubmitServerChecks)
{
    deliver(bytes({1, 5, 1, 0}) + Bytes("Alpha\0Ann\0"
                                        "127.0.0.5",
                                        19));
    // The panel's texts, "Add Server" and the probe's connection.
    const auto submit = [this](const char *name, const char *address, const char *port) {
        client->newServerFieldsChanged(name, address, port);
        client->addServerPressed();
        probe.acceptConnection();
    };
    struct Case
    {
        const char *name;
        const char *address;
        const char *message;
    };
    const Case cases[] = {
        {"ab", "127.0.0.1", "Error: Server Name must be at least 3 characters long!"},
        {"Beta", "1.2.3.", "Error: Invalid IP address!"},
        {"Alpha", "127.0.0.1", "This server already exists"},
        {"ab", "1.2", "Error: Server Name must be at least 3 characters long!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        view.messages.clear();
        submit(c.name, c.address, "2700");
        EXPECT_EQ(view.messages, std::vector<Bytes>{c.message});
    }
    EXPECT_TRUE(main.sends().empty());

    submit("ALPHA", "abcdefg", "0");
    submit(" Alpha", "1.2.3.4", "7000");
    const auto bodies = sentBodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0], bytes({6, 0, 0, 0, 0x16, 0x76}) + Bytes("ALPHA\0abcdefg", 13));
    EXPECT_EQ(bodies[1], bytes({6, 0, 0, 0, 0x1B, 0x58}) + Bytes(" Alpha\0"
                                                                 "1.2.3.4",
                                                                 14));
}

TEST_F(Submission, UseMyIpAsksTheServer)
{
    client->requestMyAddress();
    EXPECT_EQ(sentBodies(), std::vector<Bytes>{bytes({1})});
}

// --- Helpers ----------------------------------------------------------------------------

TEST(LeadingNumberRounded, ReadsTheNumberATextBeginsWith)
{
    struct Case
    {
        const char *text;
        std::int64_t value;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"12abc", 12},
        {"  42", 42},
        {"\t7", 7},
        {"-3", -3},
        {"+8", 8},
        {"0.5", 0},
        {"1.5", 2},
        {"2.5", 2},
        {"-2.5", -2},
        {"-3.5", -4},
        {"2.51", 3},
        {".5", 0},
        {".6", 1},
        {"1.", 1},
        {"2e2", 200},
        {"2E+2", 200},
        {"25e-1", 2},
        {"1d3", 1000},
        {"3e", 3},
        {".", 0},
        {"-", 0},
        {"- 3", 0},
        {"2147483648", 2147483648LL},
        {"1e30", std::numeric_limits<std::int64_t>::max()},
        {"1e-400", 0},
        {"1e400", std::numeric_limits<std::int64_t>::max()},
        {"-1e30", std::numeric_limits<std::int64_t>::min()},
    };
    for (const Case &c : cases)
        EXPECT_EQ(common::LeadingNumberRounded(c.text), c.value) << '"' << c.text << '"';
}

TEST(MachineId, SerialReadingsBecomeUnsignedDecimalText)
{
    struct Case
    {
        std::optional<std::int32_t> serial;
        const char *id;
    };
    const Case cases[] = {
        {0, "0"},
        {604219587, "604219587"},
        {-604219587, "604219587"},
        {-1, "1"},
        {std::numeric_limits<std::int32_t>::max(), "2147483647"},
        {std::numeric_limits<std::int32_t>::min(), "2147483648"},
        {std::nullopt, "-1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(registry::MachineIdFromSerial(c.serial), c.id);
}

TEST(MachineId, ThisMachineHasAStableIdentifier)
{
    const Bytes id = registry::MachineId();
    ASSERT_FALSE(id.empty());
    if (id != "-1") {
        EXPECT_EQ(id.find_first_not_of("0123456789"), Bytes::npos) << id;
        EXPECT_TRUE(id == "0" || id[0] != '0') << id;
    }
    EXPECT_EQ(registry::MachineId(), id);
}

} // namespace

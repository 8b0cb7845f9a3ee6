// Start-up, the server slots, the command line and the connect event.
#include "CoreTestSupport.h"
#include "common/Arguments.h"
#include "updater/app/CommandLine.h"
#include "updater/app/StatusFit.h"

namespace updatertest {
namespace {

using State = common::Transport::State;

TEST(CommandLine, SplitsAtEverySingleSpace)
{
    EXPECT_TRUE(updater::SplitCommandLine("").empty());
    EXPECT_EQ(updater::SplitCommandLine("host"), (std::vector<Bytes>{"host"}));
    EXPECT_EQ(updater::SplitCommandLine("host 5000"), (std::vector<Bytes>{"host", "5000"}));
    EXPECT_EQ(updater::SplitCommandLine(" host"), (std::vector<Bytes>{"", "host"}));
    EXPECT_EQ(updater::SplitCommandLine("a  b"), (std::vector<Bytes>{"a", "", "b"}));
    EXPECT_EQ(updater::SplitCommandLine("a "), (std::vector<Bytes>{"a", ""}));
}

// On Windows the words come from the whole command line: the program's name, quoted or not,
// and the blank after it are skipped, and the rest is split as it stands.
TEST(CommandLine, WindowsWordsFollowTheProgramsNameAsTheTextStands)
{
    const struct
    {
        const char *line;
        std::vector<Bytes> words;
    } cases[] = {
        {"Updater.exe", {}},
        {"Updater.exe ", {}},
        {"\"C:\\Program Files\\Talmora\\Updater.exe\" 127.0.0.1 5000", {"127.0.0.1", "5000"}},
        {"\"C:\\a b\"\\Updater.exe host", {"host"}},
        {"C:\\Games\\Updater.exe\thost", {"host"}},
        {"Updater.exe  host", {"", "host"}},
        {"Updater.exe host  5000", {"host", "", "5000"}},
        {"Updater.exe \"my host\" 5000", {"\"my", "host\"", "5000"}},
        {"\"Updater.exe\"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(updater::SplitCommandLine(Bytes(common::TextAfterProgramName(c.line))), c.words);
    }
}

// A first word that starts with "-" or "/" is an option, never a host; the words after it are
// read as ever.
TEST(CommandLine, AFirstWordWithADashOrSlashIsAnOption)
{
    const struct
    {
        std::vector<Bytes> words;
        bool repair;
        Bytes unknown;
        std::vector<Bytes> rest;
    } cases[] = {
        {{}, false, "", {}},
        {{"--repair"}, true, "", {}},
        {{"--repair", "host", "5000"}, true, "", {"host", "5000"}},
        {{"/Repair", "host"}, true, "", {"host"}},
        {{"-x", "host"}, false, "-x", {"host"}},
        {{"/", "host", "5000"}, false, "/", {"host", "5000"}},
        {{"host", "--repair"}, false, "", {"host", "--repair"}},
        {{"", "host"}, false, "", {"", "host"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.words.empty() ? Bytes("(none)") : c.words.front());
        const updater::UpdaterConfig config = updater::MakeUpdaterConfig(c.words);
        EXPECT_EQ(config.repair, c.repair);
        EXPECT_EQ(config.unknownOption, c.unknown);
        EXPECT_EQ(config.words, c.rest);
        EXPECT_EQ(config.servers.size(), 5u);
    }
}

// A status wider than its line gives up the folders, then the name's beginning, never the
// beginning of the line or the percentage. Here every byte is one unit wide.
TEST(StatusLine, ALongStatusGivesUpTheFoldersFirst)
{
    const Bytes downloading = "Status: Downloading: Maps\\Town\\Square.map - 58%";
    const struct
    {
        Bytes text;
        int width;
        Bytes shown;
    } cases[] = {
        {downloading, 47, downloading},
        {downloading, 46, "Status: Downloading: Maps\\To\x85\\Square.map - 58%"},
        {downloading, 39, "Status: Downloading: \x85\\Square.map - 58%"},
        {downloading, 38, "Status: Downloading: \x85Square.map - 58%"},
        {downloading, 5, "Status: Downloading: \x85 - 58%"},
        {"Status: Error Connecting...", 12, "Status: \x85..."},
        {"Status: Loading File Versions - 45%", 25,
         "Status: \x85"
         "e Versions - 45%"},
    };
    const auto bytes = [](const Bytes &text) { return static_cast<int>(text.size()); };
    for (const auto &c : cases)
        EXPECT_EQ(updater::FitStatusText(c.text, c.width, bytes), c.shown) << c.width;
}

TEST(CommandLine, PortIsTheLeadingNumberRounded)
{
    const std::vector<std::pair<Bytes, std::int32_t>> cases = {
        {"5000", 5000},
        {"abc", 0},
        {"", 0},
        {"80x", 80},
        {"2602.4", 2602},
        {"2.5", 2},
        {"3.5", 4},
        {"-7", -7},
        {"+9", 9},
        {".", 0},
        {"99999999999", 2147483647},
    };
    for (const auto &[word, expected] : cases)
        EXPECT_EQ(updater::LeadingNumber(word), expected) << word;
}

struct FirstSlotCase
{
    const char *name;
    std::vector<Bytes> words;
    bool attempts;
    std::string host;
    std::uint16_t port;
};

class FirstSlot : public CoreFixture, public ::testing::WithParamInterface<FirstSlotCase>
{
};

TEST_P(FirstSlot, UsesTheCommandLineWords)
{
    const FirstSlotCase &c = GetParam();
    makeCore(c.words);
    core->onTimer();
    if (c.attempts) {
        ASSERT_EQ(transport.attempts().size(), 1u);
        EXPECT_EQ(transport.attempts()[0].host, c.host);
        EXPECT_EQ(transport.attempts()[0].port, c.port);
    } else {
        EXPECT_TRUE(transport.attempts().empty());
    }
    // The second slot always uses the built-in list, 1.5 s later.
    clock.advance(1499);
    core->onTimer();
    EXPECT_EQ(transport.attempts().size(), c.attempts ? 1u : 0u);
    clock.advance(1);
    core->onTimer();
    ASSERT_FALSE(transport.attempts().empty());
    EXPECT_EQ(transport.attempts().back().host, "10.0.0.2");
    EXPECT_EQ(transport.attempts().back().port, 2602);
}

INSTANTIATE_TEST_SUITE_P(
    Words, FirstSlot,
    ::testing::Values(FirstSlotCase{"none", {}, true, "10.0.0.1", 2602},
                      FirstSlotCase{"host", {"example.org"}, true, "example.org", 2602},
                      FirstSlotCase{
                          "hostAndPort", {"example.org", "5000"}, true, "example.org", 5000},
                      FirstSlotCase{"portWithoutDigits", {"example.org", "x"}, false, "", 0},
                      FirstSlotCase{"threeWords", {"a", "2602", "c"}, false, "", 0},
                      FirstSlotCase{"leadingBlank", {"", "example.org"}, false, "", 0}),
    [](const ::testing::TestParamInfo<FirstSlotCase> &p) { return std::string(p.param.name); });

TEST_F(CoreFixture, StartUpShowsVersionAndConnecting)
{
    makeCore();
    EXPECT_EQ(view.lines,
              (std::vector<Bytes>{"Updater Version V5.323", "Connecting to the Update Server..."}));
    EXPECT_EQ(view.selected, 1);
    EXPECT_EQ(view.status, "Status: Connecting...");
    EXPECT_EQ(view.bar, 295);
    EXPECT_TRUE(std::filesystem::is_directory(client("")));
}

TEST_F(CoreFixture, AttemptStillConnectingIsAbandonedAfterOneAndAHalfSeconds)
{
    makeCore();
    core->onTimer();
    ASSERT_EQ(transport.state(), State::Connecting);
    EXPECT_EQ(core->nextDeadline(), 1000 + 1500);
    clock.advance(1500);
    core->onTimer();
    ASSERT_EQ(transport.attempts().size(), 2u);
    EXPECT_GE(transport.closeCalls(), 1); // the first attempt was closed
    // A late accept of the abandoned attempt cannot happen: the transport moved on.
    EXPECT_EQ(transport.attempts()[1].host, "10.0.0.2");
}

TEST_F(CoreFixture, NoServerReachableEndsWithTheFailureAndHandsOver)
{
    makeCore();
    const std::vector<std::string> expected = {"10.0.0.1", "10.0.0.2", "10.0.0.3",
                                               "10.0.0.4", "10.0.0.5", "127.0.0.1"};
    for (int i = 0; i < 6; ++i) {
        core->onTimer();
        clock.advance(1500);
    }
    ASSERT_EQ(transport.attempts().size(), 6u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(transport.attempts()[i].host, expected[i]);
        EXPECT_EQ(transport.attempts()[i].port, 2602);
    }
    EXPECT_EQ(view.ended, 0);
    core->onTimer();
    EXPECT_TRUE(logHas("Unable to connect to the Update Server!"));
    EXPECT_EQ(view.status, "Status: Error Connecting...");
    EXPECT_EQ(view.bar, 295);
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(core->nextDeadline(), -1);
}

// After "Unable to connect to the Update Server!" the hand-over still looks for a program:
// a missing configured one gives way to the client folder's Registry.exe, then Talmora.exe.
TEST_F(CoreFixture, NoServerReachableStillStartsAFallbackProgram)
{
    for (const char *present : {"Registry.exe", "Talmora.exe"}) {
        SCOPED_TRACE(present);
        core.reset();
        launcher.started.clear();
        writeFile(path("Settings.ini"), "[Client]\nLaunch Application File=" + folder + "/gone\n");
        std::filesystem::remove_all(client(""));
        makeCore();
        writeFile(client(present), "#!/bin/sh\n");
        for (int i = 0; i <= 6; ++i) {
            core->onTimer();
            clock.advance(1500);
        }
        ASSERT_TRUE(logHas("Unable to connect to the Update Server!"));
        ASSERT_EQ(launcher.started.size(), 1u);
        EXPECT_EQ(launcher.started[0], store->clientFolder() + present);
    }
}

TEST_F(CoreFixture, AfterADropTheNextSlotIsTriedNotTheSameOne)
{
    connect();
    // Connected: no attempt, and nothing scheduled while idle.
    clock.advance(10000);
    core->onTimer();
    EXPECT_EQ(transport.attempts().size(), 1u);
    transport.dropConnection();
    EXPECT_LE(core->nextDeadline(), clock.nowMs());
    core->onTimer();
    ASSERT_EQ(transport.attempts().size(), 2u);
    EXPECT_EQ(transport.attempts()[1].host, "10.0.0.2");
}

TEST_F(CoreFixture, PortZeroLeavesTheSlotWithoutAnAttempt)
{
    makeCore({"example.org", "0"});
    core->onTimer();
    EXPECT_TRUE(transport.attempts().empty());
    // The host of the first slot was taken, but the next slot names its own host and port.
    clock.advance(1500);
    core->onTimer();
    ASSERT_EQ(transport.attempts().size(), 1u);
    EXPECT_EQ(transport.attempts()[0].host, "10.0.0.2");
    EXPECT_EQ(transport.attempts()[0].port, 2602);
}

TEST_F(CoreFixture, ConnectSendsTheVersionCheckWhenZlibIsPresent)
{
    connect(true);
    EXPECT_TRUE(logHas("Connection Established."));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], versionCheck());
    EXPECT_EQ(sent()[0].size(), 9u);
}

TEST_F(CoreFixture, MissingZlibMakesEntryZeroTheFirstRequest)
{
    connect(false);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], fileRequest(0));
}

TEST_F(CoreFixture, IdleConnectedUpdaterSchedulesNothing)
{
    connect();
    EXPECT_EQ(core->nextDeadline(), -1);
}

} // namespace
} // namespace updatertest

#include "registry/support/Launcher.h"

#include "common/Arguments.h"
#include "common/HostAddress.h"

#include <gtest/gtest.h>

#include <unistd.h>
#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <string>
#include <vector>

using registry::GameClientParameters;
using registry::SelectedServer;

namespace {

// Records what would start, and answers as the test says.
class RecordingShell final : public common::Shell
{
public:
    struct Call
    {
        std::string operation, file, parameters, directory;
        int show;
    };
    common::ShellResult result = common::ShellResult::Started;
    std::vector<Call> opens;
    std::vector<std::string> openWiths;
    std::vector<std::string> *events = nullptr;

    common::ShellResult open(common::ByteView operation, common::ByteView file,
                             common::ByteView parameters, common::ByteView directory,
                             int show) override
    {
        opens.push_back({std::string(operation), std::string(file), std::string(parameters),
                         std::string(directory), show});
        if (events)
            events->push_back("open");
        return result;
    }
    void openWith(common::ByteView file, common::ByteView) override
    {
        openWiths.emplace_back(file);
        if (events)
            events->push_back("openWith");
    }
};

} // namespace

TEST(LauncherTest, GameClientParametersReplaceEveryBlank)
{
    const struct
    {
        const char *name;
        const char *parameters;
    } cases[] = {
        {"My Town", "10.1.2.3 2601 My+Town"},
        {"a  b ", "10.1.2.3 2601 a++b+"},
        {"Plain", "10.1.2.3 2601 Plain"},
        {"", "10.1.2.3 2601 \"\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GameClientParameters({c.name, "10.1.2.3", 2601}), c.parameters) << c.name;
}

namespace {

// The game client's arguments as its C runtime reads its command line.
std::vector<std::string> gameClientArguments(const std::string &parameters)
{
#ifdef _WIN32
    // The system's own reading, of the whole command line the shell gives the program.
    const std::string line = "tlm.exe " + parameters;
    std::wstring wide;
    for (const char c : line)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    int count = 0;
    LPWSTR *argv = CommandLineToArgvW(wide.c_str(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < count; ++i) {
        std::string argument;
        for (const wchar_t *w = argv[i]; *w; ++w)
            argument += static_cast<char>(*w);
        arguments.push_back(argument);
    }
    LocalFree(argv);
    // This system's reading of other programs' command lines follows the same rules.
    EXPECT_EQ(common::SplitArguments(parameters), arguments) << parameters;
    return arguments;
#else
    return common::SplitArguments(parameters);
#endif
}

} // namespace

// Whatever the server's address and name hold, the game client gets exactly three arguments:
// the address, the port and the name with "+" for blanks.
TEST(LauncherTest, EachValueReachesTheGameClientAsOneArgument)
{
    const struct
    {
        std::string address, name;
    } cases[] = {
        {"127.0.0.1\"", "Evil Town"},
        {"evil.host\"", "\"\t6666\tTown"},
        {"10.0.0.5", "My\tTown\tX"},
        {"10.0.0.5", "Evil\\\"Town"},
        {"10.0.0.5", "Town\\"},
        {"10.0.0.5", "\\\\\""},
        {"10.0.0.5", "say \"hi\" \\\\"},
        {"10.0.0.5", ""},
        {"", " "},
    };
    for (const auto &c : cases) {
        std::string name = c.name;
        for (char &ch : name)
            ch = ch == ' ' ? '+' : ch;
        const std::string parameters = GameClientParameters({c.name, c.address, 2601});
        EXPECT_EQ(gameClientArguments(parameters),
                  (std::vector<std::string>{c.address, "2601", name}))
            << parameters;
    }
}

TEST(LauncherTest, StartGameClientOpensTlmInTheGameFolder)
{
    RecordingShell shell;
    std::vector<std::string> messages;
    registry::StartGameClient(
        shell, [&](const std::string &m) { messages.push_back(m); }, "/games\\Talmora\\",
        SelectedServer{"My Town", "127.0.0.9", 2601});
    ASSERT_EQ(shell.opens.size(), 1u);
    EXPECT_EQ(shell.opens[0].operation, "Open");
    EXPECT_EQ(shell.opens[0].file, "tlm.exe");
    EXPECT_EQ(shell.opens[0].parameters, "127.0.0.9 2601 My+Town");
    EXPECT_EQ(shell.opens[0].directory, "/games\\Talmora\\");
    EXPECT_EQ(shell.opens[0].show, 1);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(shell.openWiths.empty());
}

TEST(LauncherTest, NoApplicationTellsOnceThenFallsBack)
{
    RecordingShell shell;
    shell.result = common::ShellResult::NoApplication;
    std::vector<std::string> events;
    shell.events = &events;
    registry::RunGameServer(
        shell, [&](const std::string &m) { events.push_back("message:" + m); }, "/g\\Server\\");
    const std::vector<std::string> expected = {
        "open", "message:Couldn't load the default application", "openWith"};
    EXPECT_EQ(events, expected);
    ASSERT_EQ(shell.opens.size(), 1u);
    EXPECT_EQ(shell.opens[0].file, "server.exe");
    EXPECT_EQ(shell.opens[0].parameters, "");
    EXPECT_EQ(shell.opens[0].directory, "/g\\Server\\");
    EXPECT_EQ(shell.openWiths, std::vector<std::string>{"server.exe"});
}

TEST(LauncherTest, OtherFailuresAreSilent)
{
    RecordingShell shell;
    shell.result = common::ShellResult::Failed;
    std::vector<std::string> messages;
    registry::StartGameClient(
        shell, [&](const std::string &m) { messages.push_back(m); }, "/g\\Talmora\\",
        SelectedServer{"X", "1.2.3.4", 2601});
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(shell.openWiths.empty());
    EXPECT_EQ(shell.opens.size(), 1u);
}

TEST(LauncherTest, AnAddressThatIsNoPlainAddressIsRefused)
{
    const struct
    {
        registry::Bytes address;
        bool plain;
    } cases[] = {
        {"127.0.0.1", true},
        {"host-1.example.org", true},
        {"127.0.0.1 --evil-flag /tmp/x -c x", false},
        {"127.0.0.1\t-c", false},
        {registry::Bytes("127.0.0.1\0x", 11), false},
        {"127.0.0.1\x7F", false},
        {"-c", false},
        {"", false},
        {"::1", true},
        {"fe80::1:a", true},
        {"127.0.0.1\"", false},
        {"evil.host\"", false},
        {"10.0.0.5\\", false},
        {"host_name.example", false},
        {"caf\xE9.example", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(common::IsHostAddress(c.address), c.plain) << c.address;
        RecordingShell shell;
        std::vector<std::string> messages;
        registry::StartGameClient(
            shell, [&](const std::string &m) { messages.push_back(m); }, "/games\\Talmora\\",
            SelectedServer{"My Town", c.address, 2601});
        EXPECT_EQ(shell.opens.size(), c.plain ? 1u : 0u) << c.address;
        EXPECT_EQ(messages, c.plain ? std::vector<std::string>{}
                                    : std::vector<std::string>{"Error: Invalid IP address!"})
            << c.address;
    }
}

// On this system the three parameters reach the game client as exactly three arguments,
// an empty server name included.
#ifndef _WIN32 // the game client stands in as a shell script
TEST(LauncherTest, TheGameClientGetsExactlyThreeArguments)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("talmora-launch-" + std::to_string(static_cast<long>(::getpid())));
    std::filesystem::create_directories(folder);
    const std::filesystem::path marker = folder / "marker.txt";
    {
        std::ofstream script(folder / "tlm.exe");
        script << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > marker.tmp\nmv marker.tmp marker.txt\n";
    }
    std::filesystem::permissions(folder / "tlm.exe", std::filesystem::perms::owner_all);
    common::PlatformShell shell;
    const struct
    {
        const char *name;
        const char *arguments;
    } cases[] = {{"My Town", "3|10.0.0.5|2601|My+Town|"},
                 {"", "3|10.0.0.5|2601||"},
                 {"\"\t6666\tTown \\\"", "3|10.0.0.5|2601|\"\t6666\tTown+\\\"|"}};
    for (const auto &c : cases) {
        std::filesystem::remove(marker);
        std::vector<std::string> messages;
        registry::StartGameClient(
            shell, [&](const std::string &m) { messages.push_back(m); }, folder.string(),
            SelectedServer{c.name, "10.0.0.5", 2601});
        EXPECT_TRUE(messages.empty());
        // The program runs on its own; wait for what it wrote (a safety limit only).
        std::string written;
        for (int tries = 0; tries < 500 && written.empty(); ++tries) {
            std::ifstream in(marker);
            std::getline(in, written);
            if (written.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(written, c.arguments) << c.name;
    }
    std::filesystem::remove_all(folder);
}
#endif

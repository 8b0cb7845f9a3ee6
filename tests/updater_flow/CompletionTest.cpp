// The display operations and the hand-over.
#include "CoreTestSupport.h"

#include "updater/flow/Progress.h"

#include <filesystem>

namespace updatertest {
namespace {

namespace fs = std::filesystem;

TEST(FormatSize, SevenDigitsCutAfterOneDecimal)
{
    const std::vector<std::pair<float, Bytes>> cases = {
        {1.96f, "1.9"},          {12.0f, "12"},          {0.5f, "0.5"},    {0.0f, "0"},
        {1023.999f, "1023.9"},   {120.7f, "120.7"},      {1.05f, "1.0"},   {3.2f, "3.2"},
        {1234567.0f, "1234567"}, {0.0009765625f, "0.0"}, {99.99f, "99.9"}, {2.0f / 1024, "0.0"},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(updater::FormatSize(value), expected) << value;
}

struct ProgressCase
{
    std::int64_t count;
    std::int64_t total;
    std::int64_t speed;
    int bar;
    Bytes suffix;
    Bytes bytes;
    std::int64_t shownCount;
};

TEST(FormatProgress, Examples)
{
    const std::vector<ProgressCase> cases = {
        // 0.29 in single precision lies just below 0.29.
        {29, 100, 0, 85, " - 28%", "0.0/0.0 KB - 0KB/s", 29},
        {3000, 2000, 0, 295, " - 100%", "1.9/1.9 KB - 0KB/s", 2000},
        {0, 0, 0, 295, "", "0/0 KB - 0KB/s", 0},
        {524288, 1048576, 0, 147, " - 50%", "0.5/1 MB - 0KB/s", 524288},
        {0, 1048575, 0, 0, " - 0%", "0/1023.9 KB - 0KB/s", 0},
        {0, 0, 1536, 295, "", "0/0 KB - 1.5KB/s", 0},
        {0, 0, 12288, 295, "", "0/0 KB - 12KB/s", 0},
        {0, 0, 1048576 + 524288, 295, "", "0/0 KB - 1.5MB/s", 0},
        {1572864, 3355443, 123597, 138, " - 46%", "1.5/3.2 MB - 120.7KB/s", 1572864},
        {1572864, 3355443, 123596, 138, " - 46%", "1.5/3.2 MB - 120.6KB/s", 1572864},
        {5, -3, 0, 295, "", "0.0/-0.0 KB - 0KB/s", 5},
    };
    for (const auto &c : cases) {
        const auto d = updater::FormatProgress(c.count, c.total, c.speed);
        EXPECT_EQ(d.barWidth, c.bar) << c.count << "/" << c.total;
        EXPECT_EQ(d.percentSuffix, c.suffix) << c.count << "/" << c.total;
        EXPECT_EQ(d.bytesText, c.bytes) << c.count << "/" << c.total;
        EXPECT_EQ(d.count, c.shownCount) << c.count << "/" << c.total;
    }
}

TEST_F(CoreFixture, ShowProgressCapsTheCallersCountAndKeepsStatusOnEmptyText)
{
    makeCore();
    std::int64_t count = 3000;
    count = core->ShowProgress("Downloading: zlib.dll", count, 2000);
    EXPECT_EQ(count, 2000);
    EXPECT_EQ(view.status, "Status: Downloading: zlib.dll - 100%");
    EXPECT_EQ(view.bar, 295);
    count = 1;
    count = core->ShowProgress("Downloading: zlib.dll", count, 2);
    EXPECT_EQ(view.status, "Status: Downloading: zlib.dll - 50%");
    EXPECT_EQ(view.bar, 147);
    count = 0;
    count = core->ShowProgress("", count, 0);
    EXPECT_EQ(view.status, "Status: Downloading: zlib.dll - 50%");
    EXPECT_EQ(view.bar, 295);
    EXPECT_EQ(view.bytes, "0/0 KB - 0KB/s");
}

TEST_F(CoreFixture, LogKeepsTheNewest100LinesAndSelectsTheLast)
{
    makeCore(); // two lines already
    for (int i = 3; i <= 101; ++i)
        core->AddLogLine("line " + std::to_string(i));
    EXPECT_EQ(view.lines.size(), 100u);
    EXPECT_EQ(view.lines.front(), "Connecting to the Update Server...");
    EXPECT_EQ(view.selected, 99);
    EXPECT_EQ(view.lines[static_cast<std::size_t>(view.selected)], "line 101");
}

class HandOver : public CoreFixture
{
protected:
    void makeProgram(const std::string &local) { writeFile(local, "#!/bin/sh\n"); }
};

TEST_F(HandOver, ConfiguredProgramIsStartedAndAnOldUpdateExeDeletedFirst)
{
    fs::create_directories(client("Bin"));
    makeProgram(client("Bin/Game.exe"));
    writeFile(path("Update.exe"), "old self-update");
    writeFile(path("Settings.ini"),
              "[Client]\nLaunch Application File=" + folder + "\\Client\\Bin\\Game.exe\n");
    connect();
    core->FinishAndLaunch();
    EXPECT_EQ(transport.state(), common::Transport::State::Closed);
    EXPECT_FALSE(fs::exists(path("Update.exe")));
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], folder + "\\Client\\Bin\\Game.exe");
    EXPECT_EQ(view.ended, 1);
    // Runs once.
    core->FinishAndLaunch();
    core->onTimer();
    EXPECT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(view.ended, 1);
}

TEST_F(HandOver, MissingConfiguredProgramFallsBackToRegistryThenTalmora)
{
    writeFile(path("Settings.ini"), "[Client]\nLaunch Application File=" + folder + "/gone.exe\n");
    makeCore();
    fs::create_directories(client(""));
    makeProgram(client("Talmora.exe"));
    core->FinishAndLaunch();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], store->clientFolder() + "Talmora.exe");
}

#ifndef _WIN32 // Windows programs carry their suffix
TEST_F(HandOver, RegistryWithoutSuffixIsFoundForRegistryExe)
{
    makeCore();
    makeProgram(client("Registry"));
    makeProgram(client("Talmora.exe"));
    core->FinishAndLaunch();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], store->clientFolder() + "Registry.exe");
}
#endif

TEST_F(HandOver, NothingToStartJustEnds)
{
    makeCore();
    core->FinishAndLaunch();
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_EQ(view.ended, 1);
}

TEST_F(HandOver, ClosingDuringATransferDoesNotRewriteVersionsOrWriteTheFile)
{
    makeProgram(path("next.sh"));
    writeFile(path("Settings.ini"), "[Client]\nLaunch Application File=" + folder + "/next.sh\n");
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.deliver(fileData(2, 100) + Bytes(50, 'x'));
    core->FinishAndLaunch();
    EXPECT_FALSE(fs::exists(path("Version.dat")));
    EXPECT_FALSE(fs::exists(client("a.txt")));
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], folder + "/next.sh");
    // Late events are ignored.
    transport.deliver(Bytes(50, 'x'));
    EXPECT_FALSE(fs::exists(client("a.txt")));
}

// Only programs are started; a configured file that is none gives way to the fallbacks.
TEST_F(HandOver, AFileThatIsNoProgramIsNotStartedAndTheFallbackIs)
{
    writeFile(path("Settings.ini"),
              "[Client]\nLaunch Application File=" + folder + "\\Client\\page.html\n");
    makeCore();
    makeProgram(client("page.html"));
    makeProgram(client("Registry.exe"));
    launcher.refused.insert(folder + "\\Client\\page.html");
    core->FinishAndLaunch();
    ASSERT_EQ(launcher.started.size(), 2u);
    EXPECT_EQ(launcher.started[1], store->clientFolder() + "Registry.exe");
    EXPECT_TRUE(logHas("Unable to start: " + folder + "\\Client\\page.html"));
}

// Only programs are started: on Windows a ".exe" whose header says it is a program image
// (an ELF file or a script from a server is none, and under wine would run outside it),
// elsewhere native executables directly and other ".exe" files through wine.
TEST(ChooseLaunch, NativeProgramsDirectlyExeThroughWineNothingElse)
{
    // "MZ", the offset of the "PE" header at 0x3C, and that header.
    const Bytes image = "MZ" + Bytes(0x3A, '\0') + Bytes("\x40\0\0\0", 4) + Bytes("PE\0\0", 4);
    using updater::LaunchKind;
    TempFolder dir;
    const std::string base = dir.path().string();
    const struct
    {
        const char *name;
        Bytes content;
        LaunchKind elsewhere;
        LaunchKind onWindows;
    } cases[] = {
        {"Game.exe", image, LaunchKind::Wine, LaunchKind::Native},
        {"GAME.EXE", image, LaunchKind::Wine, LaunchKind::Native},
        {"program.dat", image, LaunchKind::NotAProgram, LaunchKind::NotAProgram},
        {"dos.exe", Bytes("MZ\x90\0windows program", 20), LaunchKind::Wine,
         LaunchKind::NotAProgram},
        {"run.sh", "#!/bin/sh\n", LaunchKind::Native, LaunchKind::NotAProgram},
        {"Update.exe", "#!/bin/sh\necho started\n", LaunchKind::Native, LaunchKind::NotAProgram},
        {"native.exe",
         "\x7f"
         "ELF\2\1\1",
         LaunchKind::Native, LaunchKind::NotAProgram},
        {"page.html", "<html></html>", LaunchKind::NotAProgram, LaunchKind::NotAProgram},
        {"notes.txt", "#not a script", LaunchKind::NotAProgram, LaunchKind::NotAProgram},
    };
    for (const auto &c : cases) {
        writeFile(base + "/" + c.name, c.content);
#ifdef _WIN32
        EXPECT_EQ(updater::ChooseLaunch(base + "/" + c.name), c.onWindows) << c.name;
#else
        EXPECT_EQ(updater::ChooseLaunch(base + "/" + c.name), c.elsewhere) << c.name;
#endif
    }
}

#ifndef _WIN32 // Windows has no execute permission
TEST(MakeExecutable, NativeFilesGetTheExecutePermissionOthersDoNot)
{
    TempFolder dir;
    const std::string script = dir.path().string() + "/run.sh";
    const std::string text = dir.path().string() + "/notes.txt";
    writeFile(script, "#!/bin/sh\nexit 0\n");
    writeFile(text, "hello");
    fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(updater::MakeExecutable(script));
    const auto p = fs::status(script).permissions();
    EXPECT_NE(p & fs::perms::owner_exec, fs::perms::none);
    EXPECT_NE(p & fs::perms::group_exec, fs::perms::none);
    EXPECT_EQ(p & fs::perms::others_exec, fs::perms::none);
    EXPECT_FALSE(updater::MakeExecutable(text));
    EXPECT_EQ(fs::status(text).permissions() & fs::perms::owner_exec, fs::perms::none);
}
#endif

} // namespace
} // namespace updatertest

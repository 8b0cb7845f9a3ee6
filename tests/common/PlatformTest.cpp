#include "common/Platform.h"
#include "tests/support/Links.h"
#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string local(const fs::path &path)
{
    return path.string();
}

[[maybe_unused]] void writeFile(const fs::path &path, const std::string &content, bool executable)
{
    ::writeFile(path, content);
#ifndef _WIN32
    if (executable)
        ::chmod(path.c_str(), 0755);
#else
    (void)executable;
#endif
}

// The started program runs on its own; wait (bounded) until the marker it leaves is
// complete.
std::string waitForFile(const fs::path &path, const std::string &lastLine)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string content = readFile(path);
        if (content.size() >= lastLine.size() &&
            content.compare(content.size() - lastLine.size(), lastLine.size(), lastLine) == 0)
            return content;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

class RecordingShell final : public common::Shell
{
public:
    common::ShellResult result = common::ShellResult::Started;
    std::vector<std::string> calls;

    common::ShellResult open(common::ByteView op, common::ByteView file, common::ByteView params,
                             common::ByteView dir, int show) override
    {
        calls.push_back("open " + std::string(op) + "|" + std::string(file) + "|" +
                        std::string(params) + "|" + std::string(dir) + "|" + std::to_string(show));
        return result;
    }
    void openWith(common::ByteView file, common::ByteView dir) override
    {
        calls.push_back("openWith " + std::string(file) + "|" + std::string(dir));
    }
};

} // namespace

TEST(Platform, OpenWithShellTellsOnceThenFallsBack)
{
    RecordingShell shell;
    std::vector<std::string> messages;
    auto show = [&](const common::Bytes &text) { messages.push_back(text); };

    shell.result = common::ShellResult::NoApplication;
    common::OpenWithShell(shell, show, "Open", "server.exe", "", "/game/Server/", 1);
    EXPECT_EQ(messages, std::vector<std::string>{"Couldn't load the default application"});
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"open Open|server.exe||/game/Server/|1",
                                                     "openWith server.exe|/game/Server/"}));

    for (auto quiet : {common::ShellResult::Failed, common::ShellResult::Started}) {
        shell.calls.clear();
        messages.clear();
        shell.result = quiet;
        common::OpenWithShell(shell, show, "Open", "tlm.exe", "a 2601 b", "/g/", 1);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(shell.calls.size(), 1u);
    }
}

#ifndef _WIN32

namespace {

class PathGuard
{
public:
    explicit PathGuard(const std::string &value)
        : m_old(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", value.c_str(), 1);
    }
    ~PathGuard() { ::setenv("PATH", m_old.c_str(), 1); }

private:
    std::string m_old;
};

} // namespace

TEST(Platform, FileAndFolderTests)
{
    TempFolder dir;
    const fs::path root = dir.path();
    writeFile(root / "game.dat", "x", false);
    writeFile(root / ".hidden", "x", false);
    fs::create_directory(root / "Maps");

    EXPECT_TRUE(common::FileExists(local(root / "game.dat")));
    EXPECT_TRUE(common::FileExists(local(root) + "\\game.dat")); // "\" is a separator here
    EXPECT_FALSE(common::FileExists(local(root / ".hidden")));
    EXPECT_FALSE(common::FileExists(local(root / "Maps")));
    EXPECT_FALSE(common::FileExists(local(root / "missing")));
    EXPECT_FALSE(common::FileExists(""));

    EXPECT_TRUE(common::FolderExists(local(root / "Maps")));
    EXPECT_TRUE(common::FolderExists(local(root) + "\\Maps\\"));
    EXPECT_TRUE(common::FolderExists(local(root / "game.dat")));
    EXPECT_FALSE(common::FolderExists(local(root / "Town")));

    EXPECT_EQ(common::LocalPath("a\\b\\c.txt"), "a/b/c.txt");
}

TEST(Platform, ProgramsWithoutSuffixAreFoundUnderTheirBareName)
{
    TempFolder dir;
    const fs::path root = dir.path();
    writeFile(root / "Registry", "#!/bin/sh\n", true);
    writeFile(root / "tlm.exe", "MZ", false);

    EXPECT_EQ(common::ResolveProgram(local(root) + "\\Registry.exe"), local(root / "Registry"));
    EXPECT_EQ(common::ResolveProgram(local(root / "tlm.exe")), local(root / "tlm.exe"));
    EXPECT_EQ(common::ResolveProgram(local(root / "Talmora.exe")), "");

    EXPECT_TRUE(common::IsNativeExecutable(local(root / "Registry")));
    EXPECT_FALSE(common::IsNativeExecutable(local(root / "tlm.exe")));
    EXPECT_TRUE(common::IsNativeExecutable("/proc/self/exe"));
}

TEST(Platform, StartsDetachedInItsFolderWithArguments)
{
    TempFolder dir;
    const fs::path root = dir.path();
    writeFile(root / "tlm.exe", "#!/bin/sh\necho \"$(pwd) $1 $2 $3\" > marker.txt\n", true);

    common::PlatformShell shell;
    const auto result = shell.open("Open", "tlm.exe", "10.0.0.5 2601 My+Town", local(root), 1);
    EXPECT_EQ(result, common::ShellResult::Started);
    EXPECT_EQ(waitForFile(root / "marker.txt", "\n"),
              fs::canonical(root).string() + " 10.0.0.5 2601 My+Town\n");

    EXPECT_FALSE(common::StartDetached(local(root / "missing"), {}, local(root)));
    EXPECT_FALSE(common::StartDetached(local(root / "tlm.exe"), {}, local(root / "nofolder")));
}

TEST(Platform, ShellReportsWhatCannotBeOpened)
{
    TempFolder dir;
    const fs::path root = dir.path();
    writeFile(root / "server.exe", "MZ not a native program", false);
    common::PlatformShell shell;

    EXPECT_EQ(shell.open("Open", "absent.exe", "", local(root), 1), common::ShellResult::Failed);
    // Neither wine nor a desktop opener on the search path: nothing can open it.
    PathGuard path(local(root / "empty-bin"));
    EXPECT_EQ(shell.open("Open", "server.exe", "", local(root), 1),
              common::ShellResult::NoApplication);
}

#else

TEST(Platform, FileSearchSeesNormalFilesOnly)
{
    TempFolder dir;
    const fs::path root = dir.path();
    const struct
    {
        const char *name;
        DWORD attributes;
        bool file;
        bool folder;
    } cases[] = {
        {"plain.dat", FILE_ATTRIBUTE_NORMAL, true, true},
        {"readonly.dat", FILE_ATTRIBUTE_READONLY, true, true},
        {"archived.dat", FILE_ATTRIBUTE_ARCHIVE, true, true},
        {"hidden.dat", FILE_ATTRIBUTE_HIDDEN, false, false},
        {"system.dat", FILE_ATTRIBUTE_SYSTEM, false, false},
        {"Maps", FILE_ATTRIBUTE_DIRECTORY, false, true},
        {"HiddenMaps", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, false, false},
    };
    for (const auto &c : cases) {
        const fs::path path = root / c.name;
        if (c.attributes & FILE_ATTRIBUTE_DIRECTORY)
            fs::create_directory(path);
        else
            writeFile(path, "x");
        ASSERT_TRUE(SetFileAttributesA(local(path).c_str(),
                                       c.attributes & ~DWORD{FILE_ATTRIBUTE_DIRECTORY}
                                           ? c.attributes & ~DWORD{FILE_ATTRIBUTE_DIRECTORY}
                                           : FILE_ATTRIBUTE_NORMAL))
            << c.name;
        EXPECT_EQ(common::FileExists(local(path)), c.file) << c.name;
        EXPECT_EQ(common::FolderExists(local(path)), c.folder) << c.name;
        // "/" separates as well, and names match without regard to case.
        EXPECT_EQ(common::FileExists(local(root) + "/" + c.name), c.file) << c.name;
        std::string upper = local(path);
        for (char &ch : upper)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_EQ(common::FileExists(upper), c.file) << c.name;
        SetFileAttributesA(local(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_TRUE(common::FolderExists(local(root) + "\\Maps\\"));
    EXPECT_FALSE(common::FileExists(local(root) + "\\*.dat")); // a wildcard names no file
    EXPECT_FALSE(common::FileExists(local(root) + "\\plain.da?"));
    EXPECT_FALSE(common::FileExists(local(root) + "\\missing.dat"));
    EXPECT_FALSE(common::FileExists(""));
    EXPECT_TRUE(common::FolderExists("C:\\"));
    EXPECT_EQ(common::LocalPath("a\\b/c.txt"), "a\\b/c.txt");
}

TEST(Platform, ProgramAndCurrentFolder)
{
    const std::string program = common::ProgramFolder();
    EXPECT_TRUE(common::FileExists(program + "\\test_common.exe")) << program;
    EXPECT_NE(program.back(), '\\');
    EXPECT_TRUE(common::IsNativeExecutable(program + "\\test_common.exe"));
    EXPECT_EQ(fs::path(common::CurrentFolder()), fs::current_path());
    EXPECT_EQ(common::ResolveProgram(program + "\\test_common.exe"), program + "\\test_common.exe");
    EXPECT_EQ(common::ResolveProgram(program + "\\test_common"), "");
}

// The argument echo program beside the test: copied into a folder of its own, started
// there, it writes its folder and arguments to started.txt.
fs::path echoProgramIn(const fs::path &folder)
{
    const fs::path target = folder / "tlm.exe";
    fs::copy_file(fs::path(common::ProgramFolder()) / "args_echo.exe", target);
    return target;
}

TEST(Platform, StartsDetachedInItsFolderWithQuotedArguments)
{
    TempFolder dir;
    const fs::path root = dir.path() / "Game Folder";
    fs::create_directory(root);
    const fs::path program = echoProgramIn(root);
    const std::vector<std::string> arguments = {
        "10.0.0.5", "two words", "", "say \"hi\"", "trailing\\", "back\\\"quote", "C:\\a b\\"};
    ASSERT_TRUE(common::StartDetached(local(program), arguments, local(root)));
    std::string expected = fs::canonical(root).string() + "\n";
    for (const std::string &a : arguments)
        expected += "[" + a + "]\n";
    EXPECT_EQ(waitForFile(root / "started.txt", "end\n"), expected + "end\n");

    EXPECT_FALSE(common::StartDetached(local(root / "missing.exe"), {}, local(root)));
    EXPECT_FALSE(common::StartDetached(local(program), {}, local(root / "nofolder")));
}

TEST(Platform, TheRealShellStartsProgramsAndKnowsNoApplication)
{
    TempFolder dir;
    const fs::path root = dir.path();
    echoProgramIn(root);
    writeFile(root / "notes.zzqx", "an unknown kind of file");
    common::PlatformShell shell;

    EXPECT_EQ(shell.open("Open", "tlm.exe", "10.0.0.5 2601", local(root), SW_SHOWNORMAL),
              common::ShellResult::Started);
    EXPECT_EQ(waitForFile(root / "started.txt", "end\n"),
              fs::canonical(root).string() + "\n[10.0.0.5]\n[2601]\nend\n");
    // The shell answers 31 (no application is associated) for an unknown file type.
    EXPECT_EQ(shell.open("Open", "notes.zzqx", "", local(root), SW_SHOWNORMAL),
              common::ShellResult::NoApplication);
    EXPECT_EQ(shell.open("Open", "absent.exe", "", local(root), SW_SHOWNORMAL),
              common::ShellResult::Failed);
}

TEST(Platform, VolumeSerialOfDriveC)
{
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    ASSERT_TRUE(common::SystemVolumeSerial().has_value());
    EXPECT_EQ(*common::SystemVolumeSerial(), serial);
}

TEST(Platform, ReplacingAndResolving)
{
    TempFolder dir;
    const fs::path root = dir.path();
    writeFile(root / "new.part", "new");
    writeFile(root / "Settings.ini", "old");
    ASSERT_TRUE(common::MoveOver(local(root / "new.part"), local(root / "Settings.ini")));
    EXPECT_EQ(readFile(root / "Settings.ini"), "new");
    EXPECT_FALSE(fs::exists(root / "new.part"));
    EXPECT_FALSE(common::MoveOver(local(root / "gone.part"), local(root / "Settings.ini")));

    const std::string real = common::RealPath(local(root));
    ASSERT_FALSE(real.empty());
    EXPECT_TRUE(common::IsInsideFolder(real + "\\CLIENT\\a", real));
    EXPECT_TRUE(common::IsInsideFolder(real + "/Client", real));
    EXPECT_FALSE(common::IsInsideFolder(real + "x\\a", real));
    EXPECT_EQ(common::RealPath(local(root / "missing")), "");
    // A junction or symbolic link leads to where it points.
    fs::create_directory(root / "outside");
    const fs::path link = root / "link";
    EXPECT_EQ(common::EntryKindOf(local(link)), common::EntryKind::Missing);
    EXPECT_EQ(common::EntryKindOf(local(root / "outside")), common::EntryKind::Folder);
    EXPECT_EQ(common::EntryKindOf(local(root / "Settings.ini")), common::EntryKind::File);
    if (!testsupport::PlantLink(root / "outside", link, true))
        GTEST_SKIP() << "this system makes no symbolic links";
    EXPECT_EQ(common::EntryKindOf(local(link)), common::EntryKind::Link);
    EXPECT_EQ(common::RealPath(local(link)), common::RealPath(local(root / "outside")));
}

#endif

// The old self-update program is removed only when it is a regular file where it is named:
// a link (whatever it leads to), a folder or nothing at all is left as it is.
TEST(Platform, RemoveRegularFileRemovesNothingButARegularFile)
{
    enum class Kind
    {
        File,
        ReadOnlyFile,
        Folder,
        LinkToAFile,
        LinkToAFolder,
        Missing,
    };
    const struct
    {
        const char *what;
        Kind kind;
        bool removed;
    } cases[] = {
        {"file", Kind::File, true},
        {"read-only file", Kind::ReadOnlyFile, true},
        {"folder", Kind::Folder, false},
        {"link to a file", Kind::LinkToAFile, false},
        {"link to a folder", Kind::LinkToAFolder, false},
        {"missing", Kind::Missing, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const fs::path outside = dir.path() / "outside";
        const fs::path program = dir.path() / "Game";
        fs::create_directories(outside / "folder");
        fs::create_directories(program);
        writeFile(outside / "Update.exe.victim", "victim");
        const fs::path target = program / "Update.exe";
        switch (c.kind) {
        case Kind::File:
        case Kind::ReadOnlyFile:
            writeFile(target, "old self-update program");
            if (c.kind == Kind::ReadOnlyFile)
                fs::permissions(target,
                                fs::perms::owner_write | fs::perms::group_write |
                                    fs::perms::others_write,
                                fs::perm_options::remove);
            break;
        case Kind::Folder:
            fs::create_directory(target);
            break;
        case Kind::LinkToAFile:
        case Kind::LinkToAFolder:
            if (!testsupport::PlantLink(c.kind == Kind::LinkToAFile ? outside / "Update.exe.victim"
                                                                    : outside / "folder",
                                        target, c.kind == Kind::LinkToAFolder))
                continue; // this system makes no links
            break;
        case Kind::Missing:
            break;
        }
        const std::set<std::string> before = listAll(dir.path());
        EXPECT_EQ(common::RemoveRegularFile(local(program) + "\\Update.exe"), c.removed);
        std::set<std::string> after = before;
        if (c.removed)
            after.erase("Game/Update.exe");
        EXPECT_EQ(listAll(dir.path()), after);
        EXPECT_EQ(readFile(outside / "Update.exe.victim"), "victim");
    }
}

#include "common/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

std::string local(const QString &path)
{
    return path.toStdString();
}

void writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    if (executable)
        ::chmod(path.toLocal8Bit().constData(), 0755);
}

// The started program runs on its own; wait (bounded) for the marker it leaves.
QByteArray waitForFile(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QFile f(path);
        if (f.exists() && f.open(QIODevice::ReadOnly)) {
            const QByteArray content = f.readAll();
            if (content.endsWith('\n'))
                return content;
        }
        QThread::msleep(10);
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
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + "/game.dat", "x");
    writeFile(root + "/.hidden", "x");
    QDir(root).mkdir("Maps");

    EXPECT_TRUE(common::FileExists(local(root + "/game.dat")));
    EXPECT_TRUE(common::FileExists(local(root) + "\\game.dat")); // "\" is a separator here
    EXPECT_FALSE(common::FileExists(local(root + "/.hidden")));
    EXPECT_FALSE(common::FileExists(local(root + "/Maps")));
    EXPECT_FALSE(common::FileExists(local(root + "/missing")));
    EXPECT_FALSE(common::FileExists(""));

    EXPECT_TRUE(common::FolderExists(local(root + "/Maps")));
    EXPECT_TRUE(common::FolderExists(local(root) + "\\Maps\\"));
    EXPECT_TRUE(common::FolderExists(local(root + "/game.dat")));
    EXPECT_FALSE(common::FolderExists(local(root + "/Town")));

    EXPECT_EQ(common::LocalPath("a\\b\\c.txt"), "a/b/c.txt");
}

TEST(Platform, ProgramsWithoutSuffixAreFoundUnderTheirBareName)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + "/Registry", "#!/bin/sh\n", true);
    writeFile(root + "/tlm.exe", "MZ", false);

    EXPECT_EQ(common::ResolveProgram(local(root) + "\\Registry.exe"), local(root + "/Registry"));
    EXPECT_EQ(common::ResolveProgram(local(root + "/tlm.exe")), local(root + "/tlm.exe"));
    EXPECT_EQ(common::ResolveProgram(local(root + "/Talmora.exe")), "");

    EXPECT_TRUE(common::IsNativeExecutable(local(root + "/Registry")));
    EXPECT_FALSE(common::IsNativeExecutable(local(root + "/tlm.exe")));
    EXPECT_TRUE(common::IsNativeExecutable(QCoreApplication::applicationFilePath().toStdString()));
}

TEST(Platform, StartsDetachedInItsFolderWithArguments)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + "/tlm.exe", "#!/bin/sh\necho \"$(pwd) $1 $2 $3\" > marker.txt\n", true);

    common::PlatformShell shell;
    const auto result = shell.open("Open", "tlm.exe", "10.0.0.5 2601 My+Town", local(root), 1);
    EXPECT_EQ(result, common::ShellResult::Started);
    const QString canonical = QDir(root).canonicalPath();
    EXPECT_EQ(waitForFile(root + "/marker.txt"), (canonical + " 10.0.0.5 2601 My+Town\n").toUtf8());

    EXPECT_FALSE(common::StartDetached(local(root + "/missing"), {}, local(root)));
    EXPECT_FALSE(common::StartDetached(local(root + "/tlm.exe"), {}, local(root + "/nofolder")));
}

TEST(Platform, ShellReportsWhatCannotBeOpened)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + "/server.exe", "MZ not a native program");
    common::PlatformShell shell;

    EXPECT_EQ(shell.open("Open", "absent.exe", "", local(root), 1), common::ShellResult::Failed);
    // Neither wine nor a desktop opener on the search path: nothing can open it.
    PathGuard path(local(root + "/empty-bin"));
    EXPECT_EQ(shell.open("Open", "server.exe", "", local(root), 1),
              common::ShellResult::NoApplication);
}

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

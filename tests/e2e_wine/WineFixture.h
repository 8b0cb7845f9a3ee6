#pragma once

// What the end-to-end runs of the Windows programs share: the programs built for Windows run
// under wine, on the display of the environment (xvfb-run provides one), against the native
// reference servers on ephemeral ports of 127.0.0.1.

#include "tests/support/ReferenceServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace winetest {

using testsupport::WaitUntil;

// Every wait of these runs is capped by this; wine starts take seconds.
inline constexpr int kCapMs = 90000;

// The Windows programs (TALMORA_WINDOWS_BIN) and the native reference servers.
inline QString windowsBin()
{
    return qEnvironmentVariable("TALMORA_WINDOWS_BIN");
}
inline QString nativeBin()
{
    const QString fromEnvironment = qEnvironmentVariable("TALMORA_BIN_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(TALMORA_DEFAULT_BIN_DIR) : fromEnvironment;
}

inline void put(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

inline QByteArray get(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

// A Windows program copied into a folder of its own: the programs keep their files beside
// themselves.
inline QString install(const QString &program, const QString &folder)
{
    QDir().mkpath(folder);
    const QString target = folder + "/" + program;
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(windowsBin() + "/" + program, target)) << program.toStdString();
    return target;
}

// A reference server of the native build.
class Server : public testsupport::ReferenceServer
{
public:
    Server(const QString &program, QStringList arguments)
        : ReferenceServer(nativeBin(), program, std::move(arguments))
    {
    }
};

// Runs Windows programs under wine in the Windows build's prefix, quietly.
class WineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(windowsBin().isEmpty())
            << "set TALMORA_WINDOWS_BIN to the Windows build's bin";
        ASSERT_FALSE(qEnvironmentVariable("DISPLAY").isEmpty())
            << "run under a display (xvfb-run -a)";
        ASSERT_TRUE(dir.isValid());
    }

    QString path(const QString &relative) const { return dir.filePath(relative); }

    static QString wine()
    {
        const QString fromEnvironment = qEnvironmentVariable("TALMORA_WINE");
        return fromEnvironment.isEmpty() ? QStringLiteral("/usr/lib/wine/wine64") : fromEnvironment;
    }

    static QProcessEnvironment environment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString prefix = qEnvironmentVariable("WINEPREFIX");
        env.insert(QStringLiteral("WINEPREFIX"),
                   prefix.isEmpty() ? windowsBin() + QStringLiteral("/../wineprefix") : prefix);
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        return env;
    }

    // Starts `program` (a path of this system) under wine in `folder`.
    static void startWine(QProcess &process, const QString &program, const QStringList &arguments,
                          const QString &folder)
    {
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(wine(), QStringList{program} + arguments);
    }

    // Runs `program` under wine to its end; false when it did not end within the cap.
    static bool runWine(const QString &program, const QStringList &arguments, const QString &folder,
                        QByteArray *output = nullptr)
    {
        QProcess process;
        startWine(process, program, arguments, folder);
        const bool ended = process.waitForFinished(kCapMs);
        if (!ended)
            process.kill();
        process.waitForFinished(5000);
        if (output)
            *output = process.readAll();
        return ended && process.exitStatus() == QProcess::NormalExit;
    }

    QTemporaryDir dir;
};

} // namespace winetest

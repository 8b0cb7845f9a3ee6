// Word on the Linux desktop through the real adapter and a real session bus: a private
// dbus-daemon for this program alone, and on it a notification service of the test's own.
// A program of its own, since the session bus is chosen once per process, at first use.
#include "registry/qt/DesktopNotice.h"
#include "tests/support/ReferenceServer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Answers every call with notice number 1 and keeps it.
class NotificationService final : public QDBusVirtualObject
{
public:
    explicit NotificationService(QDBusConnection bus) : m_bus(std::move(bus)) {}
    std::vector<QDBusMessage> calls;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        calls.push_back(message);
        m_bus.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }

private:
    QDBusConnection m_bus;
};

TEST(DesktopNotice, ANotificationServiceOnTheSessionBusGetsTheWordInItsOwnCharacters)
{
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon is missing";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return daemon.canReadLine(); }))
        << "the bus gave no address";
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address),
                                                        QStringLiteral("notice-service"));
    ASSERT_TRUE(bus.isConnected());
    NotificationService service(bus);
    ASSERT_TRUE(
        bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QWidget window;
    registry::DesktopNotice notice(window);
    notice.notify("Zo\xEB's Keep is online (1 player)");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !service.calls.empty(); }))
        << "no notification reached the service";
    const QDBusMessage &call = service.calls.front();
    EXPECT_EQ(call.interface(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(call.member(), QStringLiteral("Notify"));
    const QList<QVariant> args = call.arguments();
    ASSERT_EQ(args.size(), 8);
    EXPECT_EQ(args[0].toString(), QStringLiteral("The Talmora Online Registry"));
    EXPECT_EQ(args[3].toString(), QStringLiteral("The Talmora Online Registry"));
    EXPECT_EQ(args[4].toString(), QString::fromUtf8("Zoë's Keep is online (1 player)"));
    EXPECT_EQ(args[7].toInt(), -1);

    QDBusConnection::disconnectFromBus(QStringLiteral("notice-service"));
    daemon.kill();
    daemon.waitForFinished();
}

// The word as a Linux desktop shows it, for the documentation: the top right of the screen
// with what the session's notification service (one that draws there, such as dunst) drew.
//   REGISTRY_NOTICE_SCREENSHOT=docs/registry-notice.png QT_QPA_PLATFORM=xcb xvfb-run -a
//       dbus-run-session sh -c 'dunst & build/bin/registry_notice_tests
//       --gtest_filter=*Picture*'
TEST(DesktopNotice, Picture)
{
    const QString path = qEnvironmentVariable("REGISTRY_NOTICE_SCREENSHOT");
    if (path.isEmpty())
        GTEST_SKIP() << "set REGISTRY_NOTICE_SCREENSHOT to a file name to take the picture";
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen->geometry();
    const auto corner = [&] { return screen->grabWindow(0, area.right() - 420, 0, 420, 120); };
    const QImage before = corner().toImage();
    QWidget window;
    registry::DesktopNotice notice(window);
    notice.notify("Eastmarch is online (12 players)");
    // The service draws in a process of its own: wait until the corner changed and settled.
    QPixmap picture;
    QImage last = before;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        picture = corner();
        const QImage now = picture.toImage();
        const bool settled = now != before && now == last;
        last = now;
        return settled;
    })) << "nothing was drawn: is a notification service running on the session bus?";
    ASSERT_TRUE(picture.save(path, "PNG"));
}

} // namespace

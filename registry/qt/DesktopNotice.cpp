#include "registry/qt/DesktopNotice.h"

#include "common/qt/Text1252.h"
#include "registry/net/RegistryView.h"

#include <QApplication>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

#ifdef TALMORA_QT_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>
#endif

namespace registry {

namespace {

constexpr const char *kNoticeService = "org.freedesktop.Notifications";

} // namespace

void DesktopNotice::notify(common::ByteView text)
{
    const QString shown = common::FromWindows1252(text);
    if (!notifyOverBus(shown))
        notifyFromTray(shown);
    if (!m_window.isActiveWindow())
        QApplication::alert(&m_window);
}

bool DesktopNotice::notifyOverBus(const QString &text)
{
#ifdef TALMORA_QT_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QLatin1String(kNoticeService)))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kNoticeService), QStringLiteral("/org/freedesktop/Notifications"),
        QLatin1String(kNoticeService), QStringLiteral("Notify"));
    const QString title = QLatin1String(kProgramTitle);
    // Application, no notice replaced, no icon, summary, body, no actions, no hints, the
    // server's own time on screen. The answer is not waited for.
    call << title << 0u << QString() << title << text << QStringList() << QVariantMap() << -1;
    return bus.send(call);
#else
    (void)text;
    return false;
#endif
}

void DesktopNotice::notifyFromTray(const QString &text)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        // A tray entry needs an icon: the window's, or the style's own for information.
        QIcon icon = m_window.windowIcon();
        if (icon.isNull())
            icon = m_window.style()->standardIcon(QStyle::SP_MessageBoxInformation);
        m_tray = new QSystemTrayIcon(icon, &m_window);
        m_tray->setToolTip(QLatin1String(kProgramTitle));
        m_tray->show();
    }
    m_tray->showMessage(QLatin1String(kProgramTitle), text);
}

} // namespace registry

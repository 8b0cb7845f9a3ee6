#pragma once

#include "registry/app/DesktopNotifier.h"

#include <QPointer>

class QSystemTrayIcon;
class QWidget;

namespace registry {

// Word on the Linux desktop: a freedesktop notification over the session bus where one is
// served, otherwise a tray icon's message; and the window's taskbar entry asks for attention
// while the window is not in front.
class DesktopNotice final : public DesktopNotifier
{
public:
    explicit DesktopNotice(QWidget &window) : m_window(window) {}

    void notify(common::ByteView text) override;

private:
    bool notifyOverBus(const QString &text);
    void notifyFromTray(const QString &text);

    QWidget &m_window;
    QPointer<QSystemTrayIcon> m_tray; // made on first use, a child of the window
};

} // namespace registry

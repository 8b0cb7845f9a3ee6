#pragma once

#include "common/Clock.h"
#include "common/Codec.h"
#include "common/IniStore.h"
#include "common/Platform.h"
#include "common/qt/QtColour.h"
#include "common/qt/Text1252.h"
#include "registry/app/IniAccountSettings.h"
#include "registry/app/RegistryWiring.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowView.h"
#include "registry/net/AdministratorLock.h"
#include "registry/net/RegistryClient.h"
#include "registry/qt/FrmMain.h"
#include "registry/qt/LabelButton.h"
#include "registry/support/Settings.h"
#include "tests/support/FakeTransport.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace regui_test {

using common::Bytes;

// Records what the window would start.
class RecordingShell final : public common::Shell
{
public:
    struct Call
    {
        std::string file, parameters, directory;
        int show;
    };
    common::ShellResult result = common::ShellResult::Started;
    std::vector<Call> opens;
    std::vector<std::string> openWiths;

    common::ShellResult open(common::ByteView, common::ByteView file, common::ByteView parameters,
                             common::ByteView directory, int show) override
    {
        opens.push_back({std::string(file), std::string(parameters), std::string(directory), show});
        return result;
    }
    void openWith(common::ByteView file, common::ByteView) override
    {
        openWiths.emplace_back(file);
    }
};

inline Bytes inbound(std::initializer_list<int> head, const Bytes &rest = {})
{
    return *common::BuildPacket(common::byteString(head) + rest, common::PacketKind::Plain);
}

// The bodies of the packets the client sent (length word, check character, body).
inline std::vector<Bytes> bodies(const Bytes &sent)
{
    std::vector<Bytes> out;
    std::size_t pos = 0;
    while (pos + 3 <= sent.size()) {
        const std::size_t length = common::DecodeLength(std::string_view(sent).substr(pos, 2));
        out.push_back(sent.substr(pos + 3, length));
        pos += 3 + length;
    }
    return out;
}

// The real main window, application layer and core, wired as the program wires them, on fake
// transports and a manual clock. Modal messages and the end of the program are recorded
// instead of shown or carried out.
class WindowFixture : public ::testing::Test
{
protected:
    void writeIni(const std::string &content)
    {
        std::ofstream out(folder() + "/registry.ini", std::ios::binary);
        out << content;
    }

    std::string folder() const { return m_dir.path().toStdString(); }

    void create()
    {
        m_window = std::make_unique<registry::FrmMain>(folder());
        m_window->setMessagePresenter([this](const QString &text) {
            m_messages.push_back(text.toStdString());
            if (onMessage)
                onMessage(text);
        });
        m_settings = std::make_unique<registry::IniAccountSettings>(folder());
        m_wiring = std::make_unique<registry::RegistryWiring>(
            m_window->surface(), m_window->notifier(), folder(),
            registry::ServerAddress{"127.0.0.1", 2600},
            registry::RegistryWiring::Ports{m_clock, m_main,
                                            m_probeOverride ? *m_probeOverride : m_probe, m_shell,
                                            m_localClock, [this] { return m_machineId; },
                                            m_settings.get(), folder() + "/registry.ini"});
        m_view = &m_wiring->view();
        m_view->setQuitHandler([this] { ++m_quits; });
        m_serverList = &m_wiring->serverList();
        m_chatShowing = &m_wiring->chatShowing();
        m_controller = &m_wiring->controller();
        m_core = &m_controller->core();
        m_window->attach(*m_controller);
        m_controller->start();
    }

    // The controller and its core go before the window they drive.
    void destroy()
    {
        m_core = nullptr;
        m_controller = nullptr;
        m_view = nullptr;
        m_serverList = nullptr;
        m_chatShowing = nullptr;
        m_wiring.reset();
        m_window.reset();
    }

    // The chat log, lines still waiting for the event loop included.
    Bytes chatLog() const
    {
        m_view->flushChat();
        return m_window->chatLogText();
    }

    void connect()
    {
        m_clock.advance(500);
        m_core->onTimer();
        m_main.acceptConnection();
        m_main.clearSent();
    }

    void deliver(const Bytes &packet) { m_main.deliver(packet); }

    void logIn(const std::string &name, int ownServer = 0)
    {
        deliver(inbound({5, 2, ownServer}, name));
    }

    std::vector<Bytes> sent() const { return bodies(m_main.sentBytes()); }

    template <typename T> T *w(const char *name) const
    {
        T *widget = m_window->findChild<T *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit *box(const char *name) const { return w<QLineEdit>(name); }
    registry::LabelButton *button(const char *name) const { return w<registry::LabelButton>(name); }
    QAction *action(const char *name) const { return w<QAction>(name); }
    bool panelVisible(int index) const
    {
        return !w<QFrame>(QStringLiteral("picBox%1").arg(index).toLatin1().constData())->isHidden();
    }
    std::string text(const char *labelName) const
    {
        return w<QLabel>(labelName)->text().toStdString();
    }

    // Press and release the label with the left button, as a user would.
    static void release(QWidget *label, Qt::MouseButton buttonUsed = Qt::LeftButton,
                        QPoint releaseAt = QPoint(2, 2))
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2),
                          label->mapToGlobal(QPointF(2, 2)), buttonUsed, buttonUsed,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(label, &press);
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(releaseAt),
                       label->mapToGlobal(QPointF(releaseAt)), buttonUsed, Qt::NoButton,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(label, &up);
    }

    static void type(QWidget *target, const QString &text) { QTest::keyClicks(target, text); }
    // Replaces the box's text the way typing does (the length limit and the change apply).
    static void setText(QLineEdit *target, const QString &text)
    {
        target->clear();
        target->insert(text);
    }
    static void enter(QWidget *target) { QTest::keyClick(target, Qt::Key_Return); }

    Bytes iniValue(const char *key) const
    {
        return common::ReadIniString(folder() + "/registry.ini", "Account", key);
    }

    QTemporaryDir m_dir;
    common::ManualClock m_clock{1000};
    registry::ManualLocalClock m_localClock;
    testsupport::FakeTransport m_main;
    testsupport::FakeTransport m_probe;
    common::Transport *m_probeOverride = nullptr; // a real socket where a test needs one
    RecordingShell m_shell;
    Bytes m_machineId = "12345";
    std::vector<std::string> m_messages;
    std::function<void(const QString &)> onMessage;
    int m_quits = 0;
    // The window outlives the core that drives it.
    std::unique_ptr<registry::FrmMain> m_window;
    std::unique_ptr<registry::IniAccountSettings> m_settings;
    std::unique_ptr<registry::RegistryWiring> m_wiring;
    // The wiring's parts.
    registry::WindowView *m_view = nullptr;
    registry::ServerListShown *m_serverList = nullptr;
    registry::ChatLineShowing *m_chatShowing = nullptr;
    registry::WindowController *m_controller = nullptr;
    registry::RegistryClient *m_core = nullptr;
};

} // namespace regui_test

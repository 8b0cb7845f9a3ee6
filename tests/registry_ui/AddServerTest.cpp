#include "WindowFixture.h"

#include "common/qt/QtTransport.h"

#include <QTcpServer>

using namespace regui_test;

namespace {

class RegistryAddServerTest : public WindowFixture
{
protected:
    void SetUp() override { start(); }
    void start()
    {
        create();
        connect();
        logIn("Brannoc", 0);
        deliver(inbound({1, 2, 1, 3}, Bytes("Old Keep") + '\0' + "Ostrik" + '\0' + "127.0.0.8"));
        m_main.clearSent();
        action("mnuServerAddNew")->trigger();
        m_add = button("lblButton10");
    }
    void fill(const QString &name, const QString &address, const QString &port)
    {
        setText(box("txtNewServer"), name);
        setText(box("txtNewIP"), address);
        setText(box("txtNewPort"), port);
    }

    registry::LabelButton *m_add = nullptr;
};

} // namespace

TEST_F(RegistryAddServerTest, AddServerEnablesOnlyWithAllThreeBoxes)
{
    EXPECT_TRUE(panelVisible(4));
    EXPECT_FALSE(m_add->isEnabled());
    type(box("txtNewServer"), QStringLiteral("New Keep"));
    type(box("txtNewPort"), QStringLiteral("5750"));
    EXPECT_FALSE(m_add->isEnabled());
    // The address from the registry server counts as a change of the box.
    release(button("lblButton12"));
    EXPECT_EQ(sent(), std::vector<Bytes>{common::byteString({1})});
    deliver(inbound({3}, "127.0.0.5"));
    EXPECT_EQ(box("txtNewIP")->text(), QStringLiteral("127.0.0.5"));
    EXPECT_TRUE(m_add->isEnabled());
    box("txtNewPort")->clear();
    EXPECT_FALSE(m_add->isEnabled());
    type(box("txtNewPort"), QStringLiteral("1"));
    EXPECT_TRUE(m_add->isEnabled());
    box("txtNewServer")->clear();
    EXPECT_FALSE(m_add->isEnabled());

    // "Use my IP" with the other boxes empty still leaves the button disabled.
    box("txtNewPort")->clear();
    deliver(inbound({3}, "127.0.0.6"));
    EXPECT_FALSE(m_add->isEnabled());
}

// Typing while the probe runs does not bring "Add Server" back before the probe is over.
TEST_F(RegistryAddServerTest, AddServerStaysDisabledWhileTheProbeRuns)
{
    m_machineId = registry::kAdministratorId;
    fill(QStringLiteral("New Keep"), QStringLiteral("1.2.3.4"), QStringLiteral("5750"));
    release(m_add);
    ASSERT_TRUE(m_core->probePending());
    for (const char *name : {"txtNewServer", "txtNewIP", "txtNewPort"}) {
        type(box(name), QStringLiteral("1"));
        EXPECT_FALSE(m_add->isEnabled()) << name;
        EXPECT_EQ(m_add->text(), QStringLiteral("Checking..."));
    }
    deliver(inbound({3}, "127.0.0.5"));
    EXPECT_FALSE(m_add->isEnabled());
    m_probe.acceptConnection();
    EXPECT_TRUE(m_add->isEnabled());
}

TEST_F(RegistryAddServerTest, TheLockRefusesEveryOtherIdentifier)
{
    fill(QStringLiteral("New Keep"), QStringLiteral("127.0.0.5"), QStringLiteral("5750"));
    for (const char *id : {"12345", "0604219587", "604219587 ", "-1", ""}) {
        m_messages.clear();
        m_machineId = id;
        release(m_add);
        EXPECT_EQ(m_messages, std::vector<std::string>{"Adding new servers has been restricted to "
                                                       "Administrators only due to maintenance!"})
            << id;
        EXPECT_TRUE(m_probe.attempts().empty());
        EXPECT_TRUE(m_main.sends().empty());
        EXPECT_TRUE(panelVisible(4));
        EXPECT_TRUE(m_add->isEnabled());
    }
}

TEST_F(RegistryAddServerTest, SubmissionChecksInOrderAfterTheProbe)
{
    m_machineId = registry::kAdministratorId;
    const struct
    {
        const char *name;
        const char *address;
        const char *port;
        const char *message; // nullptr: sent with `sentPort`
        std::int32_t sentPort;
    } cases[] = {
        {"ab", "1.2.3.4", "5750", "Error: Server Name must be at least 3 characters long!", 0},
        {"abc", "1.2.3.", "5750", "Error: Invalid IP address!", 0},
        {"ab", "1.2.3.", "5750", "Error: Server Name must be at least 3 characters long!", 0},
        {"Old Keep", "1.2.3.4", "5750", "This server already exists", 0},
        {"old keep", "1.2.3.4", "5750", nullptr, 5750},
        {"New Keep", "1.2.3.4", "0", nullptr, 5750},
        {"New Keep", "1.2.3.4", "abc", nullptr, 5750},
        {"New Keep", "1.2.3.4", "2600.5", nullptr, 2600},
        {"New Keep", "1.2.3.4", "2601.5", nullptr, 2602},
        {"New Keep", "host.example", "7000x", nullptr, 7000},
    };
    for (const auto &c : cases) {
        m_messages.clear();
        m_main.clearSent();
        action("mnuServerAddNew")->trigger();
        fill(QLatin1String(c.name), QLatin1String(c.address), QLatin1String(c.port));
        release(m_add);
        ASSERT_TRUE(m_core->probePending()) << c.name;
        EXPECT_FALSE(m_add->isEnabled());
        EXPECT_EQ(m_add->text(), QStringLiteral("Checking..."));
        m_probe.acceptConnection();
        EXPECT_FALSE(m_core->probePending());
        EXPECT_FALSE(panelVisible(4));
        EXPECT_TRUE(m_add->isEnabled());
        EXPECT_EQ(m_add->text(), QStringLiteral("Add Server"));
        if (c.message) {
            EXPECT_EQ(m_messages, std::vector<std::string>{c.message}) << c.name << c.port;
            EXPECT_TRUE(m_main.sends().empty());
        } else {
            EXPECT_TRUE(m_messages.empty()) << c.name << c.port;
            EXPECT_EQ(sent(), std::vector<Bytes>{common::byteString({6, 0}) +
                                                 common::EncodeLong(c.sentPort) + c.name + '\0' +
                                                 c.address})
                << c.port;
        }
    }
    // The probe went to the typed address and the port read the same way (0 -> 5750).
    EXPECT_EQ(m_probe.attempts()[5].host, "1.2.3.4");
    EXPECT_EQ(m_probe.attempts()[5].port, 5750);
    EXPECT_EQ(m_probe.attempts()[8].port, 2602);
}

TEST_F(RegistryAddServerTest, PortsNoTcpServerCanUseAreRefusedBeforeAnyProbe)
{
    m_machineId = registry::kAdministratorId;
    for (const char *port : {"-1", "65536", "99999999999"}) {
        m_messages.clear();
        fill(QStringLiteral("New Keep"), QStringLiteral("1.2.3.4"), QLatin1String(port));
        release(m_add);
        EXPECT_EQ(m_messages, std::vector<std::string>{"Error: Invalid port!"}) << port;
        EXPECT_FALSE(m_core->probePending());
        EXPECT_TRUE(m_probe.attempts().empty());
        EXPECT_TRUE(m_add->isEnabled());
    }
}

TEST_F(RegistryAddServerTest, ServerCreatedSwapsTheServerMenus)
{
    deliver(inbound({5, 5, 1}));
    EXPECT_EQ(m_messages, std::vector<std::string>{"Your Server has been created succesfully!"});
    EXPECT_TRUE(action("mnuServerSettings")->isEnabled());
    EXPECT_FALSE(action("mnuServerAddNew")->isEnabled());
}

namespace {

// The probe on a real socket.
class RegistryProbeTest : public RegistryAddServerTest
{
protected:
    void SetUp() override
    {
        m_probeOverride = &m_realProbe;
        start();
        m_machineId = registry::kAdministratorId;
    }
    void TearDown() override
    {
        // The core lets go of the socket before the socket goes.
        destroy();
    }
    common::QtTransport m_realProbe;
};

} // namespace

TEST_F(RegistryProbeTest, SucceedsAgainstALoopbackListener)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    fill(QStringLiteral("New Keep"), QStringLiteral("127.0.0.1"),
         QString::number(listener.serverPort()));
    release(m_add);
    EXPECT_TRUE(m_core->probePending());
    EXPECT_FALSE(m_add->isEnabled());
    EXPECT_EQ(m_add->text(), QStringLiteral("Checking..."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_core->probePending(); }, 5000));
    EXPECT_TRUE(m_add->isEnabled());
    EXPECT_EQ(m_add->text(), QStringLiteral("Add Server"));
    EXPECT_FALSE(panelVisible(4));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(sent(), std::vector<Bytes>{common::byteString({6, 0}) +
                                         common::EncodeLong(listener.serverPort()) + "New Keep" +
                                         '\0' + "127.0.0.1"});
}

TEST_F(RegistryProbeTest, TimesOutAgainstAClosedPort)
{
    quint16 closedPort = 0;
    {
        QTcpServer listener;
        ASSERT_TRUE(listener.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        closedPort = listener.serverPort();
    }
    fill(QStringLiteral("New Keep"), QStringLiteral("127.0.0.1"), QString::number(closedPort));
    release(m_add);
    ASSERT_TRUE(m_core->probePending());
    // Let the refused attempt come back: it changes nothing.
    QTest::qWait(50);
    EXPECT_TRUE(m_core->probePending());
    EXPECT_EQ(m_add->text(), QStringLiteral("Checking..."));
    m_clock.advance(4999);
    m_core->onTimer();
    EXPECT_TRUE(m_core->probePending());
    EXPECT_TRUE(m_messages.empty());
    m_clock.advance(1);
    onMessage = [&](const QString &) {
        // While the message is open the button is still waiting.
        EXPECT_FALSE(m_add->isEnabled());
    };
    m_core->onTimer();
    EXPECT_EQ(m_messages,
              std::vector<std::string>{"Error: The server you are trying to add must be online!"});
    EXPECT_FALSE(m_core->probePending());
    EXPECT_TRUE(m_add->isEnabled());
    EXPECT_EQ(m_add->text(), QStringLiteral("Add Server"));
    EXPECT_TRUE(panelVisible(4)); // the panel stays open with its texts
    EXPECT_EQ(box("txtNewServer")->text(), QStringLiteral("New Keep"));
    // Only the keep-alive went out in those five seconds.
    for (const Bytes &body : sent())
        EXPECT_EQ(body, common::byteString({2}));
}

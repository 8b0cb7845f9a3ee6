#include "WindowFixture.h"

#include "common/qt/QtTransport.h"

#include "tests/support/ScriptedPeer.h"
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

using namespace regui_test;

namespace {

class RegistryAccountsTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        create();
        connect();
    }

    void fillNewAccount(const QString &user, const QString &pass, const QString &retyped)
    {
        action("mnuAccount0")->trigger();
        setText(box("txtUser0"), user);
        setText(box("txtPass0"), pass);
        setText(box("txtPass2"), retyped);
    }
    void fillLogin(const QString &user, const QString &pass)
    {
        action("mnuAccount1")->trigger();
        setText(box("txtUser1"), user);
        setText(box("txtPass1"), pass);
    }
};

struct Case
{
    const char *user;
    const char *pass;
    const char *retyped;
    const char *message; // nullptr: the request is sent
    std::string body;
};

} // namespace

TEST_F(RegistryAccountsTest, CreateAccountChecksInOrderAndAlwaysStoresTheUserName)
{
    const Case cases[] = {
        {" ab ", "secret", "secret", "Error: Username must be atleast 3 characters long!", {}},
        {"abc", "  x ", "x", "Error: Password must be atleast 3 characters long!", {}},
        // Both length checks come before the letter check.
        {"1ab", "xy", "xy", "Error: Password must be atleast 3 characters long!", {}},
        {"1ab", "xyz", "xyz", "Error: Username must start with a letter!", {}},
        {"\xE9"
         "ab",
         "xyz",
         "xyz",
         "Error: Username must start with a letter!",
         {}},
        {"abc", "xyz", "xya", "Error: Your two passwords do not match, please re-enter!", {}},
        {" Brannoc ", " SeCret ", "sEcREt", nullptr,
         common::byteString({3, 0}) + "Brannoc" + '\0' + "SeCret"},
    };
    for (const Case &c : cases) {
        m_messages.clear();
        m_main.clearSent();
        fillNewAccount(QString::fromLatin1(c.user), QString::fromLatin1(c.pass),
                       QString::fromLatin1(c.retyped));
        ASSERT_TRUE(button("lblButton1")->isEnabled()) << c.user;
        release(button("lblButton1"));
        if (c.message) {
            EXPECT_EQ(m_messages, std::vector<std::string>{c.message}) << c.user;
            EXPECT_TRUE(m_main.sends().empty()) << c.user;
        } else {
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(sent(), std::vector<Bytes>{c.body});
        }
        EXPECT_EQ(iniValue("User"), c.user) << "stored as typed, whatever the checks said";
    }
}

TEST_F(RegistryAccountsTest, LoginChecksInOrderAndAlwaysStoresTheUserName)
{
    const Case cases[] = {
        {" ab ", "secret", "", "Error: Username must be at least 3 characters long!", {}},
        {"abc", "x", "", "Error: Password must be at least 3 characters long!", {}},
        {"9ab", "xy", "", "Error: Password must be at least 3 characters long!", {}},
        {"9ab", "xyz", "", "Error: Username must start with a letter!", {}},
        {" Brannoc", "secret ", "", nullptr,
         common::byteString({3, 1}) + "Brannoc" + '\0' + "secret"},
    };
    for (const Case &c : cases) {
        m_messages.clear();
        m_main.clearSent();
        fillLogin(QString::fromLatin1(c.user), QString::fromLatin1(c.pass));
        release(button("lblButton2"));
        if (c.message) {
            EXPECT_EQ(m_messages, std::vector<std::string>{c.message}) << c.user;
            EXPECT_TRUE(m_main.sends().empty());
        } else {
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(sent(), std::vector<Bytes>{c.body});
        }
        EXPECT_EQ(iniValue("User"), c.user);
        EXPECT_EQ(iniValue("Password"), "") << "not stored without automatic login";
    }
}

TEST_F(RegistryAccountsTest, LoginWithAutomaticLoginStoresTheScrambledPasswordFirst)
{
    fillLogin(QStringLiteral("Brannoc"), QStringLiteral("'abcde"));
    w<QCheckBox>("chkAutoLogin")->click();
    EXPECT_EQ(iniValue("AutoLogin"), "1");
    setText(box("txtUser1"), QStringLiteral("x")); // refused locally
    release(button("lblButton2"));
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(registry::RegistrySettings(folder()).password(), "'abcde");
    EXPECT_EQ(iniValue("Password"), registry::ScramblePassword("'abcde"));

    // Unticking writes only AutoLogin.
    w<QCheckBox>("chkAutoLogin")->click();
    EXPECT_EQ(iniValue("AutoLogin"), "0");
    EXPECT_EQ(registry::RegistrySettings(folder()).password(), "'abcde");
}

TEST_F(RegistryAccountsTest, PasswordBoxesEnableTheirButtons)
{
    action("mnuAccount0")->trigger();
    auto *retype = box("txtPass2");
    auto *create = button("lblButton1");
    setText(box("txtUser0"), QStringLiteral("Brannoc"));
    EXPECT_FALSE(create->isEnabled()); // user name boxes enable nothing
    type(box("txtPass0"), QStringLiteral("abc"));
    EXPECT_TRUE(retype->isEnabled());
    EXPECT_TRUE(w<QLabel>("lblRetype")->isEnabled());
    type(retype, QStringLiteral("a"));
    EXPECT_TRUE(create->isEnabled());
    // Clearing the first password disables the re-type box and its caption, not the button.
    box("txtPass0")->clear();
    EXPECT_FALSE(retype->isEnabled());
    EXPECT_FALSE(w<QLabel>("lblRetype")->isEnabled());
    EXPECT_EQ(retype->text(), QStringLiteral("a"));
    EXPECT_TRUE(create->isEnabled());
    retype->clear();
    EXPECT_FALSE(create->isEnabled());
    // With the user name missing, the re-type box keeps the button as it is.
    box("txtUser0")->clear();
    type(box("txtPass0"), QStringLiteral("abc"));
    type(retype, QStringLiteral("abc"));
    EXPECT_FALSE(create->isEnabled());

    auto *login = button("lblButton2");
    type(box("txtPass1"), QStringLiteral("x"));
    EXPECT_TRUE(login->isEnabled());
    box("txtPass1")->clear();
    EXPECT_FALSE(login->isEnabled());
}

TEST_F(RegistryAccountsTest, EnterInThePasswordBoxes)
{
    // Login password: the login action runs even while "Login" is disabled.
    action("mnuAccount1")->trigger();
    ASSERT_FALSE(button("lblButton2")->isEnabled());
    // Releases sent while the key is held down do not count.
    QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(box("txtPass1"), &repeated);
    EXPECT_TRUE(m_messages.empty());
    enter(box("txtPass1"));
    EXPECT_EQ(m_messages,
              std::vector<std::string>{"Error: Username must be at least 3 characters long!"});
    m_messages.clear();
    fillLogin(QStringLiteral("Brannoc"), QStringLiteral("secret"));
    enter(box("txtPass1"));
    EXPECT_EQ(sent(), std::vector<Bytes>{common::byteString({3, 1}) + "Brannoc" + '\0' + "secret"});

    // First new-account password: nothing at all.
    m_main.clearSent();
    fillNewAccount(QStringLiteral("Ostrik"), QStringLiteral("pass"), QString());
    enter(box("txtPass0"));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_main.sends().empty());
    EXPECT_EQ(iniValue("User"), "Brannoc");

    // Re-typed password: the create action.
    setText(box("txtPass2"), QStringLiteral("PASS"));
    enter(box("txtPass2"));
    EXPECT_EQ(sent(), std::vector<Bytes>{common::byteString({3, 0}) + "Ostrik" + '\0' + "pass"});
    EXPECT_EQ(iniValue("User"), "Ostrik");
}

TEST_F(RegistryAccountsTest, ServerAnswersToAccountRequests)
{
    fillNewAccount(QStringLiteral("Ostrik"), QStringLiteral("pass"), QStringLiteral("pass"));
    deliver(inbound({5, 1}));
    EXPECT_EQ(m_messages, std::vector<std::string>{"Error: This account already exists!"});
    EXPECT_EQ(box("txtUser0")->text(), QString());
    EXPECT_EQ(box("txtPass0")->text(), QStringLiteral("pass"));
    m_messages.clear();
    deliver(inbound({5, 0}));
    EXPECT_EQ(m_messages, std::vector<std::string>{"Account has been created succesfully!"});
    EXPECT_FALSE(panelVisible(0));
    EXPECT_EQ(box("txtPass0")->text(), QString());
    EXPECT_EQ(box("txtPass2")->text(), QString());
}

// The whole path on a real socket: the stored credentials go out once the registry server
// has accepted the client's version.
TEST(RegistryAutomaticLoginTest, LoginIsSentAfterVersionAccepted)
{
    QTemporaryDir dir;
    {
        std::ofstream out(dir.path().toStdString() + "/registry.ini", std::ios::binary);
        out << "[Account]\r\nUser=Brannoc\r\nAutoLogin=1\r\nPassword="
            << registry::IniValueFor(registry::ScramblePassword(" s3cret")) << "\r\n";
    }
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    common::ManualClock clock(0);
    common::QtTransport mainTransport;
    testsupport::FakeTransport probe;
    RecordingShell shell;
    std::vector<std::string> messages;
    const std::string folder = dir.path().toStdString();
    registry::FrmMain window(folder);
    window.setMessagePresenter([&](const QString &m) { messages.push_back(m.toStdString()); });
    registry::WindowView view(window.surface());
    registry::IniAccountSettings settings(folder);
    registry::WindowController controller({clock, mainTransport, probe, view,
                                           [] { return Bytes("77"); }, peer.host().toStdString(),
                                           peer.port(), &settings},
                                          window.surface(), shell, registry::FoldersBeside(folder));
    registry::RegistryClient &core = controller.core();
    window.attach(controller);
    controller.start();
    clock.advance(500);
    core.onTimer();
    ASSERT_TRUE(peer.waitForConnection());
    ASSERT_TRUE(peer.waitUntil([&] { return core.connected(); }));
    const QByteArray greeting = QByteArray("\x00R0.7\x00"
                                           "77",
                                           8);
    ASSERT_TRUE(peer.waitForBytes(3 + greeting.size()));
    EXPECT_EQ(peer.received().mid(3), greeting);
    peer.clearReceived();

    peer.send(QByteArray::fromStdString(inbound({0, 0, 1})));
    const Bytes login = common::byteString({3, 1}) + "Brannoc" + '\0' + "s3cret";
    ASSERT_TRUE(peer.waitForBytes(static_cast<int>(3 + login.size())));
    EXPECT_EQ(bodies(peer.received().toStdString()), std::vector<Bytes>{login});
    EXPECT_TRUE(messages.empty());

    // The server accepts; the window shows the account.
    peer.send(QByteArray::fromStdString(inbound({5, 2, 0}, "Brannoc")));
    ASSERT_TRUE(peer.waitUntil([&] { return core.loggedIn(); }));
    EXPECT_EQ(window.findChild<QLabel *>(QStringLiteral("lblAccount"))->text(),
              QStringLiteral("Logged in (Brannoc)"));
    mainTransport.close();
}

TEST_F(RegistryAccountsTest, VersionAcceptedWithoutAutomaticLoginSendsNothing)
{
    fillLogin(QStringLiteral("Brannoc"), QStringLiteral("secret"));
    deliver(inbound({0, 0, 1}));
    EXPECT_TRUE(m_main.sends().empty());
    w<QCheckBox>("chkAutoLogin")->click();
    setText(box("txtUser1"), QStringLiteral("ab"));
    deliver(inbound({0, 0, 1}));
    EXPECT_EQ(m_messages,
              std::vector<std::string>{"Error: Username must be at least 3 characters long!"});
    EXPECT_EQ(iniValue("User"), "") << "the automatic path writes no settings";
}

// The Enter that closes a message is released in the password box: that release must not
// log in again (which would open the same message again, without end).
TEST_F(RegistryAccountsTest, TheEnterThatClosesAMessageDoesNotActAgain)
{
    action("mnuAccount1")->trigger();
    QLineEdit *pass = box("txtPass1");
    int shown = 0;
    onMessage = [&](const QString &text) {
        if (++shown > 1)
            return; // a second message is a failure; do not loop
        QMessageBox message(QMessageBox::NoIcon, QStringLiteral("t"), text, QMessageBox::Ok,
                            m_window.get());
        QTimer::singleShot(0, &message, [&message] { QTest::keyPress(&message, Qt::Key_Return); });
        message.exec();
    };
    m_window->show();
    enter(pass);
    ASSERT_EQ(shown, 1);
    // The key comes up after the message is gone, in the box that has the focus again.
    QTest::keyRelease(pass, Qt::Key_Return);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(m_messages,
              std::vector<std::string>{"Error: Username must be at least 3 characters long!"});
    // A press and release in the box still acts.
    enter(pass);
    EXPECT_EQ(m_messages.size(), 2u);
}

// Markup from the server is shown as it is, never interpreted: a name that is an image
// tag would otherwise make the label read whatever file it names.
TEST_F(RegistryAccountsTest, ServerTextIsShownAsPlainText)
{
    const std::string markup = "<img src=\"/dev/zero\"><b>x</b>";
    logIn(markup);
    EXPECT_EQ(text("lblAccount"), "Logged in (" + markup + ")");
    // The address box gets only the characters an address can have.
    deliver(inbound({3}, markup));
    EXPECT_EQ(box("txtNewIP")->text().toStdString(), "imgsrcdevzerobxb");
    for (QLabel *label : m_window->findChildren<QLabel *>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}

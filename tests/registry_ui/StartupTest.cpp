#include "WindowFixture.h"

#include <QHeaderView>

using namespace regui_test;

namespace {

class RegistryStartupTest : public WindowFixture
{
};

QColor textColour(QWidget *widget)
{
    return widget->palette().color(QPalette::WindowText);
}

} // namespace

TEST_F(RegistryStartupTest, WithoutRegistryIniTheWindowStartsOfflineAndAsksForALogin)
{
    create();
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("The Talmora Online Registry"));
    EXPECT_EQ(chatLog(),
              "Welcome to The Talmora Online Registry!\r\nYou must login to use the chat feature.");
    EXPECT_EQ(box("txtUser1")->text(), QString());
    EXPECT_EQ(box("txtPass1")->text(), QString());
    EXPECT_EQ(w<QCheckBox>("chkAutoLogin")->checkState(), Qt::Unchecked);
    EXPECT_EQ(text("lblRegistry"), "Offline");
    EXPECT_EQ(textColour(w<QLabel>("lblRegistry")), QColor(255, 0, 0));
    EXPECT_EQ(text("lblServers"), "N/A");
    EXPECT_EQ(text("lblStatus"), "Connecting...");
    EXPECT_EQ(text("lblAccount"), "Logged Off");
    EXPECT_EQ(text("lblRegVer0"), "Registry Version: R0.7");
    // Nothing was written and no connection is opened by the window itself.
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("registry.ini"))));
    EXPECT_TRUE(m_main.attempts().empty());
    m_clock.advance(499);
    m_core->onTimer();
    EXPECT_TRUE(m_main.attempts().empty());
    m_clock.advance(1);
    m_core->onTimer();
    ASSERT_EQ(m_main.attempts().size(), 1u);
    EXPECT_EQ(m_main.attempts()[0].port, 2600);
}

TEST_F(RegistryStartupTest, ControlsStartAsDesigned)
{
    create();
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(panelVisible(i)) << i;
    for (const char *name :
         {"mnuAccount0", "mnuAccount1", "mnuAccount2", "mnuServerSettings", "mnuServerAddNew"})
        EXPECT_FALSE(action(name)->isEnabled()) << name;
    for (const char *name : {"mnuExit", "mnuServerRun", "mnuCredits", "mnuVersion"})
        EXPECT_TRUE(action(name)->isEnabled()) << name;
    for (const char *name : {"lblButton0", "lblButton1", "lblButton2", "lblButton7", "lblButton10"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    EXPECT_FALSE(w<QPlainTextEdit>("txtSend")->isEnabled());
    EXPECT_FALSE(box("txtPass2")->isEnabled());
    EXPECT_FALSE(w<QLabel>("lblRetype")->isEnabled());
    EXPECT_TRUE(w<QPlainTextEdit>("txtChat")->isReadOnly());

    const struct
    {
        const char *name;
        int maxLength;
    } limits[] = {{"txtUser0", 15},    {"txtUser1", 15},     {"txtPass0", 15},
                  {"txtPass1", 15},    {"txtPass2", 15},     {"txtNewServer", 40},
                  {"txtNewIP", 15},    {"txtNewPort", 15},   {"txtServerName", 40},
                  {"txtServerIP", 15}, {"txtServerPort", 15}};
    for (const auto &limit : limits)
        EXPECT_EQ(box(limit.name)->maxLength(), limit.maxLength) << limit.name;
    for (const char *name : {"txtPass0", "txtPass1", "txtPass2"})
        EXPECT_EQ(box(name)->echoMode(), QLineEdit::Password) << name;

    // The label-buttons in use, and no other index.
    for (int i = 0; i < 14; ++i) {
        const bool exists =
            i == 0 || i == 1 || i == 2 || i == 6 || i == 7 || i == 8 || i == 10 || i == 12;
        EXPECT_EQ(m_window->findChild<registry::LabelButton *>(
                      QStringLiteral("lblButton%1").arg(i)) != nullptr,
                  exists)
            << i;
    }
    auto *send = w<QPlainTextEdit>("txtSend");
    send->setEnabled(true);
    send->setPlainText(QString(1500, QLatin1Char('x')));
    EXPECT_EQ(send->toPlainText().size(), 1400);
}

TEST_F(RegistryStartupTest, ServerListHasFiveKeyedColumnsWithToolTipsAndAHiddenIndex)
{
    create();
    auto *list = w<QTreeWidget>("lstViewServers");
    ASSERT_EQ(list->columnCount(), 5);
    const char *captions[] = {"ServerIndex", "Status", "Server Name", "Players", "Administrator"};
    const char *keys[] = {"SERVERINDEX", "STATUS", "NAME", "PLAYERS", "ADMINISTRATOR"};
    const char *tips[] = {"The index of the server", "Indicates the server's online status",
                          "The server's name", "The number of players online",
                          "The server Administrator's name"};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), QLatin1String(captions[c]));
        EXPECT_EQ(list->headerItem()->data(c, Qt::UserRole + 1).toString(), QLatin1String(keys[c]));
        EXPECT_EQ(list->headerItem()->toolTip(c), QLatin1String(tips[c]));
    }
    EXPECT_TRUE(list->isColumnHidden(0));
    m_window->show();
    QCoreApplication::processEvents();
    EXPECT_GT(list->columnWidth(2), list->columnWidth(1));
    EXPECT_GT(list->columnWidth(4), list->columnWidth(3));
    EXPECT_EQ(list->header()->sectionPosition(1), 0) << "the index column takes no room";

    connect();
    deliver(inbound({1, 3, 1, 7}, Bytes("Riverside  ") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    deliver(inbound({1, 1, 0, 0}, Bytes("Old Keep") + '\0' + "Brannoc" + '\0' + "127.0.0.8"));
    deliver(inbound({1, 3, 2, 255}, Bytes("Riverside") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    QTreeWidgetItem *first = list->topLevelItem(0);
    EXPECT_EQ(first->text(0), QStringLiteral("Riverside")); // the hidden row text
    EXPECT_EQ(first->text(1), QStringLiteral("Offline"));
    EXPECT_EQ(first->text(2), QStringLiteral("Riverside"));
    EXPECT_EQ(first->text(3), QStringLiteral("255"));
    EXPECT_EQ(first->text(4), QStringLiteral("Ostrik"));
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("Offline"));
    EXPECT_EQ(text("lblServers"), "2");
    deliver(inbound({8}));
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(text("lblServers"), "0");
    EXPECT_TRUE(list->isColumnHidden(0)) << "emptying the list keeps the index column hidden";
}

TEST_F(RegistryStartupTest, AutomaticLoginFillsThePasswordAndSkipsTheHint)
{
    writeIni("[Account]\r\nUser=Brannoc\r\nAutoLogin=1\r\nPassword=" +
             registry::ScramblePassword("secret") + "\r\n");
    create();
    EXPECT_EQ(box("txtUser1")->text(), QStringLiteral("Brannoc"));
    EXPECT_EQ(box("txtPass1")->text(), QStringLiteral("secret"));
    EXPECT_EQ(w<QCheckBox>("chkAutoLogin")->checkState(), Qt::Checked);
    EXPECT_TRUE(button("lblButton2")->isEnabled()); // the filled box counts as a change
    EXPECT_EQ(chatLog(), "Welcome to The Talmora Online Registry!");
}

TEST_F(RegistryStartupTest, StoredPasswordIsNotReadWithoutAutomaticLogin)
{
    for (const char *value : {"0", "2", "9"}) {
        writeIni(std::string("[Account]\r\nUser=Brannoc\r\nAutoLogin=") + value +
                 "\r\nPassword=" + registry::ScramblePassword("secret") + "\r\n");
        create();
        EXPECT_EQ(box("txtUser1")->text(), QStringLiteral("Brannoc"));
        EXPECT_EQ(box("txtPass1")->text(), QString()) << value;
        EXPECT_EQ(w<QCheckBox>("chkAutoLogin")->checkState(),
                  value[0] == '2' ? Qt::PartiallyChecked : Qt::Unchecked)
            << value;
        EXPECT_FALSE(m_core->autoLoginTicked());
        EXPECT_EQ(chatLog(), "Welcome to The Talmora Online Registry!\r\nYou must "
                             "login to use the chat feature.");
        destroy();
    }
}

TEST_F(RegistryStartupTest, MenusAndPanelsFollowTheConnectionAndLoginState)
{
    create();
    connect();
    EXPECT_EQ(text("lblRegistry"), "Online");
    EXPECT_EQ(textColour(w<QLabel>("lblRegistry")), QColor(0, 255, 0));
    EXPECT_EQ(text("lblStatus"), "Connected");
    EXPECT_TRUE(action("mnuAccount0")->isEnabled());
    EXPECT_TRUE(action("mnuAccount1")->isEnabled());
    EXPECT_FALSE(action("mnuAccount2")->isEnabled());

    // Create New Account and Log In hide each other; other panels stay as they are.
    action("mnuAccount0")->trigger();
    EXPECT_TRUE(panelVisible(0));
    action("mnuAccount1")->trigger();
    EXPECT_FALSE(panelVisible(0));
    EXPECT_TRUE(panelVisible(1));
    action("mnuCredits")->trigger();
    EXPECT_TRUE(panelVisible(1));
    EXPECT_TRUE(panelVisible(3));

    logIn("Brannoc", 0);
    EXPECT_FALSE(panelVisible(1));
    EXPECT_TRUE(panelVisible(3));
    EXPECT_EQ(text("lblAccount"), "Logged in (Brannoc)");
    EXPECT_FALSE(action("mnuAccount0")->isEnabled());
    EXPECT_FALSE(action("mnuAccount1")->isEnabled());
    EXPECT_TRUE(action("mnuAccount2")->isEnabled());
    EXPECT_TRUE(action("mnuServerAddNew")->isEnabled());
    EXPECT_FALSE(action("mnuServerSettings")->isEnabled());
    EXPECT_TRUE(w<QPlainTextEdit>("txtSend")->isEnabled());
    EXPECT_TRUE(button("lblButton7")->isEnabled());
    EXPECT_NE(chatLog().find("\r\nYou have logged in as Brannoc"), std::string::npos);

    action("mnuServerAddNew")->trigger();
    action("mnuServerRun")->trigger();
    EXPECT_TRUE(panelVisible(4));
    w<QPlainTextEdit>("txtSend")->setPlainText(QStringLiteral("half typed"));

    action("mnuAccount2")->trigger(); // Log Out
    EXPECT_EQ(sent().back(), common::byteString({3, 2}));
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(panelVisible(i)) << i;
    EXPECT_TRUE(panelVisible(4)); // logging off leaves the Add New Server panel alone
    EXPECT_EQ(text("lblAccount"), "Logged Off");
    EXPECT_TRUE(w<QPlainTextEdit>("txtSend")->toPlainText().isEmpty());
    EXPECT_FALSE(w<QPlainTextEdit>("txtSend")->isEnabled());
    EXPECT_FALSE(button("lblButton7")->isEnabled());
    EXPECT_FALSE(action("mnuServerAddNew")->isEnabled());
    EXPECT_TRUE(action("mnuAccount0")->isEnabled());
    EXPECT_FALSE(action("mnuAccount2")->isEnabled());

    logIn("Brannoc", 1);
    EXPECT_FALSE(action("mnuServerAddNew")->isEnabled());
    EXPECT_TRUE(action("mnuServerSettings")->isEnabled());
    action("mnuServerSettings")->trigger();
    EXPECT_TRUE(panelVisible(2));

    // The server drops the connection while logged in.
    deliver(inbound({1, 1, 1, 3}, Bytes("Keep") + '\0' + "A" + '\0' + "127.0.0.8"));
    m_main.dropConnection();
    EXPECT_NE(chatLog().rfind("\r\nYou have logged out of your account!"), std::string::npos);
    EXPECT_EQ(text("lblAccount"), "Logged Off");
    EXPECT_EQ(text("lblServers"), "0");
    EXPECT_EQ(w<QTreeWidget>("lstViewServers")->topLevelItemCount(), 0);
    EXPECT_EQ(text("lblRegistry"), "Offline");
    EXPECT_EQ(textColour(w<QLabel>("lblRegistry")), QColor(255, 0, 0));
    EXPECT_EQ(text("lblStatus"), "Connecting...");
    for (const char *name : {"mnuAccount0", "mnuAccount1", "mnuAccount2", "mnuServerSettings"})
        EXPECT_FALSE(action(name)->isEnabled()) << name;
}

TEST_F(RegistryStartupTest, LabelButtonsChangeColourAndActOnReleaseWherever)
{
    create();
    auto *save = button("lblButton8");
    const QRgb idle = 0x1E242F;    // 0x2F241E as red, green, blue
    const QRgb pressed = 0x4B5161; // 0x61514B
    EXPECT_EQ(save->backgroundColour(), idle);
    EXPECT_EQ(save->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, 0xC2AD9Au);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(save, &press);
    EXPECT_EQ(save->backgroundColour(), pressed);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(save, &up);
    EXPECT_EQ(save->backgroundColour(), idle);
    // The Server Settings panel's buttons do nothing else.
    release(button("lblButton6"));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_main.sends().empty());

    // A Close label hides its panel on release, also when the pointer left it, and with the
    // right button too.
    action("mnuCredits")->trigger();
    release(button("lblClose3"), Qt::RightButton, QPoint(-300, 500));
    EXPECT_FALSE(panelVisible(3));

    // The window, shown for real: press on "Close", release far outside.
    m_window->show();
    action("mnuCredits")->trigger();
    QCoreApplication::processEvents();
    auto *close = button("lblClose3");
    QTest::mousePress(close, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(close->backgroundColour(), pressed);
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(-200, 300));
    EXPECT_FALSE(panelVisible(3));
    EXPECT_EQ(close->backgroundColour(), idle);
}

TEST_F(RegistryStartupTest, ExitClosingAndOutdatedNoticeAllEndTheProgramOnce)
{
    create();
    action("mnuExit")->trigger();
    action("mnuExit")->trigger();
    EXPECT_EQ(m_quits, 0); // queued: runs once the current event is done
    QCoreApplication::processEvents();
    EXPECT_EQ(m_quits, 1);
    EXPECT_TRUE(m_core->quitRequested());

    destroy();
    m_quits = 0;
    create();
    m_window->show();
    m_window->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_quits, 1);

    destroy();
    m_quits = 0;
    create();
    connect();
    deliver(inbound({0, 1}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("Your Registry client is out-dated! - An update may be "
                                  "availible on the Talmora Online Classic Forums at: (",
                                  0),
              0u);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_quits, 1);
}

TEST_F(RegistryStartupTest, BootNoticeShowsItsTextAndThenEnds)
{
    create();
    connect();
    deliver(inbound({2, 2}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "You have been booted from the Registry!");
    QCoreApplication::processEvents();
    EXPECT_EQ(m_quits, 1);
}

TEST_F(RegistryStartupTest, TextCrossesTheWindowInWindows1252)
{
    create();
    connect();
    logIn("Ren\xE9");
    deliver(inbound({7}, "price \x80"
                         "5 \x93ok\x94"));
    deliver(inbound({6, 1, 0}, "Z\xF6\x65"));
    EXPECT_EQ(text("lblAccount"), "Logged in (Ren\u00E9)");
    m_view->flushChat();
    const QString log = w<QPlainTextEdit>("txtChat")->toPlainText();
    EXPECT_TRUE(log.endsWith(QStringLiteral(u"price \u20AC5 \u201Cok\u201D"))) << log.toStdString();
    EXPECT_EQ(w<QListWidget>("lstUsers")->item(0)->text(), QStringLiteral(u"Z\u00F6e"));
    auto *input = w<QPlainTextEdit>("txtSend");
    input->setPlainText(QStringLiteral(u"\u20AC\u00FC"));
    release(button("lblButton7"));
    EXPECT_EQ(sent().back(), "\x05\x80\xFC");
    // The round trip keeps every byte, the five unassigned ones included.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(common::ToWindows1252(common::FromWindows1252(all)), all);
    EXPECT_EQ(common::ToWindows1252(QStringLiteral(u"\u4E2D")), "?");
}

// The typing limits (15 for name and password, 15 for the address) hold for what the user
// types, not for what the program puts into the boxes.
TEST_F(RegistryStartupTest, StoredAndReceivedTextsAreNotCutByTheTypingLimit)
{
    const std::string user = "Abcdefghijklmnopqrst";     // 20 bytes
    const std::string password = "abcdefghijklmnopqrst"; // 20 bytes
    writeIni("[Account]\r\nUser=" + user +
             "\r\nAutoLogin=1\r\nPassword=" + registry::ScramblePassword(password) + "\r\n");
    create();
    connect();
    deliver(inbound({0, 0, 0}));
    EXPECT_EQ(sent(), std::vector<Bytes>{common::byteString({3, 1}) + user + '\0' + password});

    logIn("Brannoc");
    action("mnuServerAddNew")->trigger();
    QLineEdit *address = box("txtNewIP");
    const std::string longAddress = "server.example.org.invalid";
    deliver(inbound({3}, longAddress));
    EXPECT_EQ(address->text().toStdString(), longAddress);
    // Typing adds nothing to a box that is over its limit, and once shortened to the limit
    // the limit holds again.
    address->setFocus();
    type(address, QStringLiteral("x"));
    EXPECT_EQ(address->text().toStdString(), longAddress);
    address->setText(QString());
    type(address, QStringLiteral("1234567890123456789"));
    EXPECT_EQ(address->text(), QStringLiteral("123456789012345"));
}

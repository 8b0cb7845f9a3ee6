#include "WindowFixture.h"

#include <QHeaderView>

using namespace regui_test;

namespace {

class RegistryLaunchTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        create();
        connect();
        deliver(inbound({1, 4, 1, 3}, Bytes("My Town") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
        deliver(inbound({1, 9, 1, 0}, Bytes("a  b ") + '\0' + "Ren" + '\0' + "127.0.0.7"));
        m_list = w<QTreeWidget>("lstViewServers");
        m_window->show();
        QCoreApplication::processEvents();
    }

    QPoint rowPoint(int row) const
    {
        return m_list->visualItemRect(m_list->topLevelItem(row)).center();
    }

    // A double-click as the list sees it: press, release, double-click, release.
    void doubleClick(int row)
    {
        const QPointF at(rowPoint(row));
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                          QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, m_list->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(m_list->viewport(), &event);
        }
    }

    QTreeWidget *m_list = nullptr;
};

} // namespace

TEST_F(RegistryLaunchTest, ChoosingARowEnablesPlayAndStartsTheGameClient)
{
    auto *play = button("lblButton0");
    ASSERT_FALSE(play->isEnabled());
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint(0));
    EXPECT_TRUE(play->isEnabled());
    EXPECT_EQ(m_controller->selectedServer().name, "My Town");
    EXPECT_EQ(m_controller->selectedServer().address, "127.0.0.9");
    EXPECT_EQ(m_controller->selectedServer().port, 2601);

    release(play);
    ASSERT_EQ(m_shell.opens.size(), 1u);
    EXPECT_EQ(m_shell.opens[0].file, "tlm.exe");
    EXPECT_EQ(m_shell.opens[0].parameters, "127.0.0.9 2601 My+Town");
    EXPECT_EQ(m_shell.opens[0].directory, folder() + "\\Talmora\\");
    EXPECT_EQ(m_shell.opens[0].show, 1);

    // A double-click on the other row starts it at once (the list drops the name's
    // trailing blanks, the neighbouring ones stay).
    doubleClick(1);
    ASSERT_EQ(m_shell.opens.size(), 2u);
    EXPECT_EQ(m_shell.opens[1].parameters, "127.0.0.7 2601 a++b");
    EXPECT_TRUE(m_messages.empty());

    // A click that selects no row disables Play again.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                      QPoint(5, m_list->viewport()->height() - 3));
    EXPECT_FALSE(play->isEnabled());
}

TEST_F(RegistryLaunchTest, NoApplicationShowsOneMessageThenTheFallback)
{
    m_shell.result = common::ShellResult::NoApplication;
    doubleClick(0);
    EXPECT_EQ(m_messages, std::vector<std::string>{"Couldn't load the default application"});
    EXPECT_EQ(m_shell.openWiths, std::vector<std::string>{"tlm.exe"});

    m_messages.clear();
    m_shell.result = common::ShellResult::Failed;
    release(button("lblButton0"));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_shell.openWiths.size(), 1u);
}

TEST_F(RegistryLaunchTest, RunStartsTheGameServerWithoutArguments)
{
    action("mnuServerRun")->trigger();
    ASSERT_EQ(m_shell.opens.size(), 1u);
    EXPECT_EQ(m_shell.opens[0].file, "server.exe");
    EXPECT_EQ(m_shell.opens[0].parameters, "");
    EXPECT_EQ(m_shell.opens[0].directory, folder() + "\\Server\\");
}

// The highlight moved with the keyboard is the choice, as a click is: Play starts the row
// that is highlighted.
TEST_F(RegistryLaunchTest, KeyboardChoiceCountsAsAChoice)
{
    deliver(inbound({1, 5, 1, 0}, Bytes("Third") + '\0' + "Ann" + '\0' + "127.0.0.5"));
    auto *play = button("lblButton0");
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint(0));
    m_list->setFocus();
    const struct
    {
        Qt::Key key;
        const char *address;
    } moves[] = {{Qt::Key_Down, "127.0.0.7"},
                 {Qt::Key_End, "127.0.0.5"},
                 {Qt::Key_Up, "127.0.0.7"},
                 {Qt::Key_Home, "127.0.0.9"}};
    for (const auto &move : moves) {
        QTest::keyClick(m_list, move.key);
        EXPECT_EQ(m_controller->selectedServer().address, move.address) << move.key;
        EXPECT_TRUE(play->isEnabled());
        release(play);
        ASSERT_FALSE(m_shell.opens.empty());
        EXPECT_EQ(m_shell.opens.back().parameters.substr(0, 9), move.address);
    }
}

// An address that the game client would read as more than one argument, or as an option,
// is refused before anything is started.
TEST_F(RegistryLaunchTest, AnAddressThatIsNoPlainAddressIsRefused)
{
    deliver(inbound({1, 4, 1, 3}, Bytes("My Town") + '\0' + "Ostrik" + '\0' +
                                      "127.0.0.1 --evil-flag /tmp/x -c x"));
    doubleClick(0);
    EXPECT_TRUE(m_shell.opens.empty());
    EXPECT_EQ(m_messages, std::vector<std::string>{"Error: Invalid IP address!"});
}

TEST_F(RegistryLaunchTest, HeaderClicksSortTheListAndTheChosenRowStaysChosen)
{
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint(0)); // "My Town", 3
    QHeaderView *header = m_list->header();
    const auto clickHeader = [&](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    const auto names = [&] {
        std::vector<std::string> shown;
        for (int row = 0; row < m_list->topLevelItemCount(); ++row)
            shown.push_back(m_list->topLevelItem(row)->text(2).toStdString());
        return shown;
    };

    clickHeader(3); // Players: fewest first
    EXPECT_EQ(names(), (std::vector<std::string>{"a  b", "My Town"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 3);
    ASSERT_EQ(m_list->selectedItems().size(), 1);
    EXPECT_EQ(m_list->selectedItems().first()->text(2), QStringLiteral("My Town"));
    doubleClick(0);
    EXPECT_EQ(m_controller->selectedServer().name, "a  b");

    clickHeader(3);
    clickHeader(3); // back to the order the rows came in
    EXPECT_EQ(names(), (std::vector<std::string>{"My Town", "a  b"}));
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(common::ReadIniNumber(folder() + "/registry.ini", "Server List", "Sort Order", -1),
              0);
}

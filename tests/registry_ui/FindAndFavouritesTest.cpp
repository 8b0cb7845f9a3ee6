#include "WindowFixture.h"

#include "registry/app/DesktopNotifier.h"
#include "tests/support/FindRowCases.h"

#include <QContextMenuEvent>
#include <QMenu>

using namespace regui_test;

namespace {

class RecordingNotifier final : public registry::DesktopNotifier
{
public:
    std::vector<Bytes> notices;
    void notify(common::ByteView text) override { notices.emplace_back(text); }
};

Bytes entry(const char *name, const char *admin)
{
    return Bytes(name) + '\0' + admin + '\0' + "127.0.0.9";
}

class RegistryServerListTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        create();
        m_serverList->setNotifier(m_notifier);
        connect();
        deliver(inbound({1, 1, 1, 12}, entry("Eastmarch", "Bjorn")));
        deliver(inbound({1, 2, 0, 0}, entry("Old Mill", "Brannoc")));
        deliver(inbound({1, 3, 1, 5}, entry("Westreach", "eastwood")));
        m_list = w<QTreeWidget>("lstViewServers");
        m_window->show();
        QCoreApplication::processEvents();
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (int r = 0; r < m_list->topLevelItemCount(); ++r)
            out.push_back(m_list->topLevelItem(r)->text(registry::ColName).toStdString());
        return out;
    }
    int rowOf(const char *name) const
    {
        for (int r = 0; r < m_list->topLevelItemCount(); ++r)
            if (m_list->topLevelItem(r)->text(registry::ColName).endsWith(QLatin1String(name)))
                return r;
        return -1;
    }
    QPoint rowPoint(const char *name) const
    {
        return m_list->visualItemRect(m_list->topLevelItem(rowOf(name))).center();
    }

    // A right click on the row: it is chosen, then its menu opens.
    QMenu *rightClick(const char *name)
    {
        QTest::mouseClick(m_list->viewport(), Qt::RightButton, {}, rowPoint(name));
        QContextMenuEvent event(QContextMenuEvent::Mouse, rowPoint(name),
                                m_list->viewport()->mapToGlobal(rowPoint(name)));
        QCoreApplication::sendEvent(m_list->viewport(), &event);
        return openMenu();
    }
    QMenu *openMenu() const { return m_window->findChild<QMenu *>(QStringLiteral("serverMenu")); }
    void closeMenu()
    {
        if (QMenu *menu = openMenu()) {
            menu->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    Bytes listIni(const char *key) const
    {
        return common::ReadIniString(folder() + "/registry.ini", "Server List", key);
    }

    RecordingNotifier m_notifier;
    QTreeWidget *m_list = nullptr;
};

} // namespace

TEST_F(RegistryServerListTest, TheFindBoxAndHideOfflineKeepRowsAndUnchooseAHiddenRow)
{
    auto *play = button("lblButton0");
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint("Eastmarch"));
    ASSERT_TRUE(play->isEnabled());

    auto *find = box("txtFind");
    auto *hide = w<QCheckBox>("chkHideOffline");
    for (const testsupport::FindRowStep &c : testsupport::FindRowSteps()) {
        find->selectAll();
        QTest::keyClick(find, Qt::Key_Delete);
        QTest::keyClicks(find, QLatin1String(c.typed));
        if (c.clickHide)
            QTest::mouseClick(hide, Qt::LeftButton, {}, QPoint(6, hide->height() / 2));
        EXPECT_EQ(names(), c.shown) << c.typed;
        EXPECT_EQ(play->isEnabled(), c.playEnabled) << c.typed;
        EXPECT_EQ(text("lblServers"), "3") << "the servers known, whatever shows";
    }
    EXPECT_FALSE(hide->isChecked());
}

TEST_F(RegistryServerListTest, TheContextMenuAndItsKeysPinFavouritesAndTurnOnTheirWord)
{
    QMenu *menu = rightClick("Westreach");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("&Add to Favourites\tCtrl+D"));
    EXPECT_FALSE(menu->actions()[1]->isChecked());
    menu->actions()[0]->trigger();
    closeMenu();
    EXPECT_EQ(names(), (std::vector<std::string>{"* Westreach", "Eastmarch", "Old Mill"}));
    EXPECT_EQ(listIni("Favourite 1 Name"), "Westreach");
    EXPECT_EQ(listIni("Favourite 1 Administrator"), "eastwood");

    // From the keyboard: Ctrl+D on the chosen row, the menu key and Shift+F10 for its menu.
    m_list->setFocus();
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint("Eastmarch"));
    QTest::keyClick(m_list, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(names(), (std::vector<std::string>{"* Eastmarch", "* Westreach", "Old Mill"}));
    for (const auto &[key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QTest::keyClick(m_list, key, modifiers);
        ASSERT_NE(openMenu(), nullptr);
        EXPECT_EQ(openMenu()->actions()[0]->text(),
                  QStringLiteral("&Remove from Favourites\tCtrl+D"));
        closeMenu();
    }
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint("Old Mill"));
    QTest::keyClick(m_list, Qt::Key_Menu);
    openMenu()->actions()[1]->trigger(); // word when a favourite comes online
    closeMenu();
    EXPECT_EQ(listIni("Favourite Notices"), "1");

    m_clock.advance(registry::ServerList::kListSettleMs);
    deliver(inbound({1, 1, 0, 0}, entry("Eastmarch", "Bjorn")));
    deliver(inbound({1, 2, 1, 4}, entry("Old Mill", "Brannoc"))); // not a favourite
    EXPECT_TRUE(m_notifier.notices.empty());
    deliver(inbound({1, 1, 1, 12}, entry("Eastmarch", "Bjorn")));
    EXPECT_EQ(m_notifier.notices, (std::vector<Bytes>{"Eastmarch is online (12 players)"}));
    // The order did not change: the row was refreshed in place, still marked.
    EXPECT_EQ(m_list->topLevelItem(0)->text(registry::ColName), QStringLiteral("* Eastmarch"));
    EXPECT_EQ(m_list->topLevelItem(0)->text(registry::ColPlayers), QStringLiteral("12"));

    // Below the rows the menu has no row to pin.
    QContextMenuEvent below(QContextMenuEvent::Mouse, QPoint(5, m_list->viewport()->height() - 3),
                            m_list->viewport()->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(m_list->viewport(), &below);
    ASSERT_NE(openMenu(), nullptr);
    EXPECT_FALSE(openMenu()->actions()[0]->isEnabled());
    EXPECT_TRUE(openMenu()->actions()[1]->isChecked());
    closeMenu();
}

TEST_F(RegistryServerListTest, TheServerLastPlayedAndHideOfflineAreKeptForTheNextStart)
{
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, rowPoint("Westreach"));
    release(button("lblButton0"));
    ASSERT_EQ(m_shell.opens.size(), 1u);
    EXPECT_EQ(listIni("Last Server Name"), "Westreach");
    QTest::mouseClick(w<QCheckBox>("chkHideOffline"), Qt::LeftButton, {}, QPoint(6, 8));

    destroy();
    create();
    EXPECT_TRUE(w<QCheckBox>("chkHideOffline")->isChecked()) << "kept for the next start";
    connect();
    deliver(inbound({1, 5, 1, 0}, entry("Eastmarch", "Bjorn")));
    EXPECT_FALSE(button("lblButton0")->isEnabled());
    deliver(inbound({1, 2, 1, 7}, entry("Westreach", "eastwood"))); // another index now
    m_list = w<QTreeWidget>("lstViewServers");
    ASSERT_EQ(m_list->selectedItems().size(), 1);
    EXPECT_EQ(m_list->selectedItems()[0]->text(registry::ColName), QStringLiteral("Westreach"));
    EXPECT_TRUE(button("lblButton0")->isEnabled());
    m_window->show();
    m_list->setFocus();
    QTest::keyClick(m_list, Qt::Key_Return);
    ASSERT_EQ(m_shell.opens.size(), 2u);
    EXPECT_EQ(m_shell.opens[1].parameters, "127.0.0.9 2601 Westreach");
}

#include "WindowFixture.h"
#include "tests/support/ChatPictureLines.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

using namespace regui_test;

namespace {

class RegistryScreenshotTest : public WindowFixture
{
};

// The window with its frame as the screen shows it, once it has settled.
QPixmap grabWhole(const QWidget &window)
{
    QTest::qWait(300);
    const QRect frame = window.frameGeometry();
    return QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                        frame.height());
}

// The window with a menu beside it, `menuTop` pixels down, on the window's button colour.
QPixmap besideWindow(const QPixmap &window, const QPixmap &menu, int menuTop)
{
    const int gap = 8;
    QPixmap sheet(window.width() + menu.width() + 2 * gap,
                  std::max(window.height(), menu.height() + 2 * gap));
    sheet.fill(common::ToQColor(registry::kButtonIdleColour));
    QPainter painter(&sheet);
    painter.drawPixmap(0, 0, window);
    painter.drawPixmap(window.width() + gap, menuTop, menu);
    painter.end();
    return sheet;
}

} // namespace

// Takes the picture of the main window used in the documentation. Runs only when asked:
//   REGISTRY_SCREENSHOT=docs/registry.png QT_QPA_PLATFORM=xcb xvfb-run -a
//       build/bin/registry_ui_tests --gtest_filter='RegistryScreenshotTest.*'
TEST_F(RegistryScreenshotTest, MainWindow)
{
    const QString target = qEnvironmentVariable("REGISTRY_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "set REGISTRY_SCREENSHOT to a file name to take the picture";
    create();
    connect();
    m_window->show();
    deliver(inbound({1, 1, 1, 12}, Bytes("Riverside Keep") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    deliver(inbound({1, 2, 1, 3}, Bytes("Old Mill") + '\0' + "Brannoc" + '\0' + "127.0.0.8"));
    deliver(inbound({1, 3, 0, 0}, Bytes("Frostmarch PvP") + '\0' + "Ren" + '\0' + "127.0.0.7"));
    deliver(inbound({1, 4, 1, 27}, Bytes("My Town") + '\0' + "Zo\xEB" + '\0' + "127.0.0.6"));
    for (const char *user : {"Brannoc", "Ostrik", "Ren", "Zo\xEB", "Talia"})
        deliver(inbound({6, 1, 0}, user));
    logIn("Brannoc", 0);
    deliver(inbound({7}, "Ostrik: Riverside Keep is back up after the patch."));
    deliver(inbound({7}, "Ren: anyone up for the arena tonight?"));
    w<QPlainTextEdit>("txtSend")->setPlainText(QStringLiteral("See you at the Old Mill!"));
    action("mnuServerAddNew")->trigger();
    setText(box("txtNewServer"), QStringLiteral("Brannoc's Hall"));
    setText(box("txtNewIP"), QStringLiteral("127.0.0.5"));
    setText(box("txtNewPort"), QStringLiteral("5750"));
    auto *list = w<QTreeWidget>("lstViewServers");
    list->setCurrentItem(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(0)).center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    QScreen *screen = QGuiApplication::primaryScreen();
    const QPixmap window = grabWhole(*m_window);
    ASSERT_FALSE(window.isNull());

    // The panels share one place, so the four others are pictured below the window, each
    // taken from the screen in turn, and beside them the three menus opened.
    std::vector<QPixmap> extras;
    auto *area = w<QWidget>("panelArea");
    for (int panel : {0, 1, 2, 3}) {
        for (int other = 0; other < 5; ++other)
            m_window->surface().setPanelShown(static_cast<registry::Panel>(other), false);
        m_window->surface().setPanelShown(static_cast<registry::Panel>(panel), true);
        QTest::qWait(100);
        const QPoint at = area->mapToGlobal(QPoint(0, 0));
        extras.push_back(screen->grabWindow(0, at.x(), at.y(), area->width(), area->height()));
    }
    std::vector<QPixmap> menus;
    for (QAction *item : m_window->menuBar()->actions()) {
        QMenu *menu = item->menu();
        if (!menu)
            continue;
        menu->popup(m_window->mapToGlobal(QPoint(0, 0)));
        QTest::qWait(100);
        menus.push_back(menu->grab());
        menu->hide();
    }

    const int gap = 8;
    int extrasWidth = gap;
    int extrasHeight = 0;
    for (const QPixmap &p : extras) {
        extrasWidth += p.width() + gap;
        extrasHeight = std::max(extrasHeight, p.height());
    }
    int menusWidth = 0;
    int menusHeight = 0;
    for (const QPixmap &p : menus) {
        menusWidth += p.width() + gap;
        menusHeight = std::max(menusHeight, p.height());
    }
    const int width = std::max(window.width(), std::max(extrasWidth, menusWidth + gap));
    QPixmap sheet(width, window.height() + extrasHeight + menusHeight + 4 * gap);
    sheet.fill(common::ToQColor(registry::kButtonIdleColour));
    QPainter painter(&sheet);
    painter.drawPixmap(0, 0, window);
    int x = gap;
    for (const QPixmap &p : extras) {
        painter.drawPixmap(x, window.height() + gap, p);
        x += p.width() + gap;
    }
    x = gap;
    for (const QPixmap &p : menus) {
        painter.drawPixmap(x, window.height() + extrasHeight + 2 * gap, p);
        x += p.width() + gap;
    }
    painter.end();
    ASSERT_TRUE(sheet.save(target, "PNG"));
}

// The server list as a player arranges it, for the documentation: favourites pinned and
// starred, "Hide offline" ticked, a find text, the server last played chosen, and the list's
// context menu beside the window. Runs only when asked:
//   REGISTRY_LIST_SCREENSHOT=docs/registry-server-list.png QT_QPA_PLATFORM=xcb xvfb-run -a
//       build/bin/registry_ui_tests --gtest_filter='RegistryScreenshotTest.ServerList'
TEST_F(RegistryScreenshotTest, ServerList)
{
    const QString target = qEnvironmentVariable("REGISTRY_LIST_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "set REGISTRY_LIST_SCREENSHOT to a file name to take the picture";
    writeIni("[Server List]\r\nFavourites=1\r\nFavourite 1 Name=Riverside Keep\r\n"
             "Favourite 1 Administrator=Ostrik\r\nFavourite Notices=1\r\n"
             "Last Server Name=My Town\r\nLast Server Administrator=Zo\xEB\r\n");
    create();
    connect();
    m_window->show();
    const char *servers[][3] = {{"Old Mill", "Brannoc", "\x01"},
                                {"Riverside Keep", "Ostrik", "\x01"},
                                {"Frostmarch PvP", "Ren", "\x00"},
                                {"My Town", "Zo\xEB", "\x01"},
                                {"Eastreach Outpost", "Talia", "\x01"}};
    int index = 1;
    for (const auto &server : servers) {
        deliver(inbound({1, index, server[2][0], 3 * index + 1},
                        Bytes(server[0]) + '\0' + server[1] + '\0' + "127.0.0.9"));
        ++index;
    }
    logIn("Brannoc", 0);
    auto *list = w<QTreeWidget>("lstViewServers");
    // Players, most first: two clicks on its header.
    QHeaderView *header = list->header();
    const QPoint players(header->sectionViewportPosition(3) + header->sectionSize(3) / 2,
                         header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, players);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, players);
    QTest::mouseClick(w<QCheckBox>("chkHideOffline"), Qt::LeftButton, {}, QPoint(6, 8));
    QTest::keyClicks(box("txtFind"), QStringLiteral("o"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    const QPixmap window = grabWhole(*m_window);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Menu);
    auto *menu = m_window->findChild<QMenu *>(QStringLiteral("serverMenu"));
    ASSERT_NE(menu, nullptr);
    QTest::qWait(200);
    const QPixmap menuPicture = menu->grab();
    menu->close();

    ASSERT_TRUE(besideWindow(window, menuPicture, 8).save(target, "PNG"));
}

// The chat as a player with times turned on sees it: the time before each line, the lines
// naming the player in their colour, and the log's context menu with "Show Times" ticked
// beside the window. Runs only when asked:
//   REGISTRY_CHAT_SCREENSHOT=docs/registry-chat.png QT_QPA_PLATFORM=xcb xvfb-run -a
//       build/bin/registry_ui_tests --gtest_filter='RegistryScreenshotTest.Chat'
TEST_F(RegistryScreenshotTest, Chat)
{
    const QString target = qEnvironmentVariable("REGISTRY_CHAT_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "set REGISTRY_CHAT_SCREENSHOT to a file name to take the picture";
    writeIni("[Chat]\r\nShow Times=1\r\n");
    m_localClock.set(20, 57);
    create();
    connect();
    m_window->show();
    deliver(inbound({1, 1, 1, 12}, Bytes("Riverside Keep") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    deliver(inbound({1, 2, 1, 3}, Bytes("Old Mill") + '\0' + "Brannoc" + '\0' + "127.0.0.8"));
    for (const char *user : {"Brannoc", "Ostrik", "Ren", "Talia"})
        deliver(inbound({6, 1, 0}, user));
    m_localClock.set(20, 58);
    logIn("Brannoc", 0);
    for (const auto &line : testsupport::kPictureChatLines) {
        m_localClock.set(line.hour, line.minute);
        deliver(inbound({7}, line.line));
    }
    w<QPlainTextEdit>("txtSend")->setPlainText(QStringLiteral("Ostrik: got it"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    const QPixmap window = grabWhole(*m_window);

    auto *chat = w<QPlainTextEdit>("txtChat");
    QPixmap menuPicture;
    QTimer::singleShot(200, chat, [&menuPicture] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        menuPicture = menu->grab();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(20, 20),
                            chat->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(chat->viewport(), &event);
    ASSERT_FALSE(menuPicture.isNull()) << "the log's context menu did not open";

    const int bottom = window.height() - menuPicture.height() - 8;
    ASSERT_TRUE(besideWindow(window, menuPicture, bottom).save(target, "PNG"));
}

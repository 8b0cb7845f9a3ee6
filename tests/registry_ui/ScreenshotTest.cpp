#include "WindowFixture.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

using namespace regui_test;

namespace {

class RegistryScreenshotTest : public WindowFixture
{
};

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
    QTest::qWait(300);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect frame = m_window->frameGeometry();
    const QPixmap window =
        screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
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

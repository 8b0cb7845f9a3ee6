#include "WindowFixture.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

using namespace regui_test;

namespace {

class ScreenshotTest : public WindowFixture
{
};

} // namespace

// Takes the picture of the main window used in the documentation. Runs only when asked:
//   REGISTRY_SCREENSHOT=docs/registry.png QT_QPA_PLATFORM=xcb xvfb-run -a
//       build/bin/registry_ui_tests --gtest_filter='ScreenshotTest.*'
TEST_F(ScreenshotTest, MainWindow)
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
    const QRect frame = m_window->frameGeometry();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, frame.x(), frame.y(), frame.width(), frame.height());
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(target, "PNG"));
}

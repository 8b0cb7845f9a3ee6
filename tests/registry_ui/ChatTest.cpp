#include "WindowFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QTextBlock>
#include <QTimer>

using namespace regui_test;

namespace {

class RegistryChatTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        create();
        connect();
        logIn("Brannoc");
        m_main.clearSent();
        m_input = w<QPlainTextEdit>("txtSend");
    }
    std::string lastLogLine() const
    {
        const Bytes log = chatLog();
        const auto pos = log.rfind("\r\n");
        return pos == Bytes::npos ? log : log.substr(pos + 2);
    }
    Bytes inputBytes() const
    {
        QString text = m_input->toPlainText();
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        return common::ToWindows1252(text);
    }

    QPlainTextEdit *m_input = nullptr;
};

} // namespace

TEST_F(RegistryChatTest, EnterSendsEchoesAndLeavesOneLineBreak)
{
    type(m_input, QStringLiteral("hello"));
    enter(m_input);
    EXPECT_EQ(sent(), std::vector<Bytes>{"\x05hello"});
    EXPECT_EQ(lastLogLine(), "You: hello");
    EXPECT_EQ(inputBytes(), "\r\n");
    EXPECT_EQ(m_input->textCursor().blockNumber(), 1); // the caret on the second line

    // The next Enter strips the line break and sends the second word alone.
    type(m_input, QStringLiteral("world"));
    enter(m_input);
    EXPECT_EQ(sent().back(), "\x05world");
    EXPECT_EQ(lastLogLine(), "You: world");
    EXPECT_EQ(inputBytes(), "\r\n");
}

TEST_F(RegistryChatTest, ShiftEnterAndTheKeypadEnterSendToo)
{
    type(m_input, QStringLiteral("one"));
    QTest::keyClick(m_input, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(sent(), std::vector<Bytes>{"\x05one"});
    EXPECT_EQ(inputBytes(), "\r\n");
    type(m_input, QStringLiteral("two"));
    QTest::keyClick(m_input, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(sent().back(), "\x05two");
    EXPECT_EQ(inputBytes(), "\r\n");
}

TEST_F(RegistryChatTest, EnterInAnEmptyBoxSendsNothing)
{
    enter(m_input);
    EXPECT_TRUE(m_main.sends().empty());
    EXPECT_EQ(lastLogLine(), "You have logged in as Brannoc");
    EXPECT_EQ(inputBytes(), "\r\n"); // the key still reaches the box
}

TEST_F(RegistryChatTest, BlanksOnlySendAnEmptyChatSay)
{
    type(m_input, QStringLiteral("   "));
    enter(m_input);
    EXPECT_EQ(sent(), std::vector<Bytes>{"\x05"});
    EXPECT_EQ(lastLogLine(), "You: ");
}

TEST_F(RegistryChatTest, SendButtonKeepsALeadingLineBreak)
{
    type(m_input, QStringLiteral("first"));
    enter(m_input);
    m_main.clearSent();
    // Only the line break left by Enter: nothing is sent and the box is emptied.
    release(button("lblButton7"));
    EXPECT_TRUE(m_main.sends().empty());
    EXPECT_EQ(inputBytes(), "");
    EXPECT_EQ(lastLogLine(), "You: first");

    enter(m_input); // an empty box: leaves the line break
    type(m_input, QStringLiteral("second  "));
    release(button("lblButton7"));
    EXPECT_EQ(sent(), std::vector<Bytes>{"\x05\r\nsecond"});
    EXPECT_EQ(inputBytes(), "");
    // The echo line holds the line break too.
    EXPECT_NE(chatLog().find("You: \r\nsecond"), std::string::npos);
}

TEST_F(RegistryChatTest, LongestInputMakesABodyOf1401)
{
    m_input->setPlainText(QString(1400, QLatin1Char('w')));
    release(button("lblButton7"));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].size(), 1401u);
}

TEST_F(RegistryChatTest, ServerLinesJoinTheLogWithCrLf)
{
    deliver(inbound({7}, "Ostrik: hi all"));
    deliver(inbound({7}));
    deliver(inbound({7}, "Ostrik: bye"));
    const Bytes log = chatLog();
    const std::string tail = "You have logged in as Brannoc\r\nOstrik: hi all\r\nOstrik: bye";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    EXPECT_EQ(log.find("\r\n\r\n"), Bytes::npos);
    EXPECT_EQ(log.rfind("Welcome", 0), 0u);
    // The newest line is in view.
    auto *chat = w<QPlainTextEdit>("txtChat");
    EXPECT_TRUE(chat->textCursor().atEnd());
}

TEST_F(RegistryChatTest, AHundredThousandLinesAppendWithoutRewritingTheLog)
{
    auto *chat = w<QPlainTextEdit>("txtChat");
    m_view->flushChat();
    const int blocksBefore = chat->blockCount();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 100000; ++i)
        m_core->appendChat("line " + std::to_string(i));
    m_view->flushChat();
    // A log that rewrote its whole text per line would need minutes here; generous bound.
    EXPECT_LT(timer.elapsed(), 60000);
    EXPECT_EQ(chat->blockCount(), blocksBefore + 100000);
    EXPECT_EQ(lastLogLine(), "line 99999");
    EXPECT_EQ(chat->document()->findBlockByNumber(blocksBefore).text(), QStringLiteral("line 0"));
}

// Lines that arrive together go into the log in one insertion with one scroll to the end,
// with the same text as one line at a time.
TEST_F(RegistryChatTest, LinesThatArriveTogetherAreAddedInOneInsertion)
{
    auto *chat = w<QPlainTextEdit>("txtChat");
    QCoreApplication::processEvents();
    const Bytes before = chatLog();
    int insertions = 0;
    int scrolls = 0;
    QObject::connect(chat->document(), &QTextDocument::contentsChange,
                     [&](int, int, int added) { insertions += added > 0 ? 1 : 0; });
    QObject::connect(chat, &QPlainTextEdit::cursorPositionChanged, [&] { ++scrolls; });
    Bytes burst;
    for (const char *line : {"Ostrik: one", "Ren: two\r\nlines", "Ann: three"})
        burst += inbound({7}, line);
    deliver(burst);
    QCoreApplication::processEvents();
    EXPECT_EQ(insertions, 1);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(chatLog(), before + "\r\nOstrik: one\r\nRen: two\r\nlines\r\nAnn: three");
    EXPECT_TRUE(chat->textCursor().atEnd());
}

// Up and Down in the input step through the lines sent and back to what was being typed; a
// double click on a user online addresses the input to that user.
TEST_F(RegistryChatTest, TheInputRemembersLinesSentAndADoubleClickAddressesAUser)
{
    for (const char *line : {"first", "second"}) {
        type(m_input, QString::fromLatin1(line));
        enter(m_input);
    }
    type(m_input, QStringLiteral("draft"));
    const struct
    {
        Qt::Key key;
        Bytes shown;
    } steps[] = {{Qt::Key_Up, "second"},      {Qt::Key_Up, "first"},
                 {Qt::Key_Up, "first"},       {Qt::Key_Down, "second"},
                 {Qt::Key_Down, "\r\ndraft"}, {Qt::Key_Down, "\r\ndraft"}};
    for (const auto &step : steps) {
        QTest::keyClick(m_input, step.key);
        EXPECT_EQ(inputBytes(), step.shown) << step.key;
    }

    deliver(inbound({6, 1, 0}, "Mira"));
    deliver(inbound({6, 1, 0}, "Ren"));
    auto *users = w<QListWidget>("lstUsers");
    const QRect row = users->visualItemRect(users->item(1));
    QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(users->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(inputBytes(), "Ren: ");
}

// "Show Times" from the log's own context menu, and a line naming the player in its colour.
TEST_F(RegistryChatTest, TheContextMenuTogglesTimesAndALineNamingThePlayerIsMarked)
{
    auto *chat = w<QPlainTextEdit>("txtChat");
    const auto chooseShowTimes = [chat] {
        bool wasChecked = false;
        QTimer::singleShot(0, chat, [&wasChecked] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction *action : menu->actions())
                if (action->text() == QStringLiteral("Show &Times")) {
                    wasChecked = action->isChecked();
                    action->trigger();
                }
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                chat->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(chat->viewport(), &event);
        return wasChecked;
    };
    m_localClock.set(14, 5);
    EXPECT_FALSE(chooseShowTimes());
    deliver(inbound({7}, "Ostrik: hi brannoc"));
    deliver(inbound({7}, "Ostrik: bye"));
    EXPECT_EQ(lastLogLine(), "[14:05] Ostrik: bye");
    const QTextBlock named = chat->document()->lastBlock().previous();
    EXPECT_EQ(named.text(), QStringLiteral("[14:05] Ostrik: hi brannoc"));
    const auto colourOf = [](const QTextBlock &block) {
        return block.begin().fragment().charFormat().foreground().color();
    };
    EXPECT_EQ(colourOf(named), common::ToQColor(registry::kMentionColour));
    EXPECT_NE(colourOf(named.next()), common::ToQColor(registry::kMentionColour));

    EXPECT_TRUE(chooseShowTimes());
    deliver(inbound({7}, "Ostrik: untimed"));
    EXPECT_EQ(lastLogLine(), "Ostrik: untimed");
    EXPECT_NE(chatLog().find("[14:05] Ostrik: bye"), Bytes::npos) << "earlier lines stay";
}

#include "WindowFixture.h"

#include "registry/qt/FrmVersion.h"

#include <QGuiApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include <iterator>

using namespace regui_test;

namespace {

class VersionWindowTest : public WindowFixture
{
protected:
    void SetUp() override { create(); }
    void writeNotes(const std::string &content)
    {
        std::ofstream out(folder() + "/R0.7.txt", std::ios::binary);
        out << content;
    }
};

} // namespace

TEST_F(VersionWindowTest, ShowsTheCaptionAndTheReleaseNotes)
{
    writeNotes("Release R0.7\r\n- caf\xE9 chat\r\n");
    action("mnuVersion")->trigger();
    registry::FrmVersion *version = m_window->versionWindow();
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->isVisible());
    EXPECT_EQ(version->windowTitle(), QStringLiteral("The Talmora Online Registry (Version R0.7)"));
    EXPECT_EQ(version->notesText(), QStringLiteral(u"Release R0.7\n- caf\u00E9 chat\n"));
}

TEST_F(VersionWindowTest, MissingOrEmptyNotesLeaveTheBoxEmpty)
{
    action("mnuVersion")->trigger();
    ASSERT_NE(m_window->versionWindow(), nullptr);
    EXPECT_EQ(m_window->versionWindow()->notesText(), QString());
    EXPECT_EQ(m_window->versionWindow()->windowTitle(),
              QStringLiteral("The Talmora Online Registry (Version R0.7)"));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(VersionWindowTest, ReadsTheFileOnlyWhenTheWindowIsCreated)
{
    writeNotes("first");
    action("mnuVersion")->trigger();
    QPointer<registry::FrmVersion> first = m_window->versionWindow();
    writeNotes("second");
    action("mnuVersion")->trigger();
    EXPECT_EQ(m_window->versionWindow(), first.data());
    EXPECT_EQ(first->notesText(), QStringLiteral("first"));

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    action("mnuVersion")->trigger();
    ASSERT_NE(m_window->versionWindow(), nullptr);
    EXPECT_EQ(m_window->versionWindow()->notesText(), QStringLiteral("second"));
}

TEST_F(VersionWindowTest, NotesAreReadAsRawBytesFromBesideTheProgram)
{
    EXPECT_EQ(registry::ReleaseNotesPath("/x"), "/x\\R0.7.txt");
    EXPECT_EQ(registry::ReadReleaseNotes(folder()), "");
    writeNotes(std::string("a\0b\r\n\xFF", 6));
    EXPECT_EQ(registry::ReadReleaseNotes(folder()), std::string("a\0b\r\n\xFF", 6));
}

// The caption reaches the window system as it is (an application display name would be
// appended to it), and the hand-wrapped release notes are not wrapped a second time.
TEST_F(VersionWindowTest, CaptionIsExactAndTheNotesAreNotWrappedAgain)
{
    registry::ApplyProgramLook();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName())
        << "no display name to append";
    std::ifstream notes(TALMORA_RELEASE_NOTES, std::ios::binary);
    ASSERT_TRUE(notes);
    writeNotes(std::string(std::istreambuf_iterator<char>(notes), {}));
    action("mnuVersion")->trigger();
    registry::FrmVersion *version = m_window->versionWindow();
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->windowTitle(), QStringLiteral("The Talmora Online Registry (Version R0.7)"));
    QCoreApplication::processEvents();
    auto *box = version->findChild<QPlainTextEdit *>(QStringLiteral("txtUpdates"));
    ASSERT_NE(box, nullptr);
    ASSERT_GT(box->document()->blockCount(), 10);
    for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next())
        EXPECT_EQ(block.layout()->lineCount(), 1) << block.text().toStdString();
    EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0) << "the longest line fits the window";
    EXPECT_GE(version->width(), 480);
}

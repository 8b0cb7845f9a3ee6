#include "WindowFixture.h"

#include "registry/support/FrmVersion.h"

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

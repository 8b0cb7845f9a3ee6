// The Registry's application layer without a toolkit: the controller every input goes
// through and the view that turns the core's requests into changes of the window's controls,
// over a surface that records what it is asked, with the real core on fake transports.
#include "common/Clock.h"
#include "common/Codec.h"
#include "registry/app/ChatGathering.h"
#include "registry/app/RegistryProgram.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowView.h"
#include "tests/support/FakeTransport.h"
#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using common::Bytes;
using common::ByteView;
using namespace registry;

class RecordingSurface final : public WindowSurface
{
public:
    std::map<int, Bytes> texts;
    std::map<int, bool> enabled;
    std::vector<std::string> calls; // panels, check box, version window, in order
    std::vector<Bytes> chatInserts;
    std::vector<bool> chatInsertsMarked;
    bool chatTimesChecked = false;
    std::vector<std::function<void()>> posted;
    bool postWorks = true;
    std::vector<int> arrived; // rows given to the list as they came
    std::vector<ShownServerRow> shownRows;
    int wholeShows = 0; // times the list was shown again as a whole
    int chosenRow = 0;  // chosen by the program
    std::pair<ServerColumn, SortOrder> sortIndicator{ServerColumn::Name, SortOrder::Arrival};

    void setText(int id, ByteView text) override { texts[id] = text; }
    Bytes text(int id) const override
    {
        const auto it = texts.find(id);
        return it == texts.end() ? Bytes() : it->second;
    }
    void setEnabled(int id, bool on) override { enabled[id] = on; }
    void setTextColour(int, common::Rgb) override {}
    void setCheck(int, int value) override { calls.push_back("check:" + std::to_string(value)); }
    void setFocus(int) override {}
    void setPanelShown(Panel panel, bool shown) override
    {
        calls.push_back((shown ? "show:" : "hide:") + std::to_string(static_cast<int>(panel)));
    }
    void setMenuEnabled(MenuItem, bool) override {}
    void appendChat(ByteView lines, bool marked) override
    {
        chatInserts.emplace_back(lines);
        chatInsertsMarked.push_back(marked);
    }
    void setChatTimesChecked(bool checked) override { chatTimesChecked = checked; }
    void setServerRow(int index, const ServerRowText &) override { arrived.push_back(index); }
    void clearServerRows() override {}
    void showServerRows(const std::vector<ShownServerRow> &rows) override
    {
        shownRows = rows;
        ++wholeShows;
    }
    void chooseServerRow(int index) override { chosenRow = index; }
    void setSortIndicator(ServerColumn column, SortOrder order) override
    {
        sortIndicator = {column, order};
    }
    void clearUsers() override {}
    void addUser(ByteView) override {}
    void showMessage(ByteView) override {}
    void showVersionWindow() override { calls.push_back("version"); }
    bool post(std::function<void()> work) override
    {
        if (postWorks)
            posted.push_back(std::move(work));
        return postWorks;
    }
    // The event loop's next pass.
    void runPosted()
    {
        auto work = std::move(posted);
        posted.clear();
        for (auto &item : work)
            item();
    }
};

class RecordingShell final : public common::Shell
{
public:
    std::vector<std::string> opened; // "file parameters directory"
    common::ShellResult result = common::ShellResult::Started;
    common::ShellResult open(ByteView, ByteView file, ByteView parameters, ByteView directory,
                             int) override
    {
        opened.push_back(Bytes(file) + " " + Bytes(parameters) + " " + Bytes(directory));
        return result;
    }
    void openWith(ByteView, ByteView) override {}
};

class MemorySettings final : public AccountSettings
{
public:
    int stored = 0;
    Bytes user() const override { return {}; }
    int autoLogin() const override { return stored; }
    Bytes password() const override { return {}; }
    void writeUser(ByteView) override {}
    void writePassword(ByteView) override {}
    void writeAutoLogin(bool ticked) override { stored = ticked ? 1 : 0; }
};

class ApplicationLayer : public ::testing::Test
{
protected:
    void connect()
    {
        controller.start();
        clock.advance(kConnectIntervalMs);
        controller.core().onTimer();
        main.acceptConnection();
        main.clearSent();
    }
    void deliver(ByteView body)
    {
        main.deliver(*common::BuildPacket(body, common::PacketKind::Plain));
    }
    std::vector<Bytes> sentBodies() const
    {
        std::vector<Bytes> bodies;
        for (const std::string &sent : main.sends())
            bodies.push_back(sent.substr(3));
        return bodies;
    }

    common::ManualClock clock{1000};
    testsupport::FakeTransport main;
    testsupport::FakeTransport probe;
    RecordingSurface surface;
    WindowView view{surface};
    RecordingShell shell;
    MemorySettings settings;
    WindowController controller{
        {clock, main, probe, view, [] { return Bytes("1"); }, "127.0.0.1", 2600, &settings},
        surface,
        shell,
        FoldersBeside("C:\\Game")};
};

TEST(ChatGathering, LinesOfOnePassGoInOneInsertion)
{
    struct Case
    {
        std::vector<const char *> lines;
        const char *inserted; // nullptr: nothing
    };
    const Case cases[] = {
        {{"one", "two", "three"}, "one\r\ntwo\r\nthree"},
        {{"cr\ronly", "lf\nonly", "crlf\r\nkept", "end\n"},
         "cr\r\nonly\r\nlf\r\nonly\r\ncrlf\r\nkept\r\nend\r\n"},
        {{"", "after empty", ""}, "after empty"},
        {{""}, nullptr},
    };
    for (const Case &c : cases) {
        std::vector<std::function<void()>> posted;
        std::vector<Bytes> inserts;
        ChatGathering chat(
            [&](std::function<void()> work) {
                posted.push_back(std::move(work));
                return true;
            },
            [&](ByteView lines, bool) { inserts.emplace_back(lines); });
        for (const char *line : c.lines)
            chat.append(line);
        EXPECT_EQ(posted.size(), c.inserted ? 1u : 0u) << c.lines.front();
        for (auto &work : posted)
            work();
        EXPECT_EQ(inserts, c.inserted ? std::vector<Bytes>{c.inserted} : std::vector<Bytes>{});
    }
}

TEST(ChatGathering, AFlushThatCouldNotBeQueuedIsAskedForAgainAndNoneOutlivesTheLog)
{
    bool queueWorks = false;
    std::vector<std::function<void()>> posted;
    std::vector<Bytes> inserts;
    {
        ChatGathering chat(
            [&](std::function<void()> work) {
                if (queueWorks)
                    posted.push_back(std::move(work));
                return queueWorks;
            },
            [&](ByteView lines, bool) { inserts.emplace_back(lines); });
        chat.append("lost post");
        queueWorks = true;
        chat.append("next line");
        ASSERT_EQ(posted.size(), 1u);
        posted.front()();
        EXPECT_EQ(inserts, std::vector<Bytes>{"lost post\r\nnext line"});
        chat.append("left behind");
    }
    // The log is gone before the loop came round: the queued flush does nothing.
    posted.back()();
    EXPECT_EQ(inserts.size(), 1u);
}

TEST_F(ApplicationLayer, TheWindowLoadsItsVersionLineAndItsFirstChatLinesTogether)
{
    controller.windowLoaded();
    EXPECT_EQ(surface.texts[IdRegVer], "Registry Version: R0.7");
    EXPECT_TRUE(surface.chatInserts.empty());
    surface.runPosted();
    EXPECT_EQ(surface.chatInserts, std::vector<Bytes>{"Welcome to The Talmora Online Registry!\r\n"
                                                      "You must login to use the chat feature."});
}

TEST_F(ApplicationLayer, MenuItemsOpenTheirPanelsAndTheAccountPanelsHideEachOther)
{
    const struct
    {
        MenuItem item;
        std::vector<std::string> calls;
    } cases[] = {
        {MenuItem::CreateNewAccount, {"hide:1", "show:0"}},
        {MenuItem::LogIn, {"hide:0", "show:1"}},
        {MenuItem::ServerSettings, {"show:2"}},
        {MenuItem::Credits, {"show:3"}},
        {MenuItem::ServerAddNew, {"show:4"}},
        {MenuItem::Version, {"version"}},
    };
    for (const auto &c : cases) {
        surface.calls.clear();
        controller.menuChosen(c.item);
        EXPECT_EQ(surface.calls, c.calls) << static_cast<int>(c.item);
    }
    controller.closeReleased(Panel::Credits);
    EXPECT_EQ(surface.calls.back(), "hide:3");
    controller.menuChosen(MenuItem::ServerRun);
    EXPECT_EQ(shell.opened, std::vector<std::string>{"server.exe  C:\\Game\\Server\\"});
}

TEST_F(ApplicationLayer, AutomaticLoginClicksMakeAGreyedBoxTwoState)
{
    const struct
    {
        int stored;
        std::vector<std::string> afterTwoClicks;
    } cases[] = {
        {0, {"check:0", "check:1", "check:0"}},
        {1, {"check:1", "check:0", "check:1"}},
        {2, {"check:2", "check:1", "check:0"}},
    };
    for (const auto &c : cases) {
        settings.stored = c.stored;
        surface.calls.clear();
        controller.windowLoaded();
        controller.autoLoginClicked();
        controller.autoLoginClicked();
        EXPECT_EQ(surface.calls, c.afterTwoClicks) << c.stored;
        EXPECT_EQ(settings.stored, c.stored == 1 ? 1 : 0);
    }
}

TEST_F(ApplicationLayer, BoxesAndEnterKeysReachTheCoreThroughTheWindowsTexts)
{
    connect();
    surface.texts[IdUser1] = "alice";
    surface.texts[IdPass1] = "secret";
    controller.textChanged(IdUser1);
    controller.textChanged(IdPass1);
    EXPECT_TRUE(surface.enabled[ButtonControl(Button::Login)]);
    controller.enterPressed(IdPass1);
    controller.enterReleased(IdPass1);
    surface.texts[IdSend] = "hi all\r\n";
    controller.enterPressed(IdSend);
    controller.enterReleased(IdSend);
    // "Add Server" needs all three boxes of its panel.
    for (int box : {IdNewServer, IdNewIP, IdNewPort}) {
        surface.texts[box] = "x";
        controller.textChanged(box);
        EXPECT_EQ(surface.enabled[ButtonControl(Button::AddServer)], box == IdNewPort) << box;
    }
    EXPECT_EQ(sentBodies(), (std::vector<Bytes>{Bytes("\x03\x01"
                                                      "alice\0secret",
                                                      14),
                                                "\x05hi all"}));
}

TEST_F(ApplicationLayer, TheChosenRowIsWhatPlayStarts)
{
    connect();
    deliver(Bytes("\x01\x04\x01\x03My Town\0Ostrik\0"
                  "127.0.0.9",
                  28));
    for (int index : {0, 31, 255})
        controller.serverRowChosen(index); // no such row
    EXPECT_FALSE(surface.enabled.count(ButtonControl(Button::PlaySelectedServer)));
    controller.serverRowChosen(4);
    EXPECT_TRUE(surface.enabled[ButtonControl(Button::PlaySelectedServer)]);
    controller.noServerRowChosen();
    EXPECT_FALSE(surface.enabled[ButtonControl(Button::PlaySelectedServer)]);
    controller.serverRowActivated();
    controller.buttonReleased(Button::PlaySelectedServer);
    EXPECT_EQ(shell.opened,
              (std::vector<std::string>(2, "tlm.exe 127.0.0.9 2601 My+Town C:\\Game\\Talmora\\")));
}

std::vector<int> indicesOf(const std::vector<ShownServerRow> &rows)
{
    std::vector<int> indices;
    for (const ShownServerRow &row : rows)
        indices.push_back(row.index);
    return indices;
}

TEST_F(ApplicationLayer, AHeaderClickSortsTheServerListAndTheOrderIsKeptForTheNextStart)
{
    TempFolder temp;
    const Bytes ini = (temp.path() / "registry.ini").string();
    ServerListShown list(surface, clock, ini);
    view.setServerList(list);
    controller.setServerList(list);
    connect();
    const auto entry = [](char index, char players, const std::string &name) {
        return Bytes("\x01") + index + '\x01' + players + name + Bytes(1, '\0') + "Ann" +
               Bytes(1, '\0') + "10.0.0.1";
    };
    deliver(entry(4, 3, "Beta"));
    deliver(entry(9, 12, "Alpha"));
    EXPECT_EQ(surface.arrived, (std::vector<int>{4, 9})) << "as they come, nothing chosen";
    EXPECT_TRUE(surface.shownRows.empty());

    controller.serverHeaderClicked(ServerColumn::Players);
    EXPECT_EQ(indicesOf(surface.shownRows), (std::vector<int>{4, 9}));
    controller.serverHeaderClicked(ServerColumn::Players);
    EXPECT_EQ(indicesOf(surface.shownRows), (std::vector<int>{9, 4}));
    EXPECT_EQ(surface.sortIndicator, std::make_pair(ServerColumn::Players, SortOrder::Descending));
    deliver(entry(4, 50, "Beta")); // more players: it moves up
    EXPECT_EQ(indicesOf(surface.shownRows), (std::vector<int>{4, 9}));

    RecordingSurface next;
    ServerListShown restarted(next, clock, ini);
    EXPECT_EQ(next.sortIndicator, std::make_pair(ServerColumn::Players, SortOrder::Descending));
    restarted.rowArrived(4, {"Online", "Beta", "3", "Ann"});
    restarted.rowArrived(9, {"Online", "Alpha", "12", "Ann"});
    EXPECT_EQ(indicesOf(next.shownRows), (std::vector<int>{9, 4}));
    EXPECT_TRUE(next.arrived.empty());
}

// While the list is arranged, a row that goes last is added as it comes and an update that
// moves nothing is shown in place; only a row that goes elsewhere shows the list again.
TEST_F(ApplicationLayer, AnArrangedListIsShownAgainOnlyWhenItsOrderChanges)
{
    TempFolder temp;
    ServerListShown list(surface, clock, (temp.path() / "registry.ini").string());
    list.setFindText("a");
    list.cleared();
    const int shows = surface.wholeShows;
    list.rowArrived(1, {"Online", "Alpha", "3", "Ann"});
    list.rowArrived(2, {"Online", "Beta", "4", "Ann"});
    list.rowArrived(3, {"Online", "Zed", "4", "Bo"}); // kept out by the find text
    list.rowArrived(2, {"Online", "Beta", "9", "Ann"});
    EXPECT_EQ(surface.wholeShows, shows);
    EXPECT_EQ(surface.arrived, (std::vector<int>{1, 2, 2}));

    list.toggleFavourite(2); // Beta on top
    EXPECT_EQ(indicesOf(surface.shownRows), (std::vector<int>{2, 1}));
    list.rowArrived(4, {"Online", "Gamma", "1", "Ann"}); // last
    EXPECT_EQ(surface.wholeShows, shows + 1);
    list.rowArrived(5, {"Online", "Beta", "2", "Ann"}); // a favourite: among those on top
    EXPECT_EQ(surface.wholeShows, shows + 2);
    EXPECT_EQ(indicesOf(surface.shownRows), (std::vector<int>{2, 5, 1, 4}));
    list.rowArrived(1, {"Offline", "Alpha", "0", "Ann"});
    list.setHideOffline(true);
    EXPECT_EQ(indicesOf(surface.shownRows), (std::vector<int>{2, 5, 4}));
}

TEST_F(ApplicationLayer, OnlyAStartedGameKeepsTheServerLastPlayedAndThePlayersChoiceStands)
{
    TempFolder temp;
    const Bytes ini = (temp.path() / "registry.ini").string();
    const auto entry = [](char index, const std::string &name) {
        return Bytes("\x01") + index + "\x01\x03" + name + Bytes(1, '\0') + "Ann" + Bytes(1, '\0') +
               "10.0.0.1";
    };
    const struct
    {
        common::ShellResult launch;
        bool choseFirst; // the player chose East before West arrived
        int chosenByProgram;
    } cases[] = {
        {common::ShellResult::Started, false, 2},
        {common::ShellResult::Started, true, 0},
        {common::ShellResult::Failed, false, 0},
        {common::ShellResult::NoApplication, false, 0},
    };
    connect();
    for (const auto &c : cases) {
        std::filesystem::remove(temp.path() / "registry.ini");
        RecordingSurface before;
        ServerListShown list(before, clock, ini);
        view.setServerList(list);
        controller.setServerList(list);
        deliver(entry(2, "West"));
        controller.serverRowChosen(2);
        shell.result = c.launch;
        controller.buttonReleased(Button::PlaySelectedServer);

        surface.chosenRow = 0;
        RecordingSurface after;
        ServerListShown next(after, clock, ini);
        view.setServerList(next);
        controller.setServerList(next);
        deliver(entry(1, "East"));
        if (c.choseFirst)
            controller.serverRowChosen(1);
        deliver(entry(2, "West"));
        EXPECT_EQ(surface.chosenRow, c.chosenByProgram) << static_cast<int>(c.launch);
        EXPECT_EQ(next.chosenRow().value_or(0), c.chosenByProgram ? 2 : (c.choseFirst ? 1 : 0))
            << static_cast<int>(c.launch);
    }
}

TEST_F(ApplicationLayer, QuittingEndsTheProgramOnceAfterTheCurrentEvent)
{
    int quits = 0;
    view.setQuitHandler([&] { ++quits; });
    controller.menuChosen(MenuItem::Exit);
    controller.closeRequested();
    EXPECT_EQ(quits, 0);
    surface.runPosted();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(controller.core().quitRequested());

    // A loop whose queue takes no more work still ends.
    WindowView full(surface);
    full.setQuitHandler([&] { ++quits; });
    surface.postWorks = false;
    full.quitRequested();
    EXPECT_EQ(quits, 2);
}

// Each menu's access letters are distinct, and the captions keep their text around the marks.
TEST(WindowDescription, MenusGetDistinctAccessLetters)
{
    EXPECT_EQ(registry::MarkedMenuTitles(), (std::vector<Bytes>{"&Registry", "&Server", "&About"}));
    const std::vector<Bytes> expected[] = {
        {"&Create New Account", "&Log In", "L&og Out", "&Exit"},
        {"&Run", "&Settings", "&Add New"},
        {"&Registry Credits", "&Version"},
    };
    for (std::size_t m = 0; m < std::size(registry::kMenus); ++m)
        EXPECT_EQ(registry::MarkedMenuCaptions(registry::kMenus[m]), expected[m]) << m;
    const char *crowded[] = {"ab", "BA", "a&b", "x"};
    EXPECT_EQ(registry::WithAccessLetters(crowded),
              (std::vector<Bytes>{"&ab", "&BA", "a&&b", "&x"}));
}

} // namespace

TEST_F(ApplicationLayer, ChatLinesNamingThePlayerAreMarkedAndTimesAreKeptForTheNextStart)
{
    TempFolder temp;
    const Bytes ini = (temp.path() / "registry.ini").string();
    ManualLocalClock local;
    ChatLineShowing showing(local, ini);
    showing.setPlayerName([this] { return controller.core().accountName(); });
    view.setChatLineShowing(showing);
    controller.setChatLineShowing(showing);
    controller.windowLoaded();
    EXPECT_FALSE(surface.chatTimesChecked);
    connect();
    deliver(Bytes("\x05\x02\x00", 3) + "Brannoc");
    surface.runPosted();
    surface.chatInserts.clear();
    surface.chatInsertsMarked.clear();

    // One pass: one insertion for each run of marked or unmarked lines.
    for (const char *line : {"Ostrik: hi all", "Ostrik: hi BRANNOC!", "Ostrik: brannoc, here",
                             "Ostrik: Brannocs", "Brannoc: my own line", "Ostrik: x_brannoc"})
        deliver(Bytes("\x07") + line);
    surface.runPosted();
    EXPECT_EQ(
        surface.chatInserts,
        (std::vector<Bytes>{"Ostrik: hi all", "Ostrik: hi BRANNOC!\r\nOstrik: brannoc, here",
                            "Ostrik: Brannocs\r\nBrannoc: my own line\r\nOstrik: x_brannoc"}));
    EXPECT_EQ(surface.chatInsertsMarked, (std::vector<bool>{false, true, false}));

    local.set(14, 5);
    controller.chatTimesToggled();
    EXPECT_TRUE(surface.chatTimesChecked);
    deliver(Bytes("\x07") + "Ostrik: late");
    local.set(9, 30);
    deliver(Bytes("\x07") + "Ostrik: later");
    surface.runPosted();
    EXPECT_EQ(surface.chatInserts.back(), "[14:05] Ostrik: late\r\n[09:30] Ostrik: later");

    // The choice is read again at the next start, and turning it off is kept too.
    ChatLineShowing restarted(local, ini);
    EXPECT_TRUE(restarted.showsTimes());
    controller.chatTimesToggled();
    EXPECT_FALSE(ChatLineShowing(local, ini).showsTimes());
    controller.menuChosen(MenuItem::LogOut);
    EXPECT_TRUE(controller.core().accountName().empty());
}

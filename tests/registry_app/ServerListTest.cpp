// The server list as the player sorts, searches and pins it.
#include "registry/app/ServerList.h"
#include "common/IniStore.h"
#include "registry/app/ServerListSettings.h"
#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using registry::ServerColumn;
using registry::ServerList;
using registry::ServerRowText;

ServerRowText row(const char *name, int players, bool online = true, const char *admin = "Ann")
{
    return {online ? "Online" : "Offline", name, std::to_string(players), admin};
}

std::vector<int> order(const ServerList &list)
{
    std::vector<int> out;
    for (const auto &shown : list.shown())
        out.push_back(shown.index);
    return out;
}

// Only what the order, the filter or the favourites look at can rearrange the list; an
// update that cannot is shown in place without arranging the list again.
TEST(ServerList, OnlyAChangeTheArrangementLooksAtCanRearrange)
{
    const struct
    {
        const char *what;
        ServerRowText update;
        int headerClicks; // on Players: 0 arrival order, 1 fewest first
        bool could;
    } cases[] = {
        {"players, arrival order", row("Alpha", 40), 0, false},
        {"players, sorted by them", row("Alpha", 40), 1, true},
        {"players text, same number", {"Online", "Alpha", "3 ", "Ann"}, 1, false},
        {"gone offline", row("Alpha", 3, false), 0, true},
        {"renamed", row("Alpha II", 3), 0, true},
        {"another administrator", row("Alpha", 3, true, "Bo"), 0, true},
        {"nothing", row("Alpha", 3), 1, false},
    };
    for (const auto &c : cases) {
        ServerList list;
        list.setRow(4, row("Alpha", 3));
        for (int click = 0; click < c.headerClicks; ++click)
            list.headerClicked(ServerColumn::Players);
        EXPECT_EQ(list.couldRearrange(4, c.update), c.could) << c.what;
        EXPECT_TRUE(list.couldRearrange(5, c.update)) << "a new row, " << c.what;
    }
}

TEST(ServerList, SortsByAColumnThroughThreeClicksAndKeepsTheOrderUnderUpdates)
{
    ServerList list;
    list.setRow(7, row("beta", 12));
    list.setRow(2, row("Alpha", 9, false));
    list.setRow(5, row("gamma", 100));
    EXPECT_EQ(order(list), (std::vector<int>{7, 2, 5})) << "arrival order by default";

    list.headerClicked(ServerColumn::Players);
    EXPECT_EQ(order(list), (std::vector<int>{2, 7, 5})) << "players as numbers";
    list.setRow(2, row("Alpha", 200, false)); // updated in place: moves to its place
    EXPECT_EQ(order(list), (std::vector<int>{7, 5, 2}));
    list.headerClicked(ServerColumn::Players);
    EXPECT_EQ(order(list), (std::vector<int>{2, 5, 7}));
    list.headerClicked(ServerColumn::Players);
    EXPECT_EQ(order(list), (std::vector<int>{7, 2, 5})) << "third click: arrival again";

    list.headerClicked(ServerColumn::Name);
    EXPECT_EQ(order(list), (std::vector<int>{2, 7, 5})) << "names without regard to case";
    list.headerClicked(ServerColumn::Status);
    EXPECT_EQ(order(list), (std::vector<int>{7, 5, 2})) << "online first, then arrival";
    EXPECT_EQ(list.choices().column, ServerColumn::Status);
    EXPECT_EQ(list.choices().order, registry::SortOrder::Ascending);

    list.clear();
    list.setRow(3, row("delta", 1));
    EXPECT_EQ(order(list), (std::vector<int>{3}));
}

TEST(ServerList, FindsByNameOrAdministratorAndHidesOfflineServers)
{
    ServerList list;
    list.setRow(1, row("Eastmarch", 3, true, "Bjorn"));
    list.setRow(2, row("Caf\xC9 du Nord", 0, false, "Ann")); // "CAFÉ" in code page 1252
    list.setRow(3, row("Westreach", 5, true, "eastwood"));

    const struct
    {
        const char *find;
        bool hideOffline;
        std::vector<int> shown;
    } cases[] = {
        {"", false, {1, 2, 3}}, {"EAST", false, {1, 3}}, {"caf\xE9", false, {2}},
        {"", true, {1, 3}},     {"ann", true, {}},       {"nothing", false, {}},
    };
    for (const auto &c : cases) {
        list.setFindText(c.find);
        list.setHideOffline(c.hideOffline);
        EXPECT_EQ(order(list), c.shown) << c.find << " " << c.hideOffline;
        for (int index : {1, 2, 3})
            EXPECT_EQ(list.isShown(index),
                      std::find(c.shown.begin(), c.shown.end(), index) != c.shown.end());
    }
}

TEST(ServerList, FavouritesStayOnTopAndFollowTheServerNotItsIndex)
{
    ServerList list;
    list.setRow(1, row("Alpha", 5));
    list.setRow(2, row("Beta", 50));
    list.setRow(3, row("Beta", 7, true, "Other")); // same name, another administrator
    ASSERT_TRUE(list.toggleFavourite(3));
    EXPECT_FALSE(list.toggleFavourite(9)) << "no such row";
    list.headerClicked(ServerColumn::Players);
    list.headerClicked(ServerColumn::Players); // most players first
    EXPECT_EQ(order(list), (std::vector<int>{3, 2, 1}));
    EXPECT_TRUE(list.shown().front().favourite);
    EXPECT_FALSE(list.isFavourite(2));

    // After a reconnection the registry server numbers its servers anew.
    ServerList restarted(list.choices());
    restarted.setRow(4, row("Alpha", 5));
    restarted.setRow(1, row("Beta", 7, true, "Other"));
    EXPECT_EQ(order(restarted), (std::vector<int>{1, 4}));
    EXPECT_EQ(restarted.find({"Beta", "Other"}), 1);
    ASSERT_TRUE(restarted.toggleFavourite(1));
    EXPECT_TRUE(restarted.choices().favourites.empty());
}

TEST(ServerList, GivesWordWhenAFavouriteComesOnlineAfterTheListSentOnConnecting)
{
    ServerList list;
    const std::int64_t later = ServerList::kListSettleMs;
    list.setRow(1, row("East", 0, false), 0);
    list.setRow(2, row("West", 3), 0);
    ASSERT_TRUE(list.toggleFavourite(1));
    EXPECT_FALSE(list.setRow(1, row("East", 12), later)) << "off until the player asks";
    list.setRow(1, row("East", 0, false), later);
    list.setFavouriteNotices(true);

    EXPECT_EQ(list.setRow(1, row("East", 12), later), "East is online (12 players)");
    EXPECT_FALSE(list.setRow(1, row("East", 13), later)) << "already online";
    EXPECT_FALSE(list.setRow(2, row("West", 0, false), later));
    EXPECT_FALSE(list.setRow(2, row("West", 1), later)) << "not a favourite";

    // After a reconnection the list sent on connecting is not news; a favourite that
    // appears online after it is.
    list.clear();
    EXPECT_FALSE(list.setRow(1, row("East", 12), 100000));
    EXPECT_FALSE(list.setRow(2, row("West", 0, false), 100000 + later - 1));
    list.toggleFavourite(2);
    list.clear();
    list.setRow(5, row("Other", 0), 200000);
    EXPECT_EQ(list.setRow(2, row("West", 1), 200000 + later), "West is online (1 player)");
}

} // namespace

namespace {

TEST(ServerListSettings, KeepsTheChoicesBesideTheAccountAndReadsBadValuesAsNothingChosen)
{
    TempFolder temp;
    const common::Bytes ini = (temp.path() / "registry.ini").string();
    writeFile(temp.path() / "registry.ini", "[Account]\nUser=ann\nAuto Login=1\n");

    registry::ServerListChoices choices;
    choices.column = ServerColumn::Players;
    choices.order = registry::SortOrder::Descending;
    choices.favourites = {{" Eastmarch ", "Bj\xF6rn"}, {"Line\nbreak", "x"}, {"West", ""}};
    choices.favouriteNotices = true;
    choices.hideOffline = true;
    choices.lastPlayed = registry::ServerKey{"West", "Ann"};
    ASSERT_TRUE(registry::WriteServerListChoices(ini, choices));

    const registry::ServerListChoices read = registry::ReadServerListChoices(ini);
    EXPECT_EQ(read.column, ServerColumn::Players);
    EXPECT_EQ(read.order, registry::SortOrder::Descending);
    const std::set<registry::ServerKey> kept = {{" Eastmarch ", "Bj\xF6rn"}, {"West", ""}};
    EXPECT_TRUE(read.favourites == kept) << "blanks kept; a name with a line break left out";
    EXPECT_TRUE(read.favouriteNotices);
    EXPECT_TRUE(read.hideOffline);
    EXPECT_TRUE(read.lastPlayed == (registry::ServerKey{"West", "Ann"}));
    EXPECT_EQ(common::ReadIniString(ini, "Account", "User"), "ann");
    EXPECT_EQ(common::ReadIniNumber(ini, "Account", "Auto Login"), 1);

    ASSERT_TRUE(common::WriteIni(ini, "Server List", "Sort Order", "7"));
    EXPECT_EQ(registry::ReadServerListChoices(ini).order, registry::SortOrder::Arrival);
    EXPECT_TRUE(registry::ReadServerListChoices(ini + ".missing").favourites.empty());
}

} // namespace

#pragma once

#include "registry/net/RegistryView.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace registry {

// The columns a player can sort the server list by.
enum class ServerColumn : int
{
    Status = 0,
    Name = 1,
    Players = 2,
    Administrator = 3,
};

enum class SortOrder : int
{
    Arrival = 0, // as the registry server sent the rows: new rows at the end
    Ascending = 1,
    Descending = 2,
};

// A server as the player knows it across connections and restarts: the registry server's
// index for it changes, its name and administrator do not.
struct ServerKey
{
    Bytes name;
    Bytes administrator;

    bool operator<(const ServerKey &other) const
    {
        return name != other.name ? name < other.name : administrator < other.administrator;
    }
    bool operator==(const ServerKey &other) const
    {
        return name == other.name && administrator == other.administrator;
    }
};

// What the player chose for the list, kept between runs.
struct ServerListChoices
{
    ServerColumn column = ServerColumn::Name;
    SortOrder order = SortOrder::Arrival;
    std::set<ServerKey> favourites;
    bool favouriteNotices = false; // word when a favourite comes online
    bool hideOffline = false;
    std::optional<ServerKey> lastPlayed;
};

// A row as the list shows it.
struct ShownServerRow
{
    int index = 0;
    ServerRowText text;
    bool favourite = false;
};

// The server list as the player sees it: the core's rows (one per server index, in the order
// they first arrived), sorted by the chosen column, kept to those the find text and the
// "Hide offline" box let through, with favourites on top of whatever order is chosen. With
// nothing chosen it is the core's list as it arrived.
class ServerList
{
public:
    explicit ServerList(ServerListChoices choices = {}) : m_choices(std::move(choices)) {}

    // Rows that arrive within this time of the first row after a clear are the list the
    // registry server sends on connecting: they are what is there, not news.
    static constexpr std::int64_t kListSettleMs = 5000;

    // The core's rows, at `nowMs` on the program's clock. Gives the word to show when the
    // row is a favourite that came online (it was offline, or is new) after the list sent
    // on connecting, and the player asked for such word: "Eastmarch is online (12 players)".
    std::optional<Bytes> setRow(int index, const ServerRowText &row, std::int64_t nowMs = 0);
    // Whether `row` arriving for `index` could move, show or hide any row: it is new, or what
    // the order, the filter or the favourites look at changes. Most updates change only the
    // players of a list that is not sorted by them.
    bool couldRearrange(int index, const ServerRowText &row) const;
    void clear();
    void setFavouriteNotices(bool on) { m_choices.favouriteNotices = on; }
    void setLastPlayed(const ServerKey &key) { m_choices.lastPlayed = key; }

    // A click on a column's header: the first sorts by it from A to Z (online first, fewest
    // players first), the second reverses that, the third returns to the arrival order. A
    // click on another column starts again at A to Z.
    void headerClicked(ServerColumn column);
    // Rows whose server name or administrator holds `text`, letters compared without case.
    void setFindText(ByteView text);
    void setHideOffline(bool hide);
    // Adds the row's server to the favourites, or removes it. False when there is no such row.
    bool toggleFavourite(int index);

    // The rows to show, in order; and only their indices.
    std::vector<ShownServerRow> shown() const;
    std::vector<int> shownOrder() const;
    bool isShown(int index) const;
    // Whether a find text or "Hide offline" keeps rows out.
    bool filters() const { return !m_find.empty() || m_choices.hideOffline; }
    bool hidesOffline() const { return m_choices.hideOffline; }
    bool isFavourite(int index) const;
    const ServerListChoices &choices() const { return m_choices; }
    // The row of the server `key` names, if the list has it.
    std::optional<int> find(const ServerKey &key) const;
    // The core's text of the row `index`; empty when there is no such row.
    const ServerRowText &rowText(int index) const;

private:
    struct Row
    {
        ServerRowText text;
        int arrival = 0;
        // Kept with the text, so that arranging the list compares without copying.
        Bytes lowerName;
        Bytes lowerAdministrator;
        bool favourite = false;
    };
    bool passes(const Row &row) const;
    bool before(const Row &a, const Row &b) const;
    using Entry = std::pair<const int, Row>;
    std::vector<const Entry *> arranged() const;
    // -1, 0 or 1 as `a` goes before, with or after `b` from A to Z in the chosen column.
    int compare(const Row &a, const Row &b) const;
    static ServerKey keyOf(const Row &row) { return {row.text.name, row.text.administrator}; }

    ServerListChoices m_choices;
    std::map<int, Row> m_rows;
    int m_arrivals = 0;
    std::optional<std::int64_t> m_listStart; // the first row after a clear
    Bytes m_find;                            // lowered
};

} // namespace registry

#pragma once

#include "common/Clock.h"
#include "registry/app/DesktopNotifier.h"
#include "registry/app/ServerList.h"
#include "registry/app/WindowSurface.h"

#include <functional>
#include <optional>
#include <vector>

namespace registry {

// The server list between the core and the window: the core's rows go into the list's model,
// and the window shows the model's rows whenever the player has chosen an order, a find text,
// "Hide offline" or a favourite. With nothing chosen the rows go to the window as they come
// (new rows at the end, known rows in place), as the registry server sent them. The player's
// choices are written to registry.ini as they change.
class ServerListShown
{
public:
    // `iniPath`: registry.ini, where the choices are read from now and kept.
    ServerListShown(WindowSurface &surface, const common::Clock &clock, Bytes iniPath);

    // Where the word that a favourite came online goes; without one it goes nowhere.
    void setNotifier(DesktopNotifier &notifier) { m_notifier = &notifier; }
    // What the window's choice of a row becomes when the list decides it: `choose` when the
    // server last played appears (the first time in this run, before the player has chosen a
    // row), `unchoose` when the filter hides the chosen row.
    void setChoiceHandlers(std::function<void(int)> choose, std::function<void()> unchoose)
    {
        m_choose = std::move(choose);
        m_unchoose = std::move(unchoose);
    }

    // From the core.
    void rowArrived(int index, const ServerRowText &row);
    void cleared();

    // From the player.
    void headerClicked(ServerColumn column);
    void setFindText(ByteView text);
    void setHideOffline(bool hide);
    // Adds the row's server to the favourites or takes it out; nothing for no such row.
    void toggleFavourite(int index);
    void setFavouriteNotices(bool on);
    // The row chosen in the window, and a click that chose none.
    void rowChosen(int index);
    void noRowChosen() { m_chosen.reset(); }
    // The game client was started at the server `key` names.
    void played(const ServerKey &key);

    const ServerList &list() const { return m_list; }
    std::optional<int> chosenRow() const { return m_chosen; }

private:
    // Whether the window shows other than the arrival order of every row.
    bool arranged() const;
    void showAll();
    // A row of the core changed while the list is arranged: the whole list again when the
    // rows shown or their order changed, otherwise only that row. The order is looked at only
    // when the change `couldRearrange` it.
    void showChanged(int index, bool couldRearrange);
    // The rows as the window shows them, the favourites' names marked.
    std::vector<ShownServerRow> shownRows() const;
    void keepChoices();
    // After the rows shown changed: the chosen row hidden is un-chosen, the server last
    // played chosen when it shows.
    void followChoice();

    WindowSurface &m_surface;
    const common::Clock &m_clock;
    Bytes m_iniPath;
    ServerList m_list;
    DesktopNotifier *m_notifier = nullptr;
    std::function<void(int)> m_choose;
    std::function<void()> m_unchoose;
    std::optional<int> m_chosen;
    // The indices the window shows, in order, when it last showed the arranged list; none
    // once rows went to it as they came.
    std::optional<std::vector<int>> m_shownOrder;
    bool m_lastPlayedPending = false; // the server last played is still to be chosen
};

} // namespace registry

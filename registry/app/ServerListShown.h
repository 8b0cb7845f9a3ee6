#pragma once

#include "common/Clock.h"
#include "registry/app/ServerList.h"
#include "registry/app/WindowSurface.h"

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

    // From the core.
    void rowArrived(int index, const ServerRowText &row);
    void cleared();

    // From the player.
    void headerClicked(ServerColumn column);

    const ServerList &list() const { return m_list; }

private:
    // Whether the window shows other than the arrival order of every row.
    bool arranged() const;
    void showAll();
    void keepChoices();

    WindowSurface &m_surface;
    const common::Clock &m_clock;
    Bytes m_iniPath;
    ServerList m_list;
};

} // namespace registry

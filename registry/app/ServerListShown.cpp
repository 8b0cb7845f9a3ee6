#include "registry/app/ServerListShown.h"

#include "registry/app/ServerListSettings.h"

#include <utility>

namespace registry {

ServerListShown::ServerListShown(WindowSurface &surface, const common::Clock &clock, Bytes iniPath)
    : m_surface(surface), m_clock(clock), m_iniPath(std::move(iniPath)),
      m_list(ReadServerListChoices(m_iniPath))
{
    m_surface.setSortIndicator(m_list.choices().column, m_list.choices().order);
}

bool ServerListShown::arranged() const
{
    const ServerListChoices &choices = m_list.choices();
    return choices.order != SortOrder::Arrival || !choices.favourites.empty();
}

void ServerListShown::rowArrived(int index, const ServerRowText &row)
{
    m_list.setRow(index, row, m_clock.nowMs());
    if (arranged())
        showAll();
    else
        m_surface.setServerRow(index, row);
}

void ServerListShown::cleared()
{
    m_list.clear();
    m_surface.clearServerRows();
}

void ServerListShown::headerClicked(ServerColumn column)
{
    m_list.headerClicked(column);
    m_surface.setSortIndicator(m_list.choices().column, m_list.choices().order);
    showAll();
    keepChoices();
}

void ServerListShown::showAll()
{
    m_surface.showServerRows(m_list.shown());
}

void ServerListShown::keepChoices()
{
    // A file that cannot be written keeps what it had; the choice holds for this run.
    WriteServerListChoices(m_iniPath, m_list.choices());
}

} // namespace registry

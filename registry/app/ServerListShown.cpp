#include "registry/app/ServerListShown.h"

#include "registry/app/ServerListSettings.h"
#include "registry/app/WindowDescription.h"

#include <algorithm>
#include <utility>

namespace registry {

ServerListShown::ServerListShown(WindowSurface &surface, const common::Clock &clock, Bytes iniPath)
    : m_surface(surface), m_clock(clock), m_iniPath(std::move(iniPath)),
      m_list(ReadServerListChoices(m_iniPath)),
      m_lastPlayedPending(m_list.choices().lastPlayed.has_value())
{
    m_surface.setSortIndicator(m_list.choices().column, m_list.choices().order);
    m_surface.setCheck(IdHideOffline, m_list.hidesOffline() ? 1 : 0);
}

bool ServerListShown::arranged() const
{
    const ServerListChoices &choices = m_list.choices();
    return choices.order != SortOrder::Arrival || !choices.favourites.empty() || m_list.filters();
}

void ServerListShown::rowArrived(int index, const ServerRowText &row)
{
    const bool couldRearrange = m_list.couldRearrange(index, row);
    const std::optional<Bytes> notice = m_list.setRow(index, row, m_clock.nowMs());
    if (arranged()) {
        showChanged(index, couldRearrange);
    } else {
        m_surface.setServerRow(index, row);
        m_shownOrder.reset();
    }
    followChoice();
    if (notice && m_notifier)
        m_notifier->notify(*notice);
}

void ServerListShown::cleared()
{
    m_list.clear();
    m_surface.clearServerRows();
    m_shownOrder.emplace();
    // The rows are gone; what Play starts is left as it was.
    m_chosen.reset();
}

void ServerListShown::headerClicked(ServerColumn column)
{
    m_list.headerClicked(column);
    m_surface.setSortIndicator(m_list.choices().column, m_list.choices().order);
    showAll();
    keepChoices();
}

void ServerListShown::setFindText(ByteView text)
{
    m_list.setFindText(text);
    showAll();
    followChoice();
}

void ServerListShown::setHideOffline(bool hide)
{
    m_list.setHideOffline(hide);
    showAll();
    followChoice();
    keepChoices();
}

void ServerListShown::toggleFavourite(int index)
{
    if (!m_list.toggleFavourite(index))
        return;
    showAll();
    keepChoices();
}

void ServerListShown::setFavouriteNotices(bool on)
{
    m_list.setFavouriteNotices(on);
    keepChoices();
}

void ServerListShown::rowChosen(int index)
{
    m_chosen = index;
    m_lastPlayedPending = false; // the player's own choice stands
}

void ServerListShown::played(const ServerKey &key)
{
    m_list.setLastPlayed(key);
    keepChoices();
}

void ServerListShown::followChoice()
{
    if (m_chosen && !m_list.isShown(*m_chosen)) {
        m_chosen.reset();
        if (m_unchoose)
            m_unchoose();
    }
    if (!m_lastPlayedPending)
        return;
    const std::optional<int> last = m_list.find(*m_list.choices().lastPlayed);
    if (!last || !m_list.isShown(*last))
        return;
    m_lastPlayedPending = false;
    m_chosen = last;
    if (m_choose)
        m_choose(*last);
}

std::vector<ShownServerRow> ServerListShown::shownRows() const
{
    std::vector<ShownServerRow> rows = m_list.shown();
    for (ShownServerRow &row : rows)
        if (row.favourite)
            row.text.name = kFavouriteMark + row.text.name;
    return rows;
}

void ServerListShown::showAll()
{
    const std::vector<ShownServerRow> rows = shownRows();
    m_surface.showServerRows(rows);
    m_shownOrder.emplace();
    for (const ShownServerRow &row : rows)
        m_shownOrder->push_back(row.index);
}

void ServerListShown::showChanged(int index, bool couldRearrange)
{
    if (couldRearrange) {
        const std::vector<int> order = m_list.shownOrder();
        if (order != m_shownOrder) {
            // A new row that goes last is added as it comes, like a row of the list as sent;
            // any other change shows the whole list again.
            const bool appended =
                m_shownOrder && order.size() == m_shownOrder->size() + 1 && order.back() == index &&
                std::equal(m_shownOrder->begin(), m_shownOrder->end(), order.begin());
            if (!appended) {
                showAll();
                return;
            }
            m_shownOrder->push_back(index);
        }
    }
    if (!m_list.isShown(index))
        return;
    const ServerRowText &text = m_list.rowText(index);
    if (!m_list.isFavourite(index)) {
        m_surface.setServerRow(index, text);
        return;
    }
    ServerRowText marked = text;
    marked.name = kFavouriteMark + marked.name;
    m_surface.setServerRow(index, marked);
}

void ServerListShown::keepChoices()
{
    // A file that cannot be written keeps what it had; the choice holds for this run.
    WriteServerListChoices(m_iniPath, m_list.choices());
}

} // namespace registry

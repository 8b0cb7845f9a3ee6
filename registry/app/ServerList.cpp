#include "registry/app/ServerList.h"

#include "common/LeadingNumber.h"

#include <algorithm>

namespace registry {

namespace {

bool isOnline(const ServerRowText &row)
{
    return row.status == "Online";
}

} // namespace

int ServerList::compare(const Row &a, const Row &b) const
{
    const auto three = [](const auto &x, const auto &y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (m_choices.column) {
    case ServerColumn::Status:
        return three(!isOnline(a.text), !isOnline(b.text));
    case ServerColumn::Players:
        return three(common::LeadingNumberRounded(a.text.players),
                     common::LeadingNumberRounded(b.text.players));
    case ServerColumn::Name:
        return three(a.lowerName, b.lowerName);
    case ServerColumn::Administrator:
        return three(a.lowerAdministrator, b.lowerAdministrator);
    }
    return 0;
}

std::optional<Bytes> ServerList::setRow(int index, const ServerRowText &row, std::int64_t nowMs)
{
    if (!m_listStart)
        m_listStart = nowMs;
    const auto [it, added] = m_rows.try_emplace(index);
    const bool cameOnline = isOnline(row) && (added || !isOnline(it->second.text));
    if (added)
        it->second.arrival = m_arrivals++;
    const bool renamed = added || it->second.text.name != row.name ||
                         it->second.text.administrator != row.administrator;
    it->second.text = row;
    if (renamed) {
        it->second.lowerName = common::LowerCase1252(row.name);
        it->second.lowerAdministrator = common::LowerCase1252(row.administrator);
        it->second.favourite = m_choices.favourites.count(keyOf(it->second)) != 0;
    }
    if (!cameOnline || !m_choices.favouriteNotices || nowMs - *m_listStart < kListSettleMs ||
        !it->second.favourite)
        return std::nullopt;
    return row.name + " is online (" + row.players +
           (row.players == "1" ? " player)" : " players)");
}

bool ServerList::couldRearrange(int index, const ServerRowText &row) const
{
    const auto it = m_rows.find(index);
    if (it == m_rows.end())
        return true;
    const ServerRowText &was = it->second.text;
    if (isOnline(was) != isOnline(row) || was.name != row.name ||
        was.administrator != row.administrator)
        return true;
    return m_choices.order != SortOrder::Arrival && m_choices.column == ServerColumn::Players &&
           common::LeadingNumberRounded(was.players) != common::LeadingNumberRounded(row.players);
}

void ServerList::clear()
{
    m_rows.clear();
    m_arrivals = 0;
    m_listStart.reset();
}

void ServerList::headerClicked(ServerColumn column)
{
    if (column != m_choices.column || m_choices.order == SortOrder::Arrival) {
        m_choices.column = column;
        m_choices.order = SortOrder::Ascending;
    } else {
        m_choices.order =
            m_choices.order == SortOrder::Ascending ? SortOrder::Descending : SortOrder::Arrival;
    }
}

void ServerList::setFindText(ByteView text)
{
    m_find = common::LowerCase1252(text);
}

void ServerList::setHideOffline(bool hide)
{
    m_choices.hideOffline = hide;
}

bool ServerList::toggleFavourite(int index)
{
    const auto it = m_rows.find(index);
    if (it == m_rows.end())
        return false;
    const ServerKey key = keyOf(it->second);
    const bool favourite = m_choices.favourites.erase(key) == 0;
    if (favourite)
        m_choices.favourites.insert(key);
    for (auto &entry : m_rows)
        if (keyOf(entry.second) == key)
            entry.second.favourite = favourite;
    return true;
}

bool ServerList::passes(const Row &row) const
{
    if (m_choices.hideOffline && !isOnline(row.text))
        return false;
    return m_find.empty() || row.lowerName.find(m_find) != Bytes::npos ||
           row.lowerAdministrator.find(m_find) != Bytes::npos;
}

bool ServerList::before(const Row &a, const Row &b) const
{
    if (a.favourite != b.favourite)
        return a.favourite;
    if (m_choices.order != SortOrder::Arrival) {
        const int order = compare(a, b);
        if (order != 0)
            return m_choices.order == SortOrder::Ascending ? order < 0 : order > 0;
    }
    return a.arrival < b.arrival;
}

std::vector<const ServerList::Entry *> ServerList::arranged() const
{
    std::vector<const Entry *> rows;
    rows.reserve(m_rows.size());
    for (const auto &entry : m_rows)
        if (passes(entry.second))
            rows.push_back(&entry);
    std::sort(rows.begin(), rows.end(),
              [this](const Entry *a, const Entry *b) { return before(a->second, b->second); });
    return rows;
}

std::vector<ShownServerRow> ServerList::shown() const
{
    std::vector<ShownServerRow> out;
    for (const Entry *entry : arranged())
        out.push_back({entry->first, entry->second.text, entry->second.favourite});
    return out;
}

std::vector<int> ServerList::shownOrder() const
{
    std::vector<int> out;
    for (const Entry *entry : arranged())
        out.push_back(entry->first);
    return out;
}

bool ServerList::isShown(int index) const
{
    const auto it = m_rows.find(index);
    return it != m_rows.end() && passes(it->second);
}

bool ServerList::isFavourite(int index) const
{
    const auto it = m_rows.find(index);
    return it != m_rows.end() && it->second.favourite;
}

const ServerRowText &ServerList::rowText(int index) const
{
    static const ServerRowText none;
    const auto it = m_rows.find(index);
    return it == m_rows.end() ? none : it->second.text;
}

std::optional<int> ServerList::find(const ServerKey &key) const
{
    for (const auto &[index, row] : m_rows)
        if (keyOf(row) == key)
            return index;
    return std::nullopt;
}

} // namespace registry

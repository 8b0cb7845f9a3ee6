#include "registry/app/ServerList.h"

#include "common/LeadingNumber.h"

#include <algorithm>

namespace registry {

namespace {

bool holds(ByteView text, const Bytes &loweredPart)
{
    return common::LowerCase1252(text).find(loweredPart) != Bytes::npos;
}

bool isOnline(const ServerRowText &row)
{
    return row.status == "Online";
}

// -1, 0 or 1 as `a` goes before, with or after `b` from A to Z in `column`.
int compare(ServerColumn column, const ServerRowText &a, const ServerRowText &b)
{
    const auto three = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (column) {
    case ServerColumn::Status:
        return three(!isOnline(a), !isOnline(b));
    case ServerColumn::Players:
        return three(common::LeadingNumberRounded(a.players),
                     common::LeadingNumberRounded(b.players));
    case ServerColumn::Name:
        return three(common::LowerCase1252(a.name), common::LowerCase1252(b.name));
    case ServerColumn::Administrator:
        return three(common::LowerCase1252(a.administrator),
                     common::LowerCase1252(b.administrator));
    }
    return 0;
}

} // namespace

std::optional<Bytes> ServerList::setRow(int index, const ServerRowText &row, std::int64_t nowMs)
{
    if (!m_listStart)
        m_listStart = nowMs;
    const auto [it, added] = m_rows.try_emplace(index);
    const bool cameOnline = isOnline(row) && (added || !isOnline(it->second.text));
    if (added)
        it->second.arrival = m_arrivals++;
    it->second.text = row;
    if (!cameOnline || !m_choices.favouriteNotices || nowMs - *m_listStart < kListSettleMs ||
        !m_choices.favourites.count(keyOf(it->second)))
        return std::nullopt;
    return row.name + " is online (" + row.players +
           (row.players == "1" ? " player)" : " players)");
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
    m_hideOffline = hide;
}

bool ServerList::toggleFavourite(int index)
{
    const auto it = m_rows.find(index);
    if (it == m_rows.end())
        return false;
    const ServerKey key = keyOf(it->second);
    if (!m_choices.favourites.erase(key))
        m_choices.favourites.insert(key);
    return true;
}

bool ServerList::passes(const Row &row) const
{
    if (m_hideOffline && !isOnline(row.text))
        return false;
    return m_find.empty() || holds(row.text.name, m_find) || holds(row.text.administrator, m_find);
}

bool ServerList::before(const Row &a, const Row &b) const
{
    const bool favouriteA = m_choices.favourites.count(keyOf(a)) != 0;
    const bool favouriteB = m_choices.favourites.count(keyOf(b)) != 0;
    if (favouriteA != favouriteB)
        return favouriteA;
    if (m_choices.order != SortOrder::Arrival) {
        const int order = compare(m_choices.column, a.text, b.text);
        if (order != 0)
            return m_choices.order == SortOrder::Ascending ? order < 0 : order > 0;
    }
    return a.arrival < b.arrival;
}

std::vector<ShownServerRow> ServerList::shown() const
{
    std::vector<const std::pair<const int, Row> *> rows;
    for (const auto &entry : m_rows)
        if (passes(entry.second))
            rows.push_back(&entry);
    std::sort(rows.begin(), rows.end(),
              [this](const auto *a, const auto *b) { return before(a->second, b->second); });
    std::vector<ShownServerRow> out;
    out.reserve(rows.size());
    for (const auto *entry : rows)
        out.push_back({entry->first, entry->second.text,
                       m_choices.favourites.count(keyOf(entry->second)) != 0});
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
    return it != m_rows.end() && m_choices.favourites.count(keyOf(it->second)) != 0;
}

std::optional<int> ServerList::find(const ServerKey &key) const
{
    for (const auto &[index, row] : m_rows)
        if (keyOf(row) == key)
            return index;
    return std::nullopt;
}

} // namespace registry

#include "updater/flow/FileOrderedLog.h"

#include <algorithm>

namespace updater {

void FileOrderedLog::line(const common::Bytes &text)
{
    if (m_reported < m_handed)
        m_held.emplace_back(m_handed, text);
    else
        m_show(text);
}

void FileOrderedLog::fileReported()
{
    ++m_reported;
    release();
}

void FileOrderedLog::fileDropped()
{
    --m_handed;
    for (auto &held : m_held)
        held.first = std::min(held.first, m_handed);
    release();
}

void FileOrderedLog::release()
{
    while (!m_held.empty() && m_held.front().first <= m_reported) {
        common::Bytes text = std::move(m_held.front().second);
        m_held.pop_front();
        m_show(text);
    }
}

} // namespace updater

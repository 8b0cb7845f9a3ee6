#include "updater/app/ProgressRefresh.h"

#include "updater/flow/Progress.h"

#include <algorithm>
#include <utility>

namespace updater {

ProgressRefresh::ProgressRefresh(common::Bytes shownStatus, common::Bytes shownBytes)
    : m_status(shownStatus), m_bytes(shownBytes), m_shownStatus(std::move(shownStatus)),
      m_shownBytes(std::move(shownBytes))
{
}

void ProgressRefresh::setBarWidth(int width)
{
    m_bar = std::clamp(width, 0, kBarWidth);
}

ProgressRefresh::Changes ProgressRefresh::take()
{
    Changes changes;
    if (m_status != m_shownStatus)
        changes.status = m_shownStatus = m_status;
    if (m_bytes != m_shownBytes)
        changes.bytes = m_shownBytes = m_bytes;
    if (m_bar != m_shownBar)
        changes.barWidth = m_shownBar = m_bar;
    return changes;
}

} // namespace updater

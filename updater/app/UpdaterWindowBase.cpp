#include "updater/app/UpdaterWindowBase.h"

namespace updater {

// Progress is gathered by m_progress; the window's refresh timer sets the pace.
void UpdaterWindowBase::setStatusText(const common::Bytes &text)
{
    m_progress.setStatus(text);
    requestRefresh();
}

void UpdaterWindowBase::setBytesText(const common::Bytes &text)
{
    m_progress.setBytes(text);
    requestRefresh();
}

void UpdaterWindowBase::setBarWidth(int width)
{
    m_progress.setBarWidth(width);
    requestRefresh();
}

void UpdaterWindowBase::requestRefresh()
{
    if (!refreshPending())
        applyProgress();
}

void UpdaterWindowBase::applyProgress()
{
    const ProgressRefresh::Changes changes = m_progress.take();
    showProgress(changes);
    if (changes.any())
        startRefresh();
}

void UpdaterWindowBase::endProcess()
{
    m_ending = true;
    hideWindow();
    if (onEnd)
        onEnd();
}

void UpdaterWindowBase::userClosed()
{
    if (!m_ending && onClose)
        onClose();
}

} // namespace updater

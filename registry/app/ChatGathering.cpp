#include "registry/app/ChatGathering.h"

#include <utility>

namespace registry {

ChatGathering::ChatGathering(Post post, Insert insert)
    : m_post(std::move(post)), m_insert(std::move(insert)),
      m_self(std::make_shared<ChatGathering *>(this))
{
}

void ChatGathering::append(common::ByteView line, bool marked)
{
    if (line.empty())
        return;
    if (m_pending.empty() || m_pending.back().marked != marked)
        m_pending.push_back({{}, marked});
    else
        m_pending.back().lines += "\r\n";
    common::AppendWithCrLf(m_pending.back().lines, line);
    if (m_flushPosted)
        return;
    m_flushPosted = m_post([self = std::weak_ptr<ChatGathering *>(m_self)] {
        if (const auto alive = self.lock())
            (*alive)->flush();
    });
}

void ChatGathering::flush()
{
    m_flushPosted = false;
    if (m_pending.empty())
        return;
    std::vector<Run> runs;
    runs.swap(m_pending);
    for (const Run &run : runs)
        m_insert(run.lines, run.marked);
}

} // namespace registry

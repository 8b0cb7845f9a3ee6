#include "registry/app/ChatGathering.h"

#include <utility>

namespace registry {

ChatGathering::ChatGathering(Post post, Insert insert)
    : m_post(std::move(post)), m_insert(std::move(insert)),
      m_self(std::make_shared<ChatGathering *>(this))
{
}

void ChatGathering::append(common::ByteView line)
{
    if (line.empty())
        return;
    if (!m_pending.empty())
        m_pending += "\r\n";
    common::AppendWithCrLf(m_pending, line);
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
    common::Bytes lines;
    lines.swap(m_pending);
    m_insert(lines);
}

} // namespace registry

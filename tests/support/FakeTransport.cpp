#include "tests/support/FakeTransport.h"

namespace testsupport {

void FakeTransport::connectTo(const std::string &host, std::uint16_t port)
{
    close();
    m_receiving = true;
    m_attempts.push_back({host, port});
    m_state = State::Connecting;
}

void FakeTransport::close()
{
    ++m_closeCalls;
    m_state = State::Closed;
    m_held.clear();
    m_dropHeld = false;
}

bool FakeTransport::send(common::ByteView bytes)
{
    if (m_state != State::Connected)
        return false;
    m_sends.emplace_back(bytes);
    return true;
}

void FakeTransport::acceptConnection()
{
    m_state = State::Connected;
    if (m_listener)
        m_listener->onConnected();
}

void FakeTransport::dropConnection()
{
    m_state = State::Closed;
    if (!m_receiving || !m_held.empty()) {
        m_dropHeld = true;
        return;
    }
    if (m_listener)
        m_listener->onClosed();
}

void FakeTransport::deliver(common::ByteView bytes)
{
    if (!m_receiving || !m_held.empty()) {
        m_held.append(bytes);
        return;
    }
    if (m_listener)
        m_listener->onData(bytes);
}

void FakeTransport::releaseHeld()
{
    if (!m_receiving)
        return;
    if (!m_held.empty()) {
        const std::string bytes = std::move(m_held);
        m_held.clear();
        if (m_listener)
            m_listener->onData(bytes);
    }
    if (m_dropHeld && m_receiving && m_held.empty()) {
        m_dropHeld = false;
        if (m_listener)
            m_listener->onClosed();
    }
}

std::string FakeTransport::sentBytes() const
{
    std::string all;
    for (const auto &s : m_sends)
        all += s;
    return all;
}

} // namespace testsupport

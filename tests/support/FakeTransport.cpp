#include "tests/support/FakeTransport.h"

namespace testsupport {

void FakeTransport::connectTo(const std::string &host, std::uint16_t port)
{
    close();
    m_attempts.push_back({host, port});
    m_state = State::Connecting;
}

void FakeTransport::close()
{
    ++m_closeCalls;
    m_state = State::Closed;
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
    if (m_listener)
        m_listener->onClosed();
}

void FakeTransport::deliver(common::ByteView bytes)
{
    if (m_listener)
        m_listener->onData(bytes);
}

std::string FakeTransport::sentBytes() const
{
    std::string all;
    for (const auto &s : m_sends)
        all += s;
    return all;
}

} // namespace testsupport

#include "common/win32/Win32Transport.h"

#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Winsock.h"

#include <ws2tcpip.h>

#include <algorithm>

namespace common {

namespace {

constexpr UINT kDrainMessage = WM_APP + 1;
// Socket messages take one number per attempt from this range, cycling.
constexpr UINT kFirstSocketMessage = WM_APP + 0x10;
constexpr UINT kSocketMessages = 0x80;

// Drops bytes already handed on from the front of a buffer once they make up half of it.
void compact(std::string &buffer, std::size_t &start)
{
    if (start == buffer.size()) {
        buffer.clear();
        start = 0;
    } else if (start > buffer.size() / 2) {
        buffer.erase(0, start);
        start = 0;
    }
}

} // namespace

Win32Transport::Win32Transport()
    : m_window([this](UINT message, WPARAM wParam, LPARAM lParam) {
          handleMessage(message, wParam, lParam);
      })
{
    StartWinsock();
}

Win32Transport::~Win32Transport()
{
    m_listener = nullptr;
    close();
}

UINT Win32Transport::socketMessage() const
{
    return kFirstSocketMessage + m_attempt % kSocketMessages;
}

void Win32Transport::connectTo(const std::string &host, std::uint16_t port)
{
    close();
    ++m_attempt;
    m_receiving = true;
    if (!StartWinsock())
        return;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        return; // an unknown name: the attempt ends at once, Closed, as a refused one does
    // The first address the resolver prefers; a name with several is tried at that one.
    const addrinfo &address = *found;
    m_socket = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    bool started = false;
    if (m_socket != INVALID_SOCKET &&
        WSAAsyncSelect(m_socket, m_window.handle(), socketMessage(),
                       FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0) {
        // The socket is non-blocking now: the outcome arrives as FD_CONNECT.
        const int result =
            ::connect(m_socket, address.ai_addr, static_cast<int>(address.ai_addrlen));
        started = result == 0 || WSAGetLastError() == WSAEWOULDBLOCK;
    }
    freeaddrinfo(found);
    if (!started) {
        endConnection();
        return;
    }
    m_state = State::Connecting;
}

void Win32Transport::close()
{
    if (m_socket == INVALID_SOCKET)
        return;
    endConnection();
}

void Win32Transport::endConnection()
{
    if (m_socket != INVALID_SOCKET) {
        // Closing also cancels the socket's messages; those already queued carry this
        // attempt's number, which the next attempt does not use.
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    ++m_attempt;
    m_state = State::Closed;
    m_in.clear();
    m_inStart = 0;
    m_out.clear();
    m_outStart = 0;
    m_peerDone = false;
    m_closeSeen = false;
    m_drainPosted = false; // a drain still queued carries the old attempt's number
}

bool Win32Transport::send(ByteView bytes)
{
    if (m_state != State::Connected)
        return false;
    m_out.append(bytes.data(), bytes.size());
    // Written at once as far as the system takes it; the rest on FD_WRITE.
    if (m_out.size() - m_outStart == bytes.size())
        writeSocket();
    return true;
}

void Win32Transport::writeSocket()
{
    while (m_outStart < m_out.size() && m_socket != INVALID_SOCKET) {
        const std::size_t left = m_out.size() - m_outStart;
        const int chunk = static_cast<int>(std::min<std::size_t>(left, 256 * 1024));
        const int written = ::send(m_socket, m_out.data() + m_outStart, chunk, 0);
        if (written > 0) {
            m_outStart += static_cast<std::size_t>(written);
            continue;
        }
        if (WSAGetLastError() == WSAEWOULDBLOCK)
            break; // FD_WRITE comes when the system has room again
        // The connection failed; it is reported from the loop, after the bytes read before.
        m_out.clear();
        m_outStart = 0;
        m_peerDone = true;
        postDrain();
        return;
    }
    compact(m_out, m_outStart);
}

void Win32Transport::setReceiving(bool on)
{
    if (m_receiving == on)
        return;
    m_receiving = on;
    // Carry on from the message loop, not from inside the caller, which is usually a handler
    // of the bytes delivered last.
    if (on && (bytesWaiting() > 0 || m_peerDone))
        postDrain();
}

void Win32Transport::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kDrainMessage) {
        if (static_cast<std::uint32_t>(wParam) == m_attempt)
            drain();
        return;
    }
    if (message == socketMessage() && m_socket != INVALID_SOCKET &&
        static_cast<SOCKET>(wParam) == m_socket)
        handleSocketEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
}

void Win32Transport::handleSocketEvent(WORD event, WORD error)
{
    switch (event) {
    case FD_CONNECT: {
        if (m_state != State::Connecting)
            return;
        if (error != 0) {
            endConnection(); // a failed attempt only leaves the state Closed
            return;
        }
        // Small requests must not wait for the acknowledgement of the one before them.
        const BOOL noDelay = TRUE;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay),
                   sizeof noDelay);
        m_state = State::Connected;
        if (m_listener)
            m_listener->onConnected();
        RearmCoreTimers();
        return;
    }
    case FD_READ:
        readSocket();
        return;
    case FD_WRITE:
        writeSocket();
        return;
    case FD_CLOSE:
        // What the peer sent before its close may still be with the system: it is read and
        // delivered first.
        m_closeSeen = true;
        if (error != 0)
            m_peerDone = true; // reset: nothing more can be read
        readSocket();
        postDrain();
        return;
    default:
        return;
    }
}

void Win32Transport::readSocket()
{
    if (m_state != State::Connected)
        return;
    char chunk[64 * 1024];
    // Up to the limit; beyond it the bytes stay with the system and TCP slows the sender.
    // Each recv() also tells Winsock to post FD_READ again while bytes remain.
    while (!m_peerDone && bytesWaiting() < kReadBufferLimit) {
        const int room = static_cast<int>(
            std::min<std::size_t>(sizeof chunk, kReadBufferLimit - bytesWaiting()));
        const int got = recv(m_socket, chunk, room, 0);
        if (got > 0) {
            compact(m_in, m_inStart);
            m_in.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
            // After the close message nothing more arrives: the system is drained.
            m_peerDone = m_closeSeen;
            break;
        }
        m_peerDone = true; // 0: the peer closed; an error: the connection failed
    }
    if (bytesWaiting() > 0 || m_peerDone)
        postDrain();
}

void Win32Transport::postDrain()
{
    if (m_drainPosted || !m_receiving)
        return;
    if (PostMessageA(m_window.handle(), kDrainMessage, m_attempt, 0))
        m_drainPosted = true;
}

void Win32Transport::drain()
{
    m_drainPosted = false;
    if (!m_receiving || m_state != State::Connected)
        return;
    const std::uint32_t attempt = m_attempt;
    // One slice per message: under a flood the loop runs its timers and repaints between
    // slices instead of waiting until everything buffered has been handled.
    if (bytesWaiting() > 0) {
        const std::size_t size = std::min(bytesWaiting(), kDrainSlice);
        // A copy: the listener may run a nested loop in which the buffer changes.
        const std::string slice = m_in.substr(m_inStart, size);
        m_inStart += size;
        compact(m_in, m_inStart);
        if (m_listener)
            m_listener->onData(ByteView(slice.data(), slice.size()));
        RearmCoreTimers();
        if (attempt != m_attempt)
            return;   // the listener closed or started anew
        readSocket(); // room again: take what the system holds
        return;
    }
    if (m_peerDone) {
        endConnection();
        if (m_listener)
            m_listener->onClosed();
        RearmCoreTimers();
    }
}

} // namespace common

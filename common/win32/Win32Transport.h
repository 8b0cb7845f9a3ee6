#pragma once

// Before anything that includes windows.h.
#include <winsock2.h>

#include "common/Transport.h"
#include "common/win32/MessageWindow.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace common {

// Transport over a Winsock socket whose events (connect, read, write, close) arrive as
// messages at a message-only window of its own: no thread and no polling. Events are
// delivered from any message loop of the thread, also from a message box's.
class Win32Transport final : public Transport
{
public:
    Win32Transport();
    ~Win32Transport() override;
    Win32Transport(const Win32Transport &) = delete;
    Win32Transport &operator=(const Win32Transport &) = delete;

    void setListener(Listener *listener) override { m_listener = listener; }
    void connectTo(const std::string &host, std::uint16_t port) override;
    void close() override;
    bool send(ByteView bytes) override;
    State state() const override { return m_state; }
    void setReceiving(bool on) override;
    bool receiving() const override { return m_receiving; }

    // For tests and diagnostics: bytes read from the socket and not delivered yet, bytes
    // waiting to be written, and the socket (INVALID_SOCKET when there is none).
    std::size_t bytesWaiting() const { return m_in.size() - m_inStart; }
    std::size_t bytesToWrite() const { return m_out.size() - m_outStart; }
    SOCKET socketHandle() const { return m_socket; }

    // Bytes handed to the listener per message; what we read ahead of the listener at most.
    static constexpr std::size_t kDrainSlice = 64 * 1024;
    static constexpr std::size_t kReadBufferLimit = 1024 * 1024;

private:
    void handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void handleSocketEvent(WORD event, WORD error);
    void readSocket();
    void writeSocket();
    void postDrain();
    void drain();
    void endConnection();
    UINT socketMessage() const;

    MessageWindow m_window;
    Listener *m_listener = nullptr;
    SOCKET m_socket = INVALID_SOCKET;
    State m_state = State::Closed;
    // Counts connection attempts: a message of an earlier socket (whose handle the system
    // may have given to the next one) carries another number and is ignored.
    std::uint32_t m_attempt = 0;
    std::string m_in;
    std::size_t m_inStart = 0;
    std::string m_out;
    std::size_t m_outStart = 0;
    bool m_receiving = true;
    bool m_drainPosted = false;
    bool m_closeSeen = false; // the system reported the peer's close
    bool m_peerDone = false;  // no more bytes come: the peer closed or the connection failed
};

} // namespace common

#pragma once

#include "common/Transport.h"

#include <QObject>
#include <QTcpSocket>

namespace common {

// Transport over a QTcpSocket. Events are delivered from the Qt event loop, also from the
// nested loop of a modal message box.
class QtTransport final : public QObject, public Transport
{
    Q_OBJECT
public:
    explicit QtTransport(QObject *parent = nullptr);
    ~QtTransport() override;

    void setListener(Listener *listener) override { m_listener = listener; }
    void connectTo(const std::string &host, std::uint16_t port) override;
    void close() override;
    bool send(ByteView bytes) override;
    State state() const override;
    void setReceiving(bool on) override;
    bool receiving() const override { return m_receiving; }

    // For tests and diagnostics: what the socket holds that was not delivered yet, and the
    // system's handle of the connection (-1 when there is none).
    qint64 bytesWaiting() const { return m_socket->bytesAvailable(); }
    qintptr descriptor() const { return m_socket->socketDescriptor(); }

private:
    void handleConnected();
    void handleDisconnected();
    void handleReadyRead();
    void drain();
    void drainAll();
    void raiseClosed();

    // Bytes handed to the listener per pass of the event loop.
    static constexpr qint64 kDrainSlice = 64 * 1024;
    // What the socket may hold that nobody has taken yet; beyond it Qt stops reading and the
    // sender waits, so a fast or hostile peer cannot fill our memory.
    static constexpr qint64 kReadBufferLimit = 1024 * 1024;

    QTcpSocket *m_socket;
    Listener *m_listener = nullptr;
    bool m_wasConnected = false;
    bool m_closing = false;
    bool m_drainPosted = false;
    bool m_receiving = true;
    bool m_closePending = false; // the peer closed while receiving was stopped
};

} // namespace common

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

private:
    void handleConnected();
    void handleDisconnected();
    void handleReadyRead();
    void drain();
    void drainAll();

    // Bytes handed to the listener per pass of the event loop.
    static constexpr qint64 kDrainSlice = 64 * 1024;

    QTcpSocket *m_socket;
    Listener *m_listener = nullptr;
    bool m_wasConnected = false;
    bool m_closing = false;
    bool m_drainPosted = false;
};

} // namespace common

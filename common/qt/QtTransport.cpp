#include "common/qt/QtTransport.h"

#include <QHostAddress>

namespace common {

QtTransport::QtTransport(QObject *parent) : QObject(parent), m_socket(new QTcpSocket(this))
{
    m_socket->setReadBufferSize(kReadBufferLimit);
    connect(m_socket, &QTcpSocket::connected, this, &QtTransport::handleConnected);
    connect(m_socket, &QTcpSocket::disconnected, this, &QtTransport::handleDisconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &QtTransport::handleReadyRead);
}

QtTransport::~QtTransport()
{
    m_listener = nullptr;
    m_socket->disconnect(this);
    m_socket->abort();
}

void QtTransport::connectTo(const std::string &host, std::uint16_t port)
{
    close();
    m_receiving = true;
    m_closePending = false;
    m_socket->connectToHost(QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size())),
                            port);
}

void QtTransport::close()
{
    // Our own close ends the connection for the listener also when the peer closed first
    // while receiving was stopped: its undelivered bytes and close are dropped, not raised.
    m_wasConnected = false;
    m_closePending = false;
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        // A socket that never connected has nothing to drop (and Qt warns of reading it).
        if (m_socket->isOpen())
            m_socket->readAll();
        return;
    }
    m_closing = true;
    m_socket->abort();
    m_closing = false;
}

bool QtTransport::send(ByteView bytes)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    const qint64 written = m_socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    return written == static_cast<qint64>(bytes.size());
}

Transport::State QtTransport::state() const
{
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return State::Closed;
    case QAbstractSocket::ConnectedState:
        return State::Connected;
    default:
        return State::Connecting;
    }
}

void QtTransport::setReceiving(bool on)
{
    if (m_receiving == on)
        return;
    m_receiving = on;
    if (!on)
        return;
    // Carry on from the event loop, not from inside the caller, which is usually a handler of
    // the bytes delivered last.
    if (m_closePending || m_socket->bytesAvailable() > 0) {
        m_drainPosted = false;
        handleReadyRead();
    }
}

void QtTransport::handleConnected()
{
    // Small requests must not wait for the acknowledgement of the one before them. The option
    // only reaches a socket that exists, so it is set here rather than before connecting.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_wasConnected = true;
    if (m_listener)
        m_listener->onConnected();
}

void QtTransport::handleDisconnected()
{
    if (m_closing || !m_wasConnected)
        return;
    if (!m_receiving) {
        // The bytes before the close are still to be taken; the close waits for them.
        m_closePending = true;
        return;
    }
    raiseClosed();
}

void QtTransport::raiseClosed()
{
    // Whatever the peer sent before it closed is delivered before the close.
    drainAll();
    if (!m_receiving) {
        m_closePending = true; // the listener stopped receiving while taking those bytes
        return;
    }
    m_closePending = false;
    m_wasConnected = false;
    if (m_listener)
        m_listener->onClosed();
}

void QtTransport::handleReadyRead()
{
    // Bytes are handed over from a queued call rather than from inside readyRead: the socket
    // does not raise readyRead again while a slot of it runs, but a listener that shows a
    // modal message must still see the data that arrives meanwhile, from the nested loop.
    if (m_drainPosted)
        return;
    m_drainPosted = true;
    QMetaObject::invokeMethod(this, &QtTransport::drain, Qt::QueuedConnection);
}

void QtTransport::drain()
{
    m_drainPosted = false;
    if (!m_receiving)
        return;
    if (m_closePending) {
        raiseClosed();
        return;
    }
    // One slice per pass: under a flood the event loop runs its timers and repaints between
    // slices instead of waiting until everything buffered has been handled.
    if (m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(kDrainSlice);
        if (!bytes.isEmpty() && m_listener)
            m_listener->onData(ByteView(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    if (m_receiving && m_socket->bytesAvailable() > 0)
        handleReadyRead();
}

void QtTransport::drainAll()
{
    m_drainPosted = false;
    while (m_receiving && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(kDrainSlice);
        if (bytes.isEmpty())
            break;
        if (!m_listener)
            continue;
        m_listener->onData(ByteView(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
}

} // namespace common

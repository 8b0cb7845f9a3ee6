#include "tests/support/ScriptedPeer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace testsupport {

ScriptedPeer::ScriptedPeer(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
{
    m_elapsed.start();
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedPeer::handleNewConnection);
    m_server.listen(address, port);
}

bool ScriptedPeer::hasConnection() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void ScriptedPeer::clearReceived()
{
    m_received.clear();
    m_chunks.clear();
}

void ScriptedPeer::handleNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->deleteLater();
        }
        m_socket = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            const QByteArray bytes = socket->readAll();
            m_received += bytes;
            m_chunks.push_back({m_elapsed.elapsed(), bytes});
            if (onData)
                onData(bytes);
        });
    }
}

void ScriptedPeer::send(const QByteArray &bytes)
{
    if (!m_socket)
        return;
    m_socket->write(bytes);
    m_socket->flush();
}

void ScriptedPeer::sendSplit(const QByteArray &bytes, const std::vector<int> &offsets)
{
    int from = 0;
    for (int offset : offsets) {
        if (offset <= from || offset >= bytes.size())
            continue;
        send(bytes.mid(from, offset - from));
        // Let the piece leave before the next one so they arrive as separate segments.
        if (m_socket)
            m_socket->waitForBytesWritten(1000);
        QCoreApplication::processEvents();
        from = offset;
    }
    send(bytes.mid(from));
}

void ScriptedPeer::closeConnection()
{
    if (!m_socket)
        return;
    m_socket->flush();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(1000);
}

bool ScriptedPeer::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    // A real nested loop that blocks between events, so everything that hooks the loop's
    // waiting (the cores' timers) behaves as in the programs. The condition is looked at
    // every few milliseconds; the limit is only a safety net for a failing test.
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start();
    limit.start(timeoutMs);
    loop.exec();
    return condition();
}

bool ScriptedPeer::waitForConnection(int count, int timeoutMs)
{
    // Counted when accepted: a client may finish its whole exchange and close between two
    // looks at the condition.
    return waitUntil([&] { return m_connections >= count; }, timeoutMs);
}

bool ScriptedPeer::waitForBytes(int totalBytes, int timeoutMs)
{
    return waitUntil([&] { return m_received.size() >= totalBytes; }, timeoutMs);
}

bool ScriptedPeer::waitForDisconnect(int timeoutMs)
{
    return waitUntil([&] { return !hasConnection(); }, timeoutMs);
}

} // namespace testsupport

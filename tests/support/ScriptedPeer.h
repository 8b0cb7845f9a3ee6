#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <vector>

namespace testsupport {

// A scriptable TCP peer on loopback for integration and end-to-end tests. It listens on the
// given address (127.0.0.1 by default) and an ephemeral port unless one is named, accepts
// connections, records every byte received with the time it arrived, and sends scripted
// bytes on demand. The wait functions spin the Qt event loop until a condition holds or the
// time limit passes (a safety net for a failing test, never a measurement).
class ScriptedPeer final : public QObject
{
    Q_OBJECT
public:
    explicit ScriptedPeer(const QHostAddress &address = QHostAddress(QStringLiteral("127.0.0.1")),
                          quint16 port = 0, QObject *parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString host() const { return m_server.serverAddress().toString(); }
    // Stops accepting new connections (existing ones stay).
    void stopListening() { m_server.close(); }

    int connectionCount() const { return m_connections; }
    bool hasConnection() const;

    // What arrived on the current connection (and all before it), with arrival times in ms
    // since the peer was created.
    const QByteArray &received() const { return m_received; }
    struct Chunk
    {
        qint64 atMs;
        QByteArray bytes;
    };
    const std::vector<Chunk> &chunks() const { return m_chunks; }
    void clearReceived();

    // Sending to the current connection.
    void send(const QByteArray &bytes);
    // Sends `bytes` cut at the given offsets, flushing each piece separately.
    void sendSplit(const QByteArray &bytes, const std::vector<int> &offsets);
    void closeConnection();

    // Called with each chunk as it arrives (for peers that answer requests).
    std::function<void(const QByteArray &)> onData;

    // True once `count` connections have been accepted (the latest may have closed since).
    bool waitForConnection(int count = 1, int timeoutMs = 5000);
    bool waitForBytes(int totalBytes, int timeoutMs = 5000);
    bool waitForDisconnect(int timeoutMs = 5000);
    bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

private:
    void handleNewConnection();

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_received;
    std::vector<Chunk> m_chunks;
    QElapsedTimer m_elapsed;
    int m_connections = 0;
};

} // namespace testsupport

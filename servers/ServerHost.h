#pragma once

#include "servers/Connections.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <map>

class QTcpSocket;

namespace servers {

// The Qt side of a server: accepts TCP connections, hands their bytes to a core and carries
// out the core's sends and closes. Holds no protocol logic.
class ServerHost final : public QObject, public Connections
{
    Q_OBJECT
public:
    explicit ServerHost(LogFunction log, QObject *parent = nullptr);
    ~ServerHost() override;

    void setHandler(ConnectionHandler *handler) { m_handler = handler; }

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }

    void send(ConnectionId id, ByteView bytes) override;
    void close(ConnectionId id) override;

    // A connection the core closed gets this long to take its last bytes before it is cut.
    static constexpr int kLingerMs = 10000;

private:
    void acceptPending();
    void readFrom(ConnectionId id);
    void peerGone(ConnectionId id);

    struct Entry
    {
        QTcpSocket *socket = nullptr;
        bool closing = false;
    };

    QTcpServer m_server;
    ConnectionHandler *m_handler = nullptr;
    LogFunction m_log;
    std::map<ConnectionId, Entry> m_connections;
    ConnectionId m_nextId = 1;
};

// "HOST:PORT", "HOST" or ":PORT" (IPv6 hosts in brackets); false for anything else.
bool ParseListenAddress(const QString &text, QHostAddress &address, quint16 &port);

// Writes a log line with the local time in front to standard output and flushes it.
void PrintLogLine(const std::string &line);

// Lets SIGINT and SIGTERM end the event loop (with a log line) instead of killing the process.
void QuitOnSignals();

} // namespace servers

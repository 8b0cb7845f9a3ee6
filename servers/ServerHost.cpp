#include "servers/ServerHost.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace servers {

ServerHost::ServerHost(LogFunction log, QObject *parent) : QObject(parent), m_log(std::move(log))
{
    connect(&m_server, &QTcpServer::newConnection, this, &ServerHost::acceptPending);
}

ServerHost::~ServerHost()
{
    for (auto &[id, entry] : m_connections) {
        entry.socket->disconnect(this);
        entry.socket->abort();
    }
}

bool ServerHost::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

void ServerHost::acceptPending()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const ConnectionId id = m_nextId++;
        m_connections[id] = Entry{socket, false};
        socket->setParent(this); // whatever is left is deleted with the host
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { readFrom(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { peerGone(id); });
        QHostAddress peer = socket->peerAddress();
        bool isV4 = false;
        const quint32 v4 = peer.toIPv4Address(&isV4);
        const QString text = isV4 ? QHostAddress(v4).toString() : peer.toString();
        if (m_handler)
            m_handler->onOpened(id, text.toStdString());
        // Bytes may already be waiting.
        auto it = m_connections.find(id);
        if (it != m_connections.end() && !it->second.closing && socket->bytesAvailable() > 0)
            readFrom(id);
    }
}

void ServerHost::readFrom(ConnectionId id)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end() || it->second.closing)
        return;
    QTcpSocket *socket = it->second.socket;
    while (socket->bytesAvailable() > 0) {
        const QByteArray data = socket->read(64 * 1024);
        if (data.isEmpty())
            break;
        if (m_handler)
            m_handler->onData(id,
                              ByteView(data.constData(), static_cast<std::size_t>(data.size())));
        it = m_connections.find(id);
        if (it == m_connections.end() || it->second.closing)
            return;
    }
}

void ServerHost::peerGone(ConnectionId id)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    const bool closedByUs = it->second.closing;
    QTcpSocket *socket = it->second.socket;
    m_connections.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    if (!closedByUs && m_handler)
        m_handler->onClosed(id);
}

void ServerHost::send(ConnectionId id, ByteView bytes)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end() || it->second.closing || bytes.empty())
        return;
    it->second.socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void ServerHost::close(ConnectionId id)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end() || it->second.closing)
        return;
    it->second.closing = true;
    QTcpSocket *socket = it->second.socket;
    // Give the peer its last bytes (a boot notice, say), but not forever.
    QTimer::singleShot(kLingerMs, socket, [socket] { socket->abort(); });
    socket->disconnectFromHost();
}

bool ParseListenAddress(const QString &text, QHostAddress &address, quint16 &port)
{
    QString host = text;
    QString portText;
    if (text.startsWith('[')) {
        const auto end = text.indexOf(']');
        if (end < 0)
            return false;
        host = text.mid(1, end - 1);
        const QString rest = text.mid(end + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(':'))
                return false;
            portText = rest.mid(1);
        }
    } else {
        const auto colon = text.lastIndexOf(':');
        if (colon >= 0) {
            if (text.count(':') > 1)
                return false;
            host = text.left(colon);
            portText = text.mid(colon + 1);
        }
    }
    if (!portText.isNull()) {
        bool ok = false;
        const uint value = portText.toUInt(&ok);
        if (!ok || value > 65535)
            return false;
        port = static_cast<quint16>(value);
    }
    if (!host.isEmpty()) {
        QHostAddress parsed;
        if (host == QLatin1String("localhost"))
            parsed = QHostAddress(QHostAddress::LocalHost);
        else if (!parsed.setAddress(host))
            return false;
        address = parsed;
    }
    return true;
}

void PrintLogLine(const std::string &line)
{
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    std::fprintf(stdout, "%s %s\n", stamp.constData(), line.c_str());
    std::fflush(stdout);
}

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

void QuitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier =
        new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        char byte = 0;
        [[maybe_unused]] const auto ignored = ::read(g_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        PrintLogLine("Stopping.");
        QCoreApplication::quit();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace servers

#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace testsupport {

// Runs the event loop until `condition` holds or `timeoutMs` passed (then false).
inline bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// One of the reference servers of `binDir`, on an ephemeral port of 127.0.0.1, with its log
// collected.
class ReferenceServer
{
public:
    ReferenceServer(const QString &binDir, const QString &program, QStringList arguments)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead,
                         [this] { m_log += m_process.readAll(); });
        arguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:0");
        m_process.start(binDir + "/" + program, arguments);
        WaitUntil([this] { return listening() || m_process.state() == QProcess::NotRunning; });
        const auto match = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"))
                               .match(QString::fromLatin1(m_log));
        if (match.hasMatch())
            m_port = static_cast<quint16>(match.captured(1).toUInt());
    }
    ~ReferenceServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    ReferenceServer(const ReferenceServer &) = delete;
    ReferenceServer &operator=(const ReferenceServer &) = delete;

    quint16 port() const { return m_port; }
    const QByteArray &log() const { return m_log; }
    bool logged(const QByteArray &text, int timeoutMs = 15000)
    {
        return WaitUntil([&] { return m_log.contains(text); }, timeoutMs);
    }
    // What the server logged since `from`, once it holds `text`.
    QByteArray loggedSince(qsizetype from, const QByteArray &text, int timeoutMs = 15000)
    {
        WaitUntil([&] { return m_log.mid(from).contains(text); }, timeoutMs);
        return m_log.mid(from);
    }

private:
    bool listening() const { return m_log.contains("listening on"); }
    QProcess m_process;
    QByteArray m_log;
    quint16 m_port = 0;
};

} // namespace testsupport

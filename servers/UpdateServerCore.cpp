#include "servers/UpdateServerCore.h"

#include "common/Codec.h"
#include "updater/flow/UpdateProtocol.h"

#include <algorithm>

namespace servers {

namespace update_wire {

Bytes SetLaunchFile(ByteView path)
{
    return updater::SetLaunchFileBody(path);
}
Bytes FolderEntry(int number, ByteView folder)
{
    return updater::FolderEntryBody(number, folder);
}
Bytes FileCount(int count)
{
    return updater::FileCountBody(count);
}
Bytes FileInfo(const OfferedFile &file)
{
    return updater::FileInfoBody(file.index, file.version, file.name, file.folder);
}
Bytes FileListEnd()
{
    return updater::FileListEndBody();
}
Bytes FileData(int index, std::int32_t size)
{
    return updater::FileDataBody(index, size);
}

} // namespace update_wire

Bytes NormalizeLaunchPath(ByteView path)
{
    Bytes out(path);
    std::replace(out.begin(), out.end(), '/', '\\');
    if (out.empty())
        return {};
    std::size_t start = 0;
    while (true) {
        const std::size_t end = out.find('\\', start);
        const ByteView segment =
            ByteView(out).substr(start, end == Bytes::npos ? Bytes::npos : end - start);
        if (!IsServableName(segment) || segment[0] == '.')
            return {};
        if (end == Bytes::npos)
            break;
        start = end + 1;
    }
    return out;
}

UpdateServerCore::UpdateServerCore(Ports ports, UpdateServerSettings settings)
    : m_ports(std::move(ports)), m_settings(std::move(settings))
{
}

void UpdateServerCore::log(ConnectionId id, const std::string &text)
{
    if (!m_ports.log)
        return;
    std::string line = "#" + std::to_string(id);
    const auto it = m_sessions.find(id);
    if (it != m_sessions.end())
        line += " " + it->second.peerAddress;
    m_ports.log(line + " " + text);
}

void UpdateServerCore::sendBody(ConnectionId id, ByteView body)
{
    if (auto packet = common::BuildPacket(body, common::PacketKind::Plain))
        m_ports.connections.send(id, *packet);
}

void UpdateServerCore::onOpened(ConnectionId id, const std::string &peerAddress)
{
    if (static_cast<int>(m_sessions.size()) >= m_settings.maxConnections) {
        if (m_ports.log)
            m_ports.log("#" + std::to_string(id) + " " + Printable(peerAddress, 64) +
                        " refused: connection limit reached");
        m_ports.connections.close(id);
        return;
    }
    Session &session = m_sessions[id];
    session.peerAddress = Printable(peerAddress, 64);
    session.lastSeen = m_ports.clock.nowMs();
    session.windowStart = session.lastSeen;
    log(id, "connected");
}

void UpdateServerCore::onClosed(ConnectionId id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    log(id, "disconnected after " + std::to_string(it->second.filesSent) + " file(s)");
    m_sessions.erase(it);
}

void UpdateServerCore::drop(ConnectionId id, const std::string &why)
{
    log(id, "dropped: " + why);
    m_ports.connections.close(id);
    m_sessions.erase(id);
}

void UpdateServerCore::onData(ConnectionId id, ByteView bytes)
{
    auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    const std::int64_t now = m_ports.clock.nowMs();
    Session *session = &it->second;
    session->lastSeen = now;
    if (now - session->windowStart >= m_settings.floodWindowMs) {
        session->windowStart = now;
        session->windowPackets = 0;
    }
    session->buffer.append(bytes);
    while (session->buffer.size() >= 2) {
        const std::size_t length = common::DecodeLength(session->buffer.view());
        if (length > kMaxBodyLength) {
            drop(id, "announced a packet of " + std::to_string(length) + " bytes");
            return;
        }
        std::optional<common::Packet> packet = session->buffer.cutPacket();
        if (!packet)
            return;
        if (++session->windowPackets > m_settings.floodPackets) {
            drop(id, "flooding: more than " + std::to_string(m_settings.floodPackets) +
                         " packets within " + std::to_string(m_settings.floodWindowMs) + " ms");
            return;
        }
        handle(id, *session, *packet);
        it = m_sessions.find(id);
        if (it == m_sessions.end())
            return;
        session = &it->second;
    }
}

void UpdateServerCore::handle(ConnectionId id, Session &session, const common::Packet &packet)
{
    switch (static_cast<updater::ToServer>(packet.type)) {
    case updater::ToServer::UpdateVersionCheck:
        sendList(id, session, packet.fields);
        return;
    case updater::ToServer::FileRequest: {
        updater::FileRequestMessage request;
        if (!request.decode(packet.fields)) {
            log(id, "ignored a file request without an index");
            return;
        }
        sendFile(id, session, request.index);
        return;
    }
    case updater::ToServer::TransferAck: {
        updater::TransferAckMessage ack;
        if (!ack.decode(packet.fields)) {
            log(id, "ignored a short transfer acknowledgement");
            return;
        }
        acknowledged(id, session, ack);
        return;
    }
    default:
        log(id, "ignored unknown message type " + std::to_string(packet.type));
    }
}

void UpdateServerCore::sendList(ConnectionId id, Session &session, ByteView version)
{
    session.catalog = m_ports.folder.scan();
    const Catalog &catalog = *session.catalog;
    if (!m_settings.launchFile.empty())
        sendBody(id, update_wire::SetLaunchFile(m_settings.launchFile));
    for (std::size_t i = 0; i < catalog.folders.size(); ++i)
        sendBody(id, update_wire::FolderEntry(static_cast<int>(i + 1), catalog.folders[i]));
    const int count = static_cast<int>(catalog.files.size()) + (catalog.selfUpdate ? 1 : 0);
    sendBody(id, update_wire::FileCount(count));
    if (catalog.selfUpdate)
        sendBody(id, update_wire::FileInfo(*catalog.selfUpdate));
    for (const auto &file : catalog.files)
        sendBody(id, update_wire::FileInfo(file));
    sendBody(id, update_wire::FileListEnd());
    log(id, "Updater " + Printable(version, 32) + ": sent the list of " + std::to_string(count) +
                " file(s) in " + std::to_string(catalog.folders.size()) + " folder(s)");
}

void UpdateServerCore::sendFile(ConnectionId id, Session &session, int index)
{
    // An Updater asks for each file once per run; asking again only makes the server read,
    // pack and send it again.
    if (!session.requested.insert(index).second) {
        log(id, "ignored a repeated request for file " + std::to_string(index));
        return;
    }
    if (index == 0) {
        // The Updater needs zlib.dll before it can unpack anything, so it comes raw.
        const std::optional<Bytes> library = m_ports.folder.zlibLibrary();
        if (!library) {
            drop(id, "asked for zlib.dll, which this server does not have");
            return;
        }
        sendPayload(id, session, 0, *library, "zlib.dll");
        return;
    }
    if (!session.catalog)
        session.catalog = m_ports.folder.scan();
    const OfferedFile *file = session.catalog->find(index);
    if (!file) {
        log(id, "ignored a request for file " + std::to_string(index) +
                    ", which it was "
                    "not offered");
        return;
    }
    const std::optional<Bytes> packed = m_ports.folder.packed(file->localPath);
    const std::string what = file->folder + file->name;
    if (!packed) {
        drop(id, "file " + Printable(what) + " can no longer be read");
        return;
    }
    if (index == 1)
        sendSelfUpdatePair(id, session, *packed);
    else
        sendPayload(id, session, index, *packed, what);
}

// The self-update pair: "Updater.dat", then the size and bytes of "Update.exe".
void UpdateServerCore::sendSelfUpdatePair(ConnectionId id, Session &session,
                                          const Bytes &updaterDat)
{
    const std::optional<Bytes> exe = m_ports.folder.packed(session.catalog->updateExePath);
    if (!exe) {
        drop(id, "Update.exe can no longer be read");
        return;
    }
    session.transferSize = static_cast<std::int64_t>(updaterDat.size());
    sendBody(id, update_wire::FileData(1, static_cast<std::int32_t>(updaterDat.size())));
    m_ports.connections.send(id, updaterDat);
    m_ports.connections.send(id, common::EncodeLong(static_cast<std::int32_t>(exe->size())));
    m_ports.connections.send(id, *exe);
    session.transferIndex = 1;
    session.transferSize = static_cast<std::int64_t>(exe->size());
    session.bytesSent += static_cast<std::int64_t>(updaterDat.size() + 4 + exe->size());
    ++session.filesSent;
    log(id, "sending Updater.dat (" + std::to_string(updaterDat.size()) +
                " bytes) and Update.exe (" + std::to_string(exe->size()) + " bytes)");
}

void UpdateServerCore::sendPayload(ConnectionId id, Session &session, int index,
                                   const Bytes &payload, const std::string &what)
{
    sendBody(id, update_wire::FileData(index, static_cast<std::int32_t>(payload.size())));
    m_ports.connections.send(id, payload);
    session.transferIndex = index;
    session.transferSize = static_cast<std::int64_t>(payload.size());
    session.bytesSent += static_cast<std::int64_t>(payload.size());
    ++session.filesSent;
    log(id, "sending " + Printable(what) + " (" + std::to_string(payload.size()) + " bytes)");
}

void UpdateServerCore::acknowledged(ConnectionId id, Session &session,
                                    const updater::TransferAckMessage &ack)
{
    const int index = ack.index;
    const std::int64_t received = ack.received;
    if (index != session.transferIndex) {
        log(id, "ignored an acknowledgement for file " + std::to_string(index) +
                    ", which is not being sent");
        return;
    }
    if (received > session.transferSize) {
        log(id, "ignored an acknowledgement of " + std::to_string(received) + " bytes of " +
                    std::to_string(session.transferSize));
        return;
    }
    if (received == session.transferSize) {
        log(id,
            "file " + std::to_string(index) + " received (" + std::to_string(received) + " bytes)");
        session.transferIndex = -1;
    }
}

void UpdateServerCore::onTimer()
{
    const std::int64_t now = m_ports.clock.nowMs();
    std::vector<ConnectionId> idle;
    for (const auto &[id, session] : m_sessions) {
        if (now - session.lastSeen >= m_settings.idleTimeoutMs)
            idle.push_back(id);
    }
    for (const ConnectionId id : idle)
        drop(id, "silent for " + std::to_string(m_settings.idleTimeoutMs / 1000) + " s");
}

std::int64_t UpdateServerCore::nextDeadline() const
{
    std::int64_t deadline = -1;
    for (const auto &[id, session] : m_sessions) {
        const std::int64_t due = session.lastSeen + m_settings.idleTimeoutMs;
        if (deadline < 0 || due < deadline)
            deadline = due;
    }
    return deadline;
}

} // namespace servers

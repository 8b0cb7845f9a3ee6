#include "tests/support/PeerUpdateServer.h"

#include "common/Codec.h"
#include "updater/files/Packing.h"

namespace testsupport {

Bytes byteOf(int value)
{
    return Bytes(1, static_cast<char>(static_cast<unsigned char>(value)));
}

Bytes packet(int type, const Bytes &fields)
{
    return *common::BuildPacket(byteOf(type) + fields, common::PacketKind::Plain);
}

QByteArray qbytes(const Bytes &bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

Bytes ServedFile::wire() const
{
    return packed ? updater::PackedMarker() + updater::Pack(content) : content;
}

std::int32_t ServedFile::version() const
{
    return common::ByteSum(updater::PackedMarker() + updater::Pack(content));
}

PeerUpdateServer::PeerUpdateServer(ScriptedPeer &peer) : m_peer(peer)
{
    m_peer.onData = [this](const QByteArray &bytes) { handle(bytes); };
}

void PeerUpdateServer::handle(const QByteArray &bytes)
{
    m_buffer.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    while (m_buffer.size() >= 2) {
        const std::size_t n = common::DecodeLength(m_buffer);
        if (m_buffer.size() < n + 2)
            return;
        const Bytes body = m_buffer.substr(2, n);
        m_buffer.erase(0, n + 2);
        if (body.empty())
            continue;
        const int type = common::byteAt(body, 0);
        if (type == 0)
            sendList();
        else if (type == 1 && body.size() >= 2)
            sendFile(common::byteAt(body, 1));
        if (type != 2)
            requests.push_back(body);
    }
}

void PeerUpdateServer::sendList()
{
    Bytes out = listHead;
    if (!launchFile.empty())
        out += packet(0, launchFile);
    for (const auto &[number, folder] : folders)
        out += packet(1, byteOf(number) + folder);
    out += packet(2, byteOf(static_cast<int>(files.size())));
    for (const auto &f : files)
        out += packet(3, byteOf(f.index) + common::EncodeLong(f.version()) + f.name +
                             Bytes(1, '\0') + f.folder);
    out += packet(4) + listTail;
    m_peer.send(qbytes(out));
}

void PeerUpdateServer::sendFile(int index)
{
    requested.push_back(index);
    if (const auto raw = rawAnswers.find(index); raw != rawAnswers.end()) {
        m_peer.send(qbytes(raw->second));
        return;
    }
    for (const auto &f : files) {
        if (f.index != index)
            continue;
        const Bytes wire = f.wire();
        const Bytes header =
            packet(5, byteOf(index) + common::EncodeLong(static_cast<std::int32_t>(wire.size())));
        if (index == dropIndex) {
            m_peer.send(qbytes(header + wire.substr(0, static_cast<std::size_t>(dropAfter))));
            m_peer.closeConnection();
            return;
        }
        // Header and the start of the file together, the rest in pieces.
        m_peer.sendSplit(qbytes(header + wire),
                         {static_cast<int>(header.size()) + 7, static_cast<int>(wire.size() / 2)});
        return;
    }
}

} // namespace testsupport

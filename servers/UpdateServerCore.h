#pragma once

#include "common/Clock.h"
#include "common/ReceiveBuffer.h"
#include "servers/Connections.h"
#include "servers/GameFolder.h"
#include "updater/flow/UpdateProtocol.h"

#include <map>
#include <memory>
#include <set>

namespace servers {

// The update protocol's bodies as the server sends them (the message catalogue is the
// Updater's own, updater/flow/UpdateProtocol.h).
namespace update_wire {
Bytes SetLaunchFile(ByteView path);
Bytes FolderEntry(int number, ByteView folder);
Bytes FileCount(int count);
Bytes FileInfo(const OfferedFile &file);
Bytes FileListEnd();
Bytes FileData(int index, std::int32_t size);
} // namespace update_wire

struct UpdateServerSettings
{
    Bytes launchFile; // sent as SetLaunchFile when not empty ("\" separators)
    int maxConnections = 50;
    std::int64_t floodWindowMs = 5000;
    int floodPackets = 600; // acknowledgements come twice a second, requests once per file
    std::int64_t idleTimeoutMs = 120000;
};

// A launch path the server may send: relative, segments that IsServableName accepts,
// separated by "\" ("/" is turned into "\"). Empty when it is not acceptable.
Bytes NormalizeLaunchPath(ByteView path);

// Serves a game folder to Updaters. Plain C++: the network, the clock and the log are ports.
class UpdateServerCore final : public ConnectionHandler, public common::TimedCore
{
public:
    struct Ports
    {
        const common::Clock &clock;
        Connections &connections;
        GameFolder &folder;
        LogFunction log;
    };

    UpdateServerCore(Ports ports, UpdateServerSettings settings);

    void onOpened(ConnectionId id, const std::string &peerAddress) override;
    void onData(ConnectionId id, ByteView bytes) override;
    void onClosed(ConnectionId id) override;

    void onTimer() override;
    std::int64_t nextDeadline() const override;

    std::size_t connectionCount() const { return m_sessions.size(); }

    static constexpr std::size_t kMaxBodyLength = 256;

private:
    struct Session
    {
        std::string peerAddress;
        common::ReceiveBuffer buffer;
        std::shared_ptr<const Catalog> catalog; // the list this Updater was given
        std::int64_t lastSeen = 0;
        std::int64_t windowStart = 0;
        int windowPackets = 0;
        int transferIndex = -1; // file being sent
        std::int64_t transferSize = 0;
        std::int64_t bytesSent = 0;
        int filesSent = 0;
        std::set<int> requested; // each file once per connection, as the Updater asks
    };

    void handle(ConnectionId id, Session &session, const common::Packet &packet);
    void sendList(ConnectionId id, Session &session, ByteView version);
    void sendFile(ConnectionId id, Session &session, int index);
    void sendSelfUpdatePair(ConnectionId id, Session &session, const Bytes &updaterDat);
    void sendPayload(ConnectionId id, Session &session, int index, const Bytes &payload,
                     const std::string &what);
    void acknowledged(ConnectionId id, Session &session, const updater::TransferAckMessage &ack);
    void sendBody(ConnectionId id, ByteView body);
    void drop(ConnectionId id, const std::string &why);
    void log(ConnectionId id, const std::string &text);

    Ports m_ports;
    UpdateServerSettings m_settings;
    std::map<ConnectionId, Session> m_sessions;
};

} // namespace servers

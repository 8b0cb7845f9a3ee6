#pragma once

#include "common/Clock.h"
#include "common/ReceiveBuffer.h"
#include "servers/AccountStore.h"
#include "servers/Connections.h"
#include "servers/ServerDirectory.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace servers {

// The registry protocol as the server speaks it. Message types from the client:
//   0 VersionCheck      0 | version text | NUL | machine identifier
//   1 MyAddressRequest  1
//   2 KeepAlive         2
//   3 Account           3 | 0 | name NUL password   (create)
//                       3 | 1 | name NUL password   (login)
//                       3 | 2                       (logout)
//   5 ChatSay           5 | text
//   6 AddServerRequest  6 | 0 | port (long) | name NUL address
// and to the client:
//   0 0 x VersionAccepted, 0 1 VersionOutdated, 1 ServerEntry, 2 BootNotice, 3 MyAddressReply,
//   4 ServerPing, 5 sub AccountReply, 6 0 UserListClear, 6 1 UserListAdd, 7 ChatLine,
//   8 ServerListClear.
namespace registry_wire {
Bytes VersionAccepted();
Bytes VersionOutdated();
Bytes ServerEntry(
    const ListedServer &server); // 1 | index | status | players | name NUL owner NUL address
Bytes BootNotice(std::uint8_t code);
Bytes MyAddressReply(ByteView address);
Bytes ServerPing();
Bytes AccountReply(std::uint8_t sub); // 5 | sub
Bytes LoginAccepted(int ownServer, ByteView name);
Bytes ServerCreated(int ownServer);
Bytes UserListClear();
Bytes UserListAdd(ByteView name); // 6 | 1 | one byte the client skips | name
Bytes ChatLine(ByteView text);
Bytes ServerListClear();
} // namespace registry_wire

// Reasons of BootNotice.
enum class BootCode : std::uint8_t
{
    NotAccepting = 0,
    ConnectionLimit = 1,
    Flooding = 3,
    AlreadyConnected = 4,
    BadChecksum = 5,
};

inline constexpr const char *kRegistryClientVersion = "R0.7";

struct RegistryServerSettings
{
    int maxConnections = 100;
    // Flood protection: more than `floodPackets` packets or `floodBytes` bytes from one
    // connection within `floodWindowMs` gets it booted (code 3).
    std::int64_t floodWindowMs = 5000;
    int floodPackets = 60;
    std::size_t floodBytes = 64 * 1024;
    std::int64_t pingIntervalMs = 30000; // ServerPing to every greeted connection
    std::int64_t idleTimeoutMs = 90000;  // a connection silent this long is dropped
    // Several connections may come from one machine identifier (testing, shared computers).
    bool allowDuplicateMachines = false;
    // Every new connection is told that the registry is not accepting connections (code 0).
    bool maintenance = false;
    int maxFailedLogins = 5; // per connection; then booted for flooding
    std::size_t maxChatLength = 1400;
};

// Accepts Registry clients, checks every packet's check character, greets them, keeps the
// accounts and the server list, relays chat and watches for floods and idle connections.
// Plain C++: the network, the clock and the log are ports.
class RegistryServerCore final : public ConnectionHandler, public common::TimedCore
{
public:
    struct Ports
    {
        const common::Clock &clock;
        Connections &connections;
        AccountStore &accounts;
        ServerDirectory &directory;
        LogFunction log;
    };

    RegistryServerCore(Ports ports, RegistryServerSettings settings);

    void onOpened(ConnectionId id, const std::string &peerAddress) override;
    void onData(ConnectionId id, ByteView bytes) override;
    void onClosed(ConnectionId id) override;

    void onTimer() override;
    std::int64_t nextDeadline() const override;

    std::size_t connectionCount() const { return m_sessions.size(); }
    std::vector<Bytes> usersOnline() const;

    static constexpr std::size_t kMaxBodyLength = 2048;

private:
    struct Session
    {
        std::string peerAddress;
        common::ReceiveBuffer buffer;
        bool greeted = false; // VersionCheck accepted
        Bytes machineId;
        std::optional<Bytes> account;
        std::int64_t lastSeen = 0;
        std::int64_t windowStart = 0;
        int windowPackets = 0;
        std::size_t windowBytes = 0;
        int failedLogins = 0;
    };

    void handle(ConnectionId id, Session &session, const common::Packet &packet);
    void versionCheck(ConnectionId id, Session &session, ByteView fields);
    void account(ConnectionId id, Session &session, ByteView fields);
    void createAccount(ConnectionId id, Session &session, ByteView name, ByteView password);
    void login(ConnectionId id, Session &session, ByteView name, ByteView password);
    void logout(ConnectionId id, Session &session);
    void chat(ConnectionId id, Session &session, ByteView text);
    void addServer(ConnectionId id, Session &session, ByteView fields);

    void send(ConnectionId id, ByteView body);
    void sendServerList(ConnectionId id);
    void sendUserList(ConnectionId id);
    void broadcastUserList();
    void boot(ConnectionId id, BootCode code, const std::string &why);
    void drop(ConnectionId id, const std::string &why);
    // Closes the connection and forgets its session; the others learn when a user left.
    void closeSession(ConnectionId id);
    void log(ConnectionId id, const std::string &text);
    std::string who(ConnectionId id) const;

    Ports m_ports;
    RegistryServerSettings m_settings;
    std::map<ConnectionId, Session> m_sessions;
    std::int64_t m_nextPing;
};

} // namespace servers

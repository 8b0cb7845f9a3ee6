#include "servers/RegistryServerCore.h"

#include "common/Codec.h"
#include "registry/net/RegistryProtocol.h"
#include "servers/CheckedFraming.h"

#include <algorithm>

namespace servers {

namespace registry_wire {

namespace {

using registry::InboundType;

template <typename Sub> Bytes typeAndSub(InboundType type, Sub sub)
{
    return common::byteString({static_cast<int>(type), static_cast<int>(sub)});
}

Bytes typeAnd(InboundType type, ByteView rest = {})
{
    return Bytes(1, static_cast<char>(type)) + Bytes(rest);
}

} // namespace

Bytes VersionAccepted()
{
    return typeAndSub(InboundType::Version, registry::VersionResult::Accepted) + '\0';
}
Bytes VersionOutdated()
{
    return typeAndSub(InboundType::Version, registry::VersionResult::Outdated);
}
Bytes ServerEntry(const ListedServer &server)
{
    Bytes body = typeAnd(InboundType::ServerEntry);
    body += common::byteString({server.index, server.online ? 1 : 0, server.players});
    body += server.name;
    body += '\0';
    body += server.owner;
    body += '\0';
    body += server.address;
    return body;
}
Bytes BootNotice(std::uint8_t code)
{
    return typeAndSub(InboundType::BootNotice, code);
}
Bytes MyAddressReply(ByteView address)
{
    return typeAnd(InboundType::MyAddressReply, address);
}
Bytes ServerPing()
{
    return typeAnd(InboundType::ServerPing);
}
Bytes AccountReply(std::uint8_t sub)
{
    return typeAndSub(InboundType::AccountReply, sub);
}
Bytes LoginAccepted(int ownServer, ByteView name)
{
    return typeAndSub(InboundType::AccountReply, registry::AccountReply::LoginAccepted) +
           static_cast<char>(ownServer) + Bytes(name);
}
Bytes ServerCreated(int ownServer)
{
    return typeAndSub(InboundType::AccountReply, registry::AccountReply::ServerCreated) +
           static_cast<char>(ownServer);
}
Bytes UserListClear()
{
    return typeAndSub(InboundType::UserList, registry::UserListChange::Clear);
}
Bytes UserListAdd(ByteView name)
{
    return typeAndSub(InboundType::UserList, registry::UserListChange::Add) + ' ' + Bytes(name);
}
Bytes ChatLine(ByteView text)
{
    return typeAnd(InboundType::ChatLine, text);
}
Bytes ServerListClear()
{
    return typeAnd(InboundType::ServerListClear);
}

} // namespace registry_wire

namespace {

constexpr auto kCreated = static_cast<std::uint8_t>(registry::AccountReply::AccountCreated);
constexpr auto kExists = static_cast<std::uint8_t>(registry::AccountReply::AccountExists);
constexpr auto kRejected = static_cast<std::uint8_t>(registry::AccountReply::LoginRejected);
constexpr auto kAlreadyLoggedIn =
    static_cast<std::uint8_t>(registry::AccountReply::AlreadyLoggedIn);

const char *bootText(BootCode code)
{
    switch (code) {
    case BootCode::NotAccepting:
        return "not accepting connections";
    case BootCode::ConnectionLimit:
        return "connection limit reached";
    case BootCode::Flooding:
        return "flooding";
    case BootCode::AlreadyConnected:
        return "machine already connected";
    case BootCode::BadChecksum:
        return "invalid check character";
    }
    return "";
}

} // namespace

RegistryServerCore::RegistryServerCore(Ports ports, RegistryServerSettings settings)
    : m_ports(std::move(ports)), m_settings(settings),
      m_nextPing(m_ports.clock.nowMs() + std::max<std::int64_t>(1, m_settings.pingIntervalMs))
{
}

std::string RegistryServerCore::who(ConnectionId id) const
{
    std::string text = "#" + std::to_string(id);
    const auto it = m_sessions.find(id);
    if (it != m_sessions.end()) {
        text += " " + it->second.peerAddress;
        if (it->second.account)
            text += " (" + Printable(*it->second.account) + ")";
    }
    return text;
}

void RegistryServerCore::log(ConnectionId id, const std::string &text)
{
    if (m_ports.log)
        m_ports.log(who(id) + " " + text);
}

void RegistryServerCore::send(ConnectionId id, ByteView body)
{
    if (auto packet = common::BuildPacket(body, common::PacketKind::Plain))
        m_ports.connections.send(id, *packet);
}

void RegistryServerCore::onOpened(ConnectionId id, const std::string &peerAddress)
{
    const std::string peer = Printable(peerAddress, 64);
    if (m_settings.maintenance) {
        if (m_ports.log)
            m_ports.log("#" + std::to_string(id) + " " + peer +
                        " refused: not accepting connections (code 0)");
        send(id, registry_wire::BootNotice(static_cast<std::uint8_t>(BootCode::NotAccepting)));
        m_ports.connections.close(id);
        return;
    }
    if (static_cast<int>(m_sessions.size()) >= m_settings.maxConnections) {
        if (m_ports.log)
            m_ports.log("#" + std::to_string(id) + " " + peer +
                        " refused: connection limit reached (code 1)");
        send(id, registry_wire::BootNotice(static_cast<std::uint8_t>(BootCode::ConnectionLimit)));
        m_ports.connections.close(id);
        return;
    }
    Session &session = m_sessions[id];
    session.peerAddress = peer;
    session.lastSeen = m_ports.clock.nowMs();
    session.windowStart = session.lastSeen;
    log(id, "connected");
}

void RegistryServerCore::onClosed(ConnectionId id)
{
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    const bool wasLoggedIn = it->second.account.has_value();
    log(id, "disconnected");
    m_sessions.erase(it);
    if (wasLoggedIn)
        broadcastUserList();
}

void RegistryServerCore::onData(ConnectionId id, ByteView bytes)
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
        session->windowBytes = 0;
    }
    session->windowBytes += bytes.size();
    if (session->windowBytes > m_settings.floodBytes) {
        boot(id, BootCode::Flooding,
             std::to_string(session->windowBytes) + " bytes within " +
                 std::to_string(m_settings.floodWindowMs) + " ms");
        return;
    }
    session->buffer.append(bytes);
    while (true) {
        CheckedCut cut = CutCheckedPacket(session->buffer, kMaxBodyLength);
        if (cut.result == CheckedCut::Result::Incomplete)
            return;
        if (cut.result == CheckedCut::Result::BadCheck) {
            boot(id, BootCode::BadChecksum, "packet with a wrong check character");
            return;
        }
        if (cut.result == CheckedCut::Result::TooLong) {
            drop(id, "announced a packet of " +
                         std::to_string(common::DecodeLength(session->buffer.view())) +
                         " bytes (at most " + std::to_string(kMaxBodyLength) + ")");
            return;
        }
        if (++session->windowPackets > m_settings.floodPackets) {
            boot(id, BootCode::Flooding,
                 std::to_string(session->windowPackets) + " packets within " +
                     std::to_string(m_settings.floodWindowMs) + " ms");
            return;
        }
        handle(id, *session, cut.packet);
        it = m_sessions.find(id); // the handler may have closed the connection
        if (it == m_sessions.end())
            return;
        session = &it->second;
    }
}

void RegistryServerCore::handle(ConnectionId id, Session &session, const common::Packet &packet)
{
    using registry::OutboundType;
    const ByteView fields = packet.fields;
    const auto type = static_cast<OutboundType>(packet.type);
    if (type == OutboundType::VersionCheck) {
        versionCheck(id, session, fields);
        return;
    }
    if (type == OutboundType::KeepAlive)
        return; // KeepAlive: being heard from is all it says
    if (!session.greeted) {
        log(id,
            "ignored message type " + std::to_string(packet.type) + " before the version check");
        return;
    }
    switch (type) {
    case OutboundType::MyAddressRequest:
        send(id, registry_wire::MyAddressReply(session.peerAddress));
        log(id, "asked for its address");
        return;
    case OutboundType::Account:
        account(id, session, fields);
        return;
    case OutboundType::ChatSay:
        chat(id, session, fields);
        return;
    case OutboundType::Server:
        addServer(id, session, fields);
        return;
    default:
        log(id, "ignored unknown message type " + std::to_string(packet.type));
    }
}

void RegistryServerCore::versionCheck(ConnectionId id, Session &session, ByteView fields)
{
    if (session.greeted) {
        log(id, "ignored a second version check");
        return;
    }
    const std::size_t nul = fields.find('\0');
    const ByteView version = fields.substr(0, nul);
    const ByteView machine = nul == ByteView::npos ? ByteView{} : fields.substr(nul + 1);
    if (version != kRegistryClientVersion) {
        log(id, "client version \"" + Printable(version) + "\" is out-dated; closing");
        send(id, registry_wire::VersionOutdated());
        m_ports.connections.close(id);
        m_sessions.erase(id);
        return;
    }
    const bool knownMachine = !machine.empty() && machine != "-1";
    if (knownMachine && !m_settings.allowDuplicateMachines) {
        for (const auto &[otherId, other] : m_sessions) {
            if (otherId != id && other.greeted && other.machineId == machine) {
                boot(id, BootCode::AlreadyConnected,
                     "machine " + Printable(machine) + " is already connected as #" +
                         std::to_string(otherId));
                return;
            }
        }
    }
    session.machineId = Bytes(machine.substr(0, 64));
    session.greeted = true;
    send(id, registry_wire::VersionAccepted());
    sendServerList(id);
    sendUserList(id);
    log(id, "version " + Printable(version) + " accepted (machine " + Printable(machine) +
                "); sent " + std::to_string(m_ports.directory.all().size()) + " server(s) and " +
                std::to_string(usersOnline().size()) + " user(s)");
}

void RegistryServerCore::sendServerList(ConnectionId id)
{
    send(id, registry_wire::ServerListClear());
    for (const auto &server : m_ports.directory.all())
        send(id, registry_wire::ServerEntry(server));
}

std::vector<Bytes> RegistryServerCore::usersOnline() const
{
    std::vector<Bytes> names;
    for (const auto &[id, session] : m_sessions) {
        if (session.account)
            names.push_back(*session.account);
    }
    return names;
}

void RegistryServerCore::sendUserList(ConnectionId id)
{
    send(id, registry_wire::UserListClear());
    for (const auto &name : usersOnline())
        send(id, registry_wire::UserListAdd(name));
}

void RegistryServerCore::broadcastUserList()
{
    for (const auto &[id, session] : m_sessions) {
        if (session.greeted)
            sendUserList(id);
    }
}

void RegistryServerCore::account(ConnectionId id, Session &session, ByteView fields)
{
    if (fields.empty()) {
        log(id, "ignored an account message without a sub-type");
        return;
    }
    using registry::AccountRequest;
    const auto sub = common::byteAt(fields, 0);
    if (sub == static_cast<std::uint8_t>(AccountRequest::Logout)) {
        logout(id, session);
        return;
    }
    if (sub != static_cast<std::uint8_t>(AccountRequest::CreateAccount) &&
        sub != static_cast<std::uint8_t>(AccountRequest::Login)) {
        log(id, "ignored account message sub-type " + std::to_string(sub));
        return;
    }
    const ByteView rest = fields.substr(1);
    const std::size_t nul = rest.find('\0');
    if (nul == ByteView::npos) {
        log(id, "ignored an account message without a NUL after the user name");
        return;
    }
    const ByteView name = rest.substr(0, nul);
    const ByteView password = rest.substr(nul + 1);
    if (sub == static_cast<std::uint8_t>(AccountRequest::CreateAccount))
        createAccount(id, session, name, password);
    else
        login(id, session, name, password);
}

void RegistryServerCore::createAccount(ConnectionId id, Session &, ByteView name, ByteView password)
{
    using R = AccountStore::CreateResult;
    switch (m_ports.accounts.create(name, password)) {
    case R::Created:
        log(id, "created account " + Printable(name));
        send(id, registry_wire::AccountReply(kCreated));
        return;
    case R::Exists:
        log(id, "account " + Printable(name) + " already exists");
        send(id, registry_wire::AccountReply(kExists));
        return;
    case R::Invalid:
        log(id, "refused account name \"" + Printable(name) + "\" or its password");
        send(id, registry_wire::ChatLine("Registry: that user name or password is not "
                                         "allowed (3 to 15 characters, starting with a letter)."));
        return;
    case R::StorageFailed:
        log(id, "ERROR: could not store account " + Printable(name));
        send(id, registry_wire::ChatLine(
                     "Registry: your account could not be stored; please try again later."));
        return;
    }
}

void RegistryServerCore::login(ConnectionId id, Session &session, ByteView name, ByteView password)
{
    if (session.account) {
        log(id, "login as " + Printable(name) + " while already logged in");
        send(id, registry_wire::AccountReply(kAlreadyLoggedIn));
        return;
    }
    const std::optional<Bytes> canonical = m_ports.accounts.verify(name, password);
    if (!canonical) {
        ++session.failedLogins;
        log(id, "login as " + Printable(name) + " rejected");
        send(id, registry_wire::AccountReply(kRejected));
        if (session.failedLogins >= m_settings.maxFailedLogins)
            boot(id, BootCode::Flooding, std::to_string(session.failedLogins) + " rejected logins");
        return;
    }
    for (const auto &[otherId, other] : m_sessions) {
        if (other.account && SameName(*other.account, *canonical)) {
            log(id, "login as " + Printable(*canonical) + " refused: already logged in as #" +
                        std::to_string(otherId));
            send(id, registry_wire::AccountReply(kAlreadyLoggedIn));
            return;
        }
    }
    session.account = *canonical;
    session.failedLogins = 0;
    log(id, "logged in");
    send(id, registry_wire::LoginAccepted(m_ports.directory.ownedBy(*canonical), *canonical));
    broadcastUserList();
}

void RegistryServerCore::logout(ConnectionId id, Session &session)
{
    if (!session.account) {
        log(id, "logout while not logged in ignored");
        return;
    }
    log(id, "logged out");
    session.account.reset();
    broadcastUserList();
}

void RegistryServerCore::chat(ConnectionId id, Session &session, ByteView text)
{
    if (!session.account) {
        log(id, "ignored chat while not logged in");
        return;
    }
    Bytes line = common::TrimBlanks(text);
    if (line.empty())
        return;
    if (line.size() > m_settings.maxChatLength) {
        log(id, "chat line of " + std::to_string(line.size()) + " bytes cut to " +
                    std::to_string(m_settings.maxChatLength));
        line.resize(m_settings.maxChatLength);
    }
    const Bytes relayed = *session.account + ": " + line;
    log(id, "chat: " + Printable(line));
    const Bytes body = registry_wire::ChatLine(relayed);
    for (const auto &[otherId, other] : m_sessions) {
        if (otherId != id && other.account)
            send(otherId, body);
    }
}

namespace {

// Why a server list refused a registration: for the log, and for the client's chat.
struct Refusal
{
    const char *why;
    const char *tell;
};

std::optional<Refusal> refusalOf(ServerDirectory::AddResult result)
{
    using R = ServerDirectory::AddResult;
    switch (result) {
    case R::Added:
        break;
    case R::Full:
        return Refusal{"the list is full", "Registry: the server list is full."};
    case R::NameTaken:
        return Refusal{"the name is taken", "Registry: a server of that name is listed already."};
    case R::OwnerHasServer:
        return Refusal{"the account has a server already",
                       "Registry: your account has a server listed already."};
    case R::Invalid:
        return Refusal{"invalid name or address",
                       "Registry: the server name (3 to 40 characters) or address is not valid."};
    case R::StorageFailed:
        return Refusal{"ERROR: the server list could not be stored",
                       "Registry: the server could not be stored; please try again later."};
    }
    return std::nullopt;
}

} // namespace

void RegistryServerCore::addServer(ConnectionId id, Session &session, ByteView fields)
{
    if (fields.empty() || common::byteAt(fields, 0) !=
                              static_cast<std::uint8_t>(registry::ServerRequest::AddServer)) {
        log(id, "ignored a server message with an unknown sub-type");
        return;
    }
    if (!session.account) {
        log(id, "ignored a server registration while not logged in");
        return;
    }
    const ByteView rest = fields.substr(1);
    const std::size_t nul = rest.size() >= 4 ? rest.find('\0', 4) : ByteView::npos;
    if (nul == ByteView::npos) {
        log(id, "ignored a malformed server registration");
        return;
    }
    const std::int32_t port = common::DecodeLong(rest);
    ListedServer server;
    server.name = Bytes(rest.substr(4, nul - 4));
    server.address = Bytes(rest.substr(nul + 1));
    server.owner = *session.account;
    server.online = true;
    server.players = 0;
    auto refuse = [&](const std::string &why, const char *tell) {
        log(id, "server \"" + Printable(server.name) + "\" at " + Printable(server.address) +
                    " refused: " + why);
        send(id, registry_wire::ChatLine(tell));
    };
    if (port < 1 || port > 65535) {
        refuse("port " + std::to_string(port), "Registry: the port must lie between 1 and 65535.");
        return;
    }
    server.port = static_cast<std::uint16_t>(port);
    if (m_ports.directory.ownedBy(*session.account) != 0) {
        refuse("the account has a server already",
               "Registry: your account has a server listed already.");
        return;
    }
    if (const std::optional<Refusal> refusal = refusalOf(m_ports.directory.add(server))) {
        refuse(refusal->why, refusal->tell);
        return;
    }
    log(id, "registered server " + std::to_string(server.index) + " \"" + Printable(server.name) +
                "\" at " + Printable(server.address) + ":" + std::to_string(server.port));
    send(id, registry_wire::ServerCreated(server.index));
    const Bytes entry = registry_wire::ServerEntry(server);
    for (const auto &[otherId, other] : m_sessions) {
        if (other.greeted)
            send(otherId, entry);
    }
}

void RegistryServerCore::boot(ConnectionId id, BootCode code, const std::string &why)
{
    log(id, std::string("booted: ") + bootText(code) + " (code " +
                std::to_string(static_cast<int>(code)) + "): " + why);
    send(id, registry_wire::BootNotice(static_cast<std::uint8_t>(code)));
    closeSession(id);
}

void RegistryServerCore::closeSession(ConnectionId id)
{
    m_ports.connections.close(id);
    const auto it = m_sessions.find(id);
    if (it == m_sessions.end())
        return;
    const bool wasLoggedIn = it->second.account.has_value();
    m_sessions.erase(it);
    if (wasLoggedIn)
        broadcastUserList();
}

void RegistryServerCore::drop(ConnectionId id, const std::string &why)
{
    log(id, "dropped: " + why);
    closeSession(id);
}

void RegistryServerCore::onTimer()
{
    const std::int64_t now = m_ports.clock.nowMs();
    std::vector<ConnectionId> idle;
    for (const auto &[id, session] : m_sessions) {
        if (now - session.lastSeen >= m_settings.idleTimeoutMs)
            idle.push_back(id);
    }
    for (const ConnectionId id : idle)
        drop(id, "silent for " + std::to_string(m_settings.idleTimeoutMs / 1000) + " s");
    if (now >= m_nextPing) {
        for (const auto &[id, session] : m_sessions) {
            if (session.greeted)
                send(id, registry_wire::ServerPing());
        }
        m_nextPing = now + std::max<std::int64_t>(1, m_settings.pingIntervalMs);
    }
}

std::int64_t RegistryServerCore::nextDeadline() const
{
    std::int64_t deadline = m_nextPing;
    for (const auto &[id, session] : m_sessions)
        deadline = std::min(deadline, session.lastSeen + m_settings.idleTimeoutMs);
    return deadline;
}

} // namespace servers

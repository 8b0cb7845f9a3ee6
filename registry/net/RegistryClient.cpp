#include "registry/net/RegistryClient.h"

#include "common/Codec.h"
#include "common/HostAddress.h"
#include "common/LeadingNumber.h"
#include "registry/net/AdministratorLock.h"
#include "registry/net/RegistryProtocol.h"

#include <algorithm>

#ifndef TALMORA_REGISTRY_HOST
#define TALMORA_REGISTRY_HOST "127.0.0.1"
#endif
#ifndef TALMORA_REGISTRY_PORT
#define TALMORA_REGISTRY_PORT 2600
#endif
#ifndef TALMORA_FORUM_ADDRESS
#define TALMORA_FORUM_ADDRESS "http://forum.example.org/"
#endif

namespace registry {

namespace {

constexpr std::int64_t kNoDeadline = -1;
constexpr std::int64_t kDefaultGamePort = 5750;
constexpr std::int64_t kHighestPort = 65535;

// Texts shown by the core, exactly as players know them.
constexpr const char *kBootedText = "You have been booted from the Registry!";
constexpr const char *kOutdatedText =
    "Your Registry client is out-dated! - An update may be availible on the Talmora Online "
    "Classic Forums at: (";
constexpr const char *kRestrictedText =
    "Adding new servers has been restricted to Administrators only due to maintenance!";
constexpr const char *kInvalidPortText = "Error: Invalid port!";
constexpr const char *kProbeFailedText = "Error: The server you are trying to add must be online!";

// Reason texts of the boot codes 0 to 5; code 2 carries no reason.
constexpr const char *kBootReasons[] = {
    "The Registry Server is not currently accepting connections.",
    "The Registry Server has reached it's connection's limit. Try again later.",
    "",
    "Flooding",
    "You are already connected to the Registry!",
    "You have provided an invalid checksum, try running the updater!",
};
constexpr std::uint8_t kBootCodeAlreadyConnected = 4;

bool startsWithLetter(ByteView text)
{
    if (text.empty())
        return false;
    const unsigned char c = common::byteAt(text, 0);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

Bytes decimal(std::int64_t value)
{
    return std::to_string(value);
}

} // namespace

std::string DefaultRegistryHost()
{
    return TALMORA_REGISTRY_HOST;
}

std::uint16_t DefaultRegistryPort()
{
    return static_cast<std::uint16_t>(TALMORA_REGISTRY_PORT);
}

std::string ForumAddress()
{
    return TALMORA_FORUM_ADDRESS;
}

class RegistryClient::ProbeListener final : public common::Transport::Listener
{
public:
    explicit ProbeListener(RegistryClient &client) : m_client(client) {}
    void onConnected() override { m_client.probeConnected(); }
    void onClosed() override {}
    void onData(ByteView) override {}

private:
    RegistryClient &m_client;
};

RegistryClient::RegistryClient(Ports ports)
    : m_ports(std::move(ports)), m_probeListener(std::make_unique<ProbeListener>(*this))
{
    m_ports.main.setListener(this);
    m_ports.probe.setListener(m_probeListener.get());
}

RegistryClient::~RegistryClient()
{
    m_ports.main.setListener(nullptr);
    m_ports.probe.setListener(nullptr);
    m_ports.main.close();
    m_ports.probe.close();
}

void RegistryClient::start()
{
    if (m_started)
        return;
    m_started = true;
    m_nextConnectTime = m_ports.clock.nowMs() + kConnectIntervalMs;
}

void RegistryClient::requestQuit()
{
    setQuitRequested();
}

void RegistryClient::setQuitRequested()
{
    if (m_quitRequested)
        return;
    m_quitRequested = true;
    m_ports.view.quitRequested();
}

// ---------------------------------------------------------------------------------------
// Timed work

std::int64_t RegistryClient::nextDeadline() const
{
    if (m_quitRequested)
        return kNoDeadline;
    std::int64_t deadline = kNoDeadline;
    auto consider = [&deadline](std::int64_t at) {
        if (deadline < 0 || at < deadline)
            deadline = at;
    };
    // The program's own loop, which reconnects and watches the probe, does not run while a
    // message is open; the keep-alive is a timer of its own and goes on.
    const bool loopRuns = m_openMessages == 0;
    if (loopRuns && m_started && !m_connected && !m_booted)
        consider(m_nextConnectTime);
    if (m_pingEnabled)
        consider(m_nextPingTime);
    if (loopRuns && m_probePending)
        consider(m_probeDeadline);
    if (m_resumeDue && m_openMessages < kMaxNestedMessages)
        consider(m_ports.clock.nowMs());
    return deadline;
}

void RegistryClient::onTimer()
{
    if (m_quitRequested)
        return;
    // Keep-alive first, then the program's own loop, which does not run while a message is
    // open. The probe's failure message comes last: it stays open until the user closes it.
    if (m_pingEnabled && m_ports.clock.nowMs() >= m_nextPingTime) {
        m_nextPingTime = m_ports.clock.nowMs() + kKeepAliveIntervalMs;
        sendPacket(KeepAliveBody());
    }
    if (m_resumeDue && m_openMessages < kMaxNestedMessages) {
        m_resumeDue = false;
        receivePackets();
    }
    if (m_openMessages > 0)
        return;
    if (m_started && !m_connected && !m_booted && m_ports.clock.nowMs() >= m_nextConnectTime) {
        connectRegistry();
        m_nextConnectTime = m_ports.clock.nowMs() + kConnectIntervalMs;
    }
    if (m_probePending && m_ports.clock.nowMs() >= m_probeDeadline)
        probeTimedOut();
}

// ---------------------------------------------------------------------------------------
// Connection and login state

void RegistryClient::showMessage(ByteView text)
{
    ++m_openMessages;
    m_ports.view.showMessage(text);
    --m_openMessages;
    // A packet that waited is taken up from the event loop, after the handler that opened
    // this message has finished.
    if (m_holding)
        m_resumeDue = true;
}

void RegistryClient::connectRegistry()
{
    // Bytes that waited belong to the connection being abandoned.
    m_receiveBuffer.clear();
    m_holding = false;
    m_resumeDue = false;
    m_ports.main.close();
    m_ports.main.connectTo(m_ports.host, m_ports.port);
}

void RegistryClient::onConnected()
{
    // A packet cut short by the previous connection must not run into this one.
    m_receiveBuffer.clear();
    updateConnectionState();
}

void RegistryClient::onClosed()
{
    updateConnectionState();
}

void RegistryClient::updateConnectionState()
{
    if (m_quitRequested)
        return;
    if (m_ports.main.state() == common::Transport::State::Connected) {
        const Bytes id = m_ports.machineId ? m_ports.machineId() : Bytes("-1");
        sendPacket(VersionCheckBody(kVersionText, id));
        showConnection(true);
        m_pingEnabled = true;
        m_nextPingTime = m_ports.clock.nowMs() + kKeepAliveIntervalMs;
        m_connected = true;
        return;
    }
    logOff();
    clearServerList();
    showConnection(false);
    m_pingEnabled = false;
    m_connected = false;
}

void RegistryClient::showConnection(bool connected)
{
    RegistryView &view = m_ports.view;
    view.setRegistryState(connected ? "Online" : "Offline", connected);
    view.setStatusText(connected ? "Connected" : "Connecting...");
    // Accounts are created and logged into while connected and not logged in.
    view.setAccountMenuEnabled(AccountMenu::CreateNewAccount, connected);
    view.setAccountMenuEnabled(AccountMenu::LogIn, connected);
    view.setAccountMenuEnabled(AccountMenu::LogOut, false);
}

void RegistryClient::enterLoggedIn(ByteView name, int ownServer)
{
    RegistryView &view = m_ports.view;
    m_loggedIn = true;
    view.setServerAddNewEnabled(ownServer == 0);
    view.setServerSettingsEnabled(ownServer != 0);
    Bytes account = "Logged in (";
    account.append(name);
    account.push_back(')');
    view.setAccountText(account);
    Bytes line = "You have logged in as ";
    line.append(name);
    appendChat(line);
    view.hidePanel(Panel::AccountLogin);
    view.setAccountMenuEnabled(AccountMenu::CreateNewAccount, false);
    view.setAccountMenuEnabled(AccountMenu::LogIn, false);
    view.setAccountMenuEnabled(AccountMenu::LogOut, true);
    view.setChatInputEnabled(true);
    // After the program's own "logged in as" line, which is no one's mention of the player.
    m_accountName = Bytes(name);
}

void RegistryClient::logOff()
{
    if (!m_loggedIn)
        return;
    RegistryView &view = m_ports.view;
    sendPacket(LogoutRequestBody());
    view.setServerSettingsEnabled(false);
    view.setServerAddNewEnabled(false);
    view.setAccountMenuEnabled(AccountMenu::CreateNewAccount, true);
    view.setAccountMenuEnabled(AccountMenu::LogIn, true);
    view.setAccountMenuEnabled(AccountMenu::LogOut, false);
    for (Panel panel :
         {Panel::NewAccount, Panel::AccountLogin, Panel::ServerSettings, Panel::Credits})
        view.hidePanel(panel);
    view.clearChatInput();
    view.setChatInputEnabled(false);
    m_loggedIn = false;
    m_accountName.clear();
    view.setAccountText("Logged Off");
    appendChat("You have logged out of your account!");
}

void RegistryClient::showBooted(ByteView reason, bool quit)
{
    Bytes text = kBootedText;
    if (!reason.empty()) {
        text += " Reason: ";
        text.append(reason);
    }
    // Socket events may be handled while the message is open; the flags change only after.
    showMessage(text);
    m_booted = true;
    if (quit)
        setQuitRequested();
}

void RegistryClient::sendPacket(ByteView body)
{
    if (m_ports.main.state() != common::Transport::State::Connected)
        return;
    if (const auto packet = common::BuildPacket(body, common::PacketKind::WithCheckCharacter))
        m_ports.main.send(*packet);
}

// ---------------------------------------------------------------------------------------
// Receive loop and dispatcher

void RegistryClient::onData(ByteView bytes)
{
    m_receiveBuffer.append(bytes);
    receivePackets();
}

bool RegistryClient::nextPacketMustWait() const
{
    if (m_openMessages < kMaxNestedMessages)
        return false;
    const ByteView pending = m_receiveBuffer.view();
    if (pending.size() < 3 || common::DecodeLength(pending.substr(0, 2)) == 0)
        return false; // nothing to hand over yet, or an empty packet that is skipped
    switch (static_cast<InboundType>(common::byteAt(pending, 2))) {
    case InboundType::Version:      // out-dated notice; automatic login and its checks
    case InboundType::BootNotice:   // the boot notice
    case InboundType::AccountReply: // account and server replies
        return true;
    default:
        return false;
    }
}

void RegistryClient::receivePackets()
{
    // Each packet is cut from the buffer before it is handled, so data delivered while a
    // handler's message is open is handled by the nested call and never seen twice.
    bool mustWait = false;
    m_receiveBuffer.dispatchAll(
        [this](const common::Packet &packet) { dispatchPacket(packet.type, packet.fields); },
        [this, &mustWait] {
            mustWait = nextPacketMustWait();
            return !mustWait;
        });
    if (mustWait) {
        // The waiting packet and everything after it stay in order: the rest of this
        // delivery here, later bytes with the socket, which slows the sender down.
        m_holding = true;
        m_ports.main.setReceiving(false);
        return;
    }
    if (m_holding) {
        m_holding = false;
        m_resumeDue = false;
        m_ports.main.setReceiving(true);
    }
}

namespace {

// Decode, then act: a message too short to be acted on is ignored.
template <typename Message, typename Act> void decodeThen(ByteView fields, Act act)
{
    Message message;
    if (message.decode(fields))
        act(message);
}

} // namespace

void RegistryClient::dispatchPacket(std::uint8_t type, ByteView fields)
{
    switch (static_cast<InboundType>(type)) {
    case InboundType::Version:
        return decodeThen<VersionReply>(fields, [this](const auto &m) { onVersionReply(m); });
    case InboundType::ServerEntry:
        return decodeThen<ServerEntryFields>(fields, [this](const auto &m) { onServerEntry(m); });
    case InboundType::BootNotice:
        return decodeThen<BootNotice>(fields, [this](const auto &m) { onBootNotice(m); });
    case InboundType::MyAddressReply:
        return onMyAddressReply(fields);
    case InboundType::ServerPing:
        return sendPacket(KeepAliveBody());
    case InboundType::AccountReply:
        return decodeThen<AccountReplyMessage>(fields,
                                               [this](const auto &m) { onAccountReply(m); });
    case InboundType::UserList:
        return decodeThen<UserListMessage>(fields, [this](const auto &m) { onUserList(m); });
    case InboundType::ChatLine:
        return appendChat(fields);
    case InboundType::ServerListClear:
        return clearServerList();
    }
    // Types 9 to 255: ignored.
}

void RegistryClient::onVersionReply(const VersionReply &message)
{
    if (message.sub == 0) {
        if (autoLoginTicked())
            requestLogin(m_login.user, m_login.password);
    } else if (message.sub == 1) {
        showMessage(kOutdatedText + ForumAddress() + ")");
        setQuitRequested();
    }
}

void RegistryClient::onServerEntry(const ServerEntryFields &entry)
{
    // Beyond the 30 slots: the table stays as it is.
    if (entry.index > ServerTable::kSlots)
        return;
    updateServerRow(entry.index, entry.name, entry.administrator, entry.address, entry.players,
                    entry.online);
}

void RegistryClient::onBootNotice(const BootNotice &message)
{
    if (message.code >= std::size(kBootReasons))
        return;
    if (message.code == kBootCodeAlreadyConnected)
        m_ports.main.close();
    showBooted(kBootReasons[message.code], true);
}

void RegistryClient::onMyAddressReply(ByteView reply)
{
    // The box gets what of the reply an address can be made of: the rest could never be
    // submitted, and a line break, blank or stray byte the server sends along does not
    // belong in an address. Setting the box counts as a change of it.
    const Bytes address = common::AddressCharacters(reply);
    m_newServer.address = address;
    m_ports.view.setNewServerAddress(address);
}

void RegistryClient::onAccountReply(const AccountReplyMessage &message)
{
    RegistryView &view = m_ports.view;
    switch (static_cast<AccountReply>(message.sub)) {
    case AccountReply::AccountCreated:
        showMessage("Account has been created succesfully!");
        view.hidePanel(Panel::NewAccount);
        view.clearNewAccountFields();
        return;
    case AccountReply::AccountExists:
        showMessage("Error: This account already exists!");
        view.clearNewAccountUserAndFocus();
        return;
    case AccountReply::LoginAccepted:
        enterLoggedIn(message.name, message.ownServer);
        return;
    case AccountReply::LoginRejected:
        showMessage("Error: Invalid Username/Password!");
        return;
    case AccountReply::AlreadyLoggedIn:
        showMessage("Error: You are already logged into an account!");
        return;
    case AccountReply::ServerCreated:
        view.setServerSettingsEnabled(true);
        view.setServerAddNewEnabled(false);
        showMessage("Your Server has been created succesfully!");
        return;
    }
}

void RegistryClient::onUserList(const UserListMessage &message)
{
    if (message.sub == 0)
        m_ports.view.clearUsers();
    else if (message.sub == 1)
        m_ports.view.addUser(message.name);
}

// ---------------------------------------------------------------------------------------
// Server table

void RegistryClient::updateServerRow(int index, ByteView name, ByteView administrator,
                                     ByteView address, std::uint8_t players, bool online)
{
    if (!ServerTable::validIndex(index))
        return;
    ServerRecord &record = m_servers.slot(index);
    record.name.assign(name);
    record.administrator.assign(administrator);
    record.address.assign(address);
    record.online = online;
    record.players = players;

    ServerRowText row;
    row.status = online ? "Online" : "Offline";
    row.name.assign(name);
    row.players = decimal(players);
    row.administrator.assign(administrator);
    m_ports.view.setServerRow(index, row);
    showServerCount();
}

void RegistryClient::clearServerList()
{
    m_servers.clear();
    m_ports.view.clearServerRows();
    showServerCount();
}

void RegistryClient::showServerCount()
{
    m_ports.view.setServerCountText(decimal(m_servers.CountServers()));
}

// ---------------------------------------------------------------------------------------
// Chat

void RegistryClient::appendChat(ByteView line)
{
    if (line.empty())
        return;
    m_ports.view.appendChatLine(line);
}

std::optional<Bytes> RegistryClient::sendChat(ByteView text)
{
    std::optional<Bytes> sent;
    if (!text.empty() && text != "\r\n") {
        sent = common::TrimBlanks(text);
        sendPacket(ChatSayBody(*sent));
        appendChat("You: " + *sent);
    }
    m_ports.view.clearChatInput();
    return sent;
}

std::optional<Bytes> RegistryClient::sendChatFromEnter(ByteView inputText)
{
    if (inputText.empty())
        return std::nullopt;
    Bytes text;
    text.reserve(inputText.size());
    for (char c : inputText) {
        if (c != '\r' && c != '\n')
            text.push_back(c);
    }
    return sendChat(text);
}

// ---------------------------------------------------------------------------------------
// Accounts

std::optional<RegistryClient::AccountTexts>
RegistryClient::checkedAccountTexts(ByteView user, ByteView password, const char *userTooShort,
                                    const char *passwordTooShort)
{
    AccountTexts texts{common::TrimBlanks(user), common::TrimBlanks(password)};
    const char *failure = nullptr;
    if (texts.user.size() < 3)
        failure = userTooShort;
    else if (texts.password.size() < 3)
        failure = passwordTooShort;
    else if (!startsWithLetter(texts.user))
        failure = "Error: Username must start with a letter!";
    if (!failure)
        return texts;
    showMessage(failure);
    return std::nullopt;
}

void RegistryClient::requestNewAccount(ByteView user, ByteView password, ByteView retyped)
{
    const auto texts =
        checkedAccountTexts(user, password, "Error: Username must be atleast 3 characters long!",
                            "Error: Password must be atleast 3 characters long!");
    if (!texts)
        return;
    if (UpperCase1252(texts->password) != UpperCase1252(common::TrimBlanks(retyped))) {
        showMessage("Error: Your two passwords do not match, please re-enter!");
        return;
    }
    sendPacket(CreateAccountRequestBody(texts->user, texts->password));
}

void RegistryClient::requestLogin(ByteView user, ByteView password)
{
    const auto texts =
        checkedAccountTexts(user, password, "Error: Username must be at least 3 characters long!",
                            "Error: Password must be at least 3 characters long!");
    if (texts)
        sendPacket(LoginRequestBody(texts->user, texts->password));
}

// ---------------------------------------------------------------------------------------
// Stored account settings

void RegistryClient::loadAccountSettings()
{
    AccountSettings *settings = m_ports.settings;
    RegistryView &view = m_ports.view;
    m_login.user = settings ? settings->user() : Bytes();
    view.showLoginUser(m_login.user);
    m_autoLogin = settings ? settings->autoLogin() : 0;
    view.showAutoLogin(m_autoLogin);
    if (autoLoginTicked()) {
        m_login.password = settings->password();
        view.showLoginPassword(m_login.password);
    } else {
        appendChat("You must login to use the chat feature.");
    }
}

void RegistryClient::accountTextChanged(AccountBox box, ByteView text)
{
    RegistryView &view = m_ports.view;
    switch (box) {
    case AccountBox::NewAccountUser:
        m_newAccount.user.assign(text);
        break;
    case AccountBox::NewAccountPassword:
        // The re-type box keeps its text while it is closed.
        m_newAccount.password.assign(text);
        view.setRetypeEnabled(!text.empty());
        break;
    case AccountBox::Retyped:
        // "Create Account" keeps its state while the other two boxes are not both filled in.
        m_newAccount.retyped.assign(text);
        if (text.empty())
            view.setButtonEnabled(Button::CreateAccount, false);
        else if (!m_newAccount.user.empty() && !m_newAccount.password.empty())
            view.setButtonEnabled(Button::CreateAccount, true);
        break;
    case AccountBox::LoginUser:
        m_login.user.assign(text);
        break;
    case AccountBox::LoginPassword:
        m_login.password.assign(text);
        view.setButtonEnabled(Button::Login, !text.empty());
        break;
    }
}

void RegistryClient::enterPressed(AccountBox box)
{
    m_enterPressedIn = box;
}

void RegistryClient::enterReleased(AccountBox box)
{
    const bool pressedHere = m_enterPressedIn == box;
    m_enterPressedIn.reset();
    if (!pressedHere)
        return;
    if (box == AccountBox::LoginPassword)
        loginReleased();
    else if (box == AccountBox::Retyped)
        createAccountReleased();
}

void RegistryClient::createAccountReleased()
{
    // Copies: the message of a refusal may let the boxes change underneath.
    const NewAccountFields typed = m_newAccount;
    requestNewAccount(typed.user, typed.password, typed.retyped);
    if (m_ports.settings)
        m_ports.settings->writeUser(typed.user);
}

void RegistryClient::loginReleased()
{
    const LoginFields typed = m_login;
    if (autoLoginTicked() && m_ports.settings)
        m_ports.settings->writePassword(typed.password);
    requestLogin(typed.user, typed.password);
    if (m_ports.settings)
        m_ports.settings->writeUser(typed.user);
}

void RegistryClient::autoLoginClicked(bool ticked)
{
    // A greyed box becomes an ordinary two-state box once the user clicks it; the stored
    // password is left alone.
    m_autoLogin = ticked ? 1 : 0;
    if (m_ports.settings)
        m_ports.settings->writeAutoLogin(ticked);
}

// ---------------------------------------------------------------------------------------
// Server submission

void RegistryClient::newServerFieldsChanged(ByteView name, ByteView address, ByteView portText)
{
    m_newServer.name.assign(name);
    m_newServer.address.assign(address);
    m_newServer.portText.assign(portText);
    // "Add Server" needs all three boxes filled; while a probe runs it reads "Checking..."
    // and stays off.
    const bool complete = !name.empty() && !address.empty() && !portText.empty();
    m_ports.view.setAddServerButton(complete && !m_probePending,
                                    m_probePending ? "Checking..." : "Add Server");
}

void RegistryClient::requestMyAddress()
{
    sendPacket(MyAddressRequestBody());
}

void RegistryClient::addServerPressed()
{
    if (m_probePending)
        return;
    const Bytes id = m_ports.machineId ? m_ports.machineId() : Bytes("-1");
    if (!IsAdministrator(id)) {
        showMessage(kRestrictedText);
        return;
    }
    std::int64_t port = common::LeadingNumberRounded(m_newServer.portText);
    if (port == 0)
        port = kDefaultGamePort;
    if (port < 0 || port > kHighestPort) {
        showMessage(kInvalidPortText);
        return;
    }
    m_probePending = true;
    m_probeDeadline = m_ports.clock.nowMs() + kProbeTimeLimitMs;
    m_ports.view.setAddServerButton(false, "Checking...");
    const Bytes address = m_newServer.address;
    m_ports.probe.connectTo(address, static_cast<std::uint16_t>(port));
}

void RegistryClient::probeConnected()
{
    m_ports.probe.close();
    if (!m_probePending)
        return;
    m_probePending = false;
    RegistryView &view = m_ports.view;
    view.hidePanel(Panel::AddServer);
    view.setAddServerButton(true, "Add Server");
    const std::int64_t port = common::LeadingNumberRounded(m_newServer.portText);
    // The box may have been edited while the probe ran.
    if (port < 0 || port > kHighestPort) {
        showMessage(kInvalidPortText);
        return;
    }
    const NewServerFields fields = m_newServer;
    submitServer(fields.name, fields.address, static_cast<std::int32_t>(port));
}

void RegistryClient::probeTimedOut()
{
    // The attempt is abandoned before the message opens, so a connection that completes
    // while it is open cannot submit the server as well.
    m_ports.probe.close();
    m_probePending = false;
    showMessage(kProbeFailedText);
    m_ports.view.setAddServerButton(true, "Add Server");
}

void RegistryClient::submitServer(ByteView name, ByteView address, std::int32_t port)
{
    if (name.size() < 3) {
        showMessage("Error: Server Name must be at least 3 characters long!");
        return;
    }
    if (address.size() < 7) {
        showMessage("Error: Invalid IP address!");
        return;
    }
    if (port == 0)
        port = static_cast<std::int32_t>(kDefaultGamePort);
    for (int index = 1; index <= ServerTable::kSlots; ++index) {
        if (m_servers.slot(index).name == name) {
            showMessage("This server already exists");
            return;
        }
    }
    sendPacket(AddServerRequestBody(port, name, address));
}

} // namespace registry

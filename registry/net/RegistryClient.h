#pragma once

#include "common/Bytes.h"
#include "common/Clock.h"
#include "common/ReceiveBuffer.h"
#include "common/Transport.h"
#include "registry/net/AccountSettings.h"
#include "registry/net/RegistryProtocol.h"
#include "registry/net/RegistryView.h"
#include "registry/net/ServerTable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace registry {

inline constexpr const char *kVersionText = TALMORA_REGISTRY_VERSION;

// The registry server the build was configured for (127.0.0.1 port 2600 unless the build
// says otherwise); the program may replace it at start.
std::string DefaultRegistryHost();
std::uint16_t DefaultRegistryPort();
// The community forum named in the out-dated-client notice (a build setting).
std::string ForumAddress();

// Time limits, in ms of the core's clock.
inline constexpr std::int64_t kConnectIntervalMs = 500;
inline constexpr std::int64_t kKeepAliveIntervalMs = 5000;
inline constexpr std::int64_t kProbeTimeLimitMs = 5000;
// How many messages may be open inside each other before a packet that could open one more
// waits for one of them to be closed.
inline constexpr int kMaxNestedMessages = 4;

// The Registry client's connection to the registry server, its login state, the message
// dispatcher, the server table, and the checks and requests behind the window's actions.
// Plain C++: driven by transport events, window actions and onTimer(), it talks to the
// world only through its ports.
class RegistryClient final : public common::TimedCore, private common::Transport::Listener
{
public:
    struct Ports
    {
        const common::Clock &clock;
        common::Transport &main;  // the connection to the registry server
        common::Transport &probe; // reachability probe of a server being added
        RegistryView &view;
        std::function<Bytes()> machineId;
        std::string host = DefaultRegistryHost();
        std::uint16_t port = DefaultRegistryPort();
        // registry.ini; none behaves as a missing file (nothing stored, nothing read).
        AccountSettings *settings = nullptr;
    };

    explicit RegistryClient(Ports ports);
    ~RegistryClient() override;

    // The window is shown: the first connection attempt comes 500 ms later.
    void start();

    bool connected() const { return m_connected; }
    bool loggedIn() const { return m_loggedIn; }
    // The name logged in with; empty while logged off.
    const Bytes &accountName() const { return m_accountName; }
    bool booted() const { return m_booted; }
    bool quitRequested() const { return m_quitRequested; }
    bool probePending() const { return m_probePending; }
    const ServerTable &servers() const { return m_servers; }
    // Automatic login as the check box holds it: 1 ticked, 0 not ticked, 2 greyed.
    int autoLogin() const { return m_autoLogin; }
    bool autoLoginTicked() const { return m_autoLogin == 1; }

    // Exit, closing the window.
    void requestQuit();

    // Shows a modal message; every message of the program goes through here. While one is
    // open the program's own loop is blocked: no reconnection and no probe time limit, while
    // the keep-alive timer and socket data go on.
    void showMessage(ByteView text);

    // TimedCore: reconnection every 500 ms, keep-alive every 5000 ms while connected, the
    // probe's time limit, and taking up packets that waited for a message to be closed.
    // May be called again from inside a message that an earlier call opened.
    void onTimer() override;
    std::int64_t nextDeadline() const override;

    // The window has loaded: the stored user name, the automatic-login box and, when it is
    // ticked, the stored password go into the Account Login panel; otherwise the chat log
    // asks for a login.
    void loadAccountSettings();
    // The text of an account box changed (typing, or the program set it). A first password
    // opens the re-type box, the re-typed password decides "Create Account" and the login
    // password "Login".
    void accountTextChanged(AccountBox box, ByteView text);
    // Enter went down or came up in an account box. Enter acts on its release, and only when
    // it went down in the same box: the release of the Enter that closed a message lands in
    // a box and must not act again. In the login password it logs in, in the re-type box it
    // creates the account, even while the button is disabled.
    void enterPressed(AccountBox box);
    void enterReleased(AccountBox box);
    // "Create Account" and "Login" released (or Enter in their password boxes), with the
    // boxes' texts as last changed: the request, then the user name is stored (the password
    // first, for a login while automatic login is ticked).
    void createAccountReleased();
    void loginReleased();
    // A click of "Automatically Login"; `ticked` is the box's state after the click.
    void autoLoginClicked(bool ticked);
    // The texts of the Add New Server panel changed.
    void newServerFieldsChanged(ByteView name, ByteView address, ByteView portText);

    // Log Out.
    void logOff();
    // A line at the end of the chat log; an empty one adds nothing.
    void appendChat(ByteView line);
    // "Send" with the chat input's text (line breaks as CR LF). Returns the line sent, if any.
    std::optional<Bytes> sendChat(ByteView text);
    // Enter in the chat input: the text without CR and LF, unless the box is empty.
    std::optional<Bytes> sendChatFromEnter(ByteView inputText);
    // "Use my IP".
    void requestMyAddress();
    // "Add Server" with the panel's texts as last changed: the administrator lock, then the
    // reachability probe.
    void addServerPressed();

private:
    // Transport::Listener of the main connection.
    void onConnected() override;
    void onClosed() override;
    void onData(ByteView bytes) override;

    class ProbeListener;

    // Abandons any attempt and connects again; the reconnection policy calls it while
    // neither connected nor booted.
    void connectRegistry();
    // Hands every complete packet to the dispatcher unless one that could open a message
    // has to wait; then receiving stops until a message is closed.
    void receivePackets();
    bool nextPacketMustWait() const;
    void dispatchPacket(std::uint8_t type, ByteView fields);

    // One handler per inbound message, after it has been decoded.
    void onVersionReply(const VersionReply &message);
    void onServerEntry(const ServerEntryFields &entry);
    void onBootNotice(const BootNotice &message);
    void onMyAddressReply(ByteView reply);
    void onAccountReply(const AccountReplyMessage &message);
    void onUserList(const UserListMessage &message);

    // The server table and its list rows. An index of 0 (or above 30) changes nothing.
    void updateServerRow(int index, ByteView name, ByteView administrator, ByteView address,
                         std::uint8_t players, bool online);
    void clearServerList();

    void updateConnectionState();
    // The status area and the account menu items as connected or not (and not logged in).
    void showConnection(bool connected);
    void enterLoggedIn(ByteView name, int ownServer);
    void showBooted(ByteView reason, bool quit);
    void sendPacket(ByteView body);
    void setQuitRequested();
    void showServerCount();
    // The user name and password without blanks around them, when they pass the checks both
    // account requests make, in order; each request spells its length messages its own way.
    // Otherwise the first failure is shown.
    struct AccountTexts
    {
        Bytes user;
        Bytes password;
    };
    std::optional<AccountTexts> checkedAccountTexts(ByteView user, ByteView password,
                                                    const char *userTooShort,
                                                    const char *passwordTooShort);
    void requestNewAccount(ByteView user, ByteView password, ByteView retyped);
    void requestLogin(ByteView user, ByteView password);
    void submitServer(ByteView name, ByteView address, std::int32_t port);
    void probeConnected();
    void probeTimedOut();

    Ports m_ports;
    common::ReceiveBuffer m_receiveBuffer;
    ServerTable m_servers;
    std::unique_ptr<ProbeListener> m_probeListener;

    // What the window's boxes hold, as forwarded to the core.
    struct LoginFields
    {
        Bytes user;
        Bytes password;
    };
    struct NewServerFields
    {
        Bytes name;
        Bytes address;
        Bytes portText;
    };
    struct NewAccountFields
    {
        Bytes user;
        Bytes password;
        Bytes retyped;
    };
    LoginFields m_login;
    NewAccountFields m_newAccount;
    // The box in which Enter went down last and has not come up yet.
    std::optional<AccountBox> m_enterPressedIn;
    NewServerFields m_newServer;
    int m_autoLogin = 0;

    bool m_connected = false;
    bool m_loggedIn = false;
    Bytes m_accountName;
    bool m_booted = false;
    bool m_quitRequested = false;
    bool m_started = false;
    std::int64_t m_nextConnectTime = 0;
    bool m_pingEnabled = false;
    std::int64_t m_nextPingTime = 0;
    bool m_probePending = false;
    std::int64_t m_probeDeadline = 0;
    int m_openMessages = 0;
    bool m_holding = false;   // a packet waits for a message to be closed
    bool m_resumeDue = false; // a message was closed while one waited
};

} // namespace registry

// The Registry client's receive loop and dispatcher driving the whole core, fed with bytes a
// registry server (or anyone pretending to be one) could send.
//
// Input: two bytes seed the schedule that cuts the stream into chunks and picks the window
// actions, timer runs and connection drops between them; one byte of flags (auto-login ticked,
// administrator machine, messages that deliver data while they are open, actions on); the rest
// is the server's byte stream. Besides the sanitizers, the fake window checks that the core
// only ever shows what a window can show (server rows 1..30, known menus and panels, no empty
// chat line, a server count that matches the table) and every packet it sends is well framed.
#include "FuzzSupport.h"

#include "common/Codec.h"
#include "registry/net/AdministratorLock.h"
#include "registry/net/RegistryClient.h"
#include "tests/support/FakeTransport.h"

#include <charconv>
#include <functional>

namespace {

using common::Bytes;
using common::ByteView;
using fuzzsupport::Reader;
using fuzzsupport::Schedule;

enum Flags : std::uint8_t
{
    kAutoLogin = 1,
    kAdministrator = 2,
    kReentrant = 4,
    kActions = 8,
};

class FuzzView final : public registry::RegistryView
{
public:
    std::function<void()> onMessage; // data arriving while a message is open
    const registry::RegistryClient *client = nullptr;
    int messages = 0;

    void setRegistryState(ByteView caption, bool) override { FUZZ_CHECK(!caption.empty()); }
    void setStatusText(ByteView) override {}
    void setAccountText(ByteView) override {}
    void setServerCountText(ByteView text) override
    {
        int count = -1;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), count);
        FUZZ_CHECK(result.ec == std::errc() && result.ptr == text.data() + text.size());
        FUZZ_CHECK(count >= 0 && count <= registry::ServerTable::kSlots);
        if (client)
            FUZZ_CHECK(count == client->servers().CountServers());
    }
    void setAccountMenuEnabled(registry::AccountMenu item, bool) override
    {
        FUZZ_CHECK(static_cast<int>(item) >= 0 &&
                   static_cast<int>(item) < registry::kAccountMenuCount);
    }
    void setServerSettingsEnabled(bool) override {}
    void setServerAddNewEnabled(bool) override {}
    void hidePanel(registry::Panel panel) override
    {
        FUZZ_CHECK(static_cast<int>(panel) >= 0 && static_cast<int>(panel) < registry::kPanelCount);
    }
    void appendChatLine(ByteView line) override { FUZZ_CHECK(!line.empty()); }
    void setChatInputEnabled(bool) override {}
    void clearChatInput() override {}
    void setServerRow(int index, const registry::ServerRowText &row) override
    {
        FUZZ_CHECK(registry::ServerTable::validIndex(index));
        FUZZ_CHECK(row.status == "Online" || row.status == "Offline");
    }
    void clearServerRows() override {}
    void clearUsers() override {}
    void addUser(ByteView) override {}
    void clearNewAccountFields() override {}
    void clearNewAccountUserAndFocus() override {}
    void showLoginUser(ByteView) override {}
    void showLoginPassword(ByteView) override {}
    void showAutoLogin(int value) override { FUZZ_CHECK(value >= 0 && value <= 2); }
    void setNewServerAddress(ByteView address) override { m_address.assign(address); }
    const Bytes &newServerAddress() const { return m_address; }
    void setAddServerButton(bool, ByteView caption) override { FUZZ_CHECK(!caption.empty()); }
    void showMessage(ByteView text) override
    {
        FUZZ_CHECK(!text.empty());
        ++messages;
        if (onMessage)
            onMessage();
    }
    void quitRequested() override {}

private:
    Bytes m_address = "127.0.0.1";
};

// Every packet the client sends: length word, check character, a body of that length.
void checkSent(const testsupport::FakeTransport &transport)
{
    for (const auto &packet : transport.sends()) {
        FUZZ_CHECK(packet.size() >= 3);
        const ByteView body = ByteView(packet).substr(3);
        FUZZ_CHECK(common::DecodeLength(packet) == body.size());
        FUZZ_CHECK(common::byteAt(packet, 2) == common::CheckCharacter(body));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Reader input(data, size);
    Schedule schedule(static_cast<std::uint32_t>(input.byte()) << 8 | input.byte());
    const std::uint8_t flags = input.byte();

    common::ManualClock clock(1000);
    testsupport::FakeTransport main;
    testsupport::FakeTransport probe;
    FuzzView view;
    const Bytes machineId = (flags & kAdministrator) ? registry::kAdministratorId : "12345678";
    registry::RegistryClient client(
        {clock, main, probe, view, [machineId] { return machineId; }, "127.0.0.1", 2600});
    view.client = &client;
    // What the account panels' boxes hold.
    client.accountTextChanged(registry::AccountBox::LoginUser, "Player1");
    client.accountTextChanged(registry::AccountBox::LoginPassword, "secret");
    client.accountTextChanged(registry::AccountBox::NewAccountUser, "Newbie");
    client.accountTextChanged(registry::AccountBox::NewAccountPassword, "pass");
    client.accountTextChanged(registry::AccountBox::Retyped, "PASS");
    client.autoLoginClicked((flags & kAutoLogin) != 0);
    client.newServerFieldsChanged("Fuzz Server", "127.0.0.1", "5750");

    // The next piece of the stream: 1 to 8, 64 or 700 bytes, as the schedule says.
    auto nextChunk = [&]() -> ByteView {
        static constexpr std::uint32_t kLimits[] = {8, 64, 700};
        return input.take(1 + schedule.below(kLimits[schedule.below(3)]));
    };
    auto deliverNext = [&] {
        if (input.empty() || client.quitRequested() ||
            main.state() != common::Transport::State::Connected)
            return;
        main.deliver(nextChunk());
    };
    int depth = 0;
    if (flags & kReentrant) {
        view.onMessage = [&] {
            // As the nested event loop of a modal message does, a bounded number of times.
            if (depth >= 3)
                return;
            ++depth;
            deliverNext();
            --depth;
        };
    }

    client.start();
    clock.advance(registry::kConnectIntervalMs);
    client.onTimer();
    main.acceptConnection();

    while (!input.empty() && !client.quitRequested()) {
        if (main.state() == common::Transport::State::Connected)
            deliverNext();
        if (!(flags & kActions) || client.quitRequested())
            continue;
        switch (schedule.below(24)) {
        case 0: // the server drops the connection; the client reconnects and is accepted
            if (main.state() == common::Transport::State::Connected)
                main.dropConnection();
            clock.advance(registry::kConnectIntervalMs);
            client.onTimer();
            if (main.state() == common::Transport::State::Connecting)
                main.acceptConnection();
            break;
        case 1: // keep-alive and any other timed work
            clock.advance(registry::kKeepAliveIntervalMs);
            client.onTimer();
            break;
        case 2:
            client.loginReleased();
            break;
        case 3:
            client.sendChatFromEnter("hello\r\n");
            break;
        case 4:
            client.addServerPressed();
            break;
        case 5: // the probe reaches the server being added
            if (probe.state() == common::Transport::State::Connecting)
                probe.acceptConnection();
            break;
        case 6: // the probe's time limit
            clock.advance(registry::kProbeTimeLimitMs);
            client.onTimer();
            break;
        case 7:
            client.requestMyAddress();
            break;
        case 8:
            client.logOff();
            break;
        case 9:
            client.createAccountReleased();
            break;
        case 10: // the address box as the server's reply set it, and the port box emptied
            client.newServerFieldsChanged("Fuzz Server", view.newServerAddress(), "");
            break;
        default:
            break;
        }
        // A booted client stays off-line: nothing more can arrive.
        if (client.booted() && main.state() != common::Transport::State::Connected)
            break;
    }

    checkSent(main);
    FUZZ_CHECK(client.servers().CountServers() >= 0 &&
               client.servers().CountServers() <= registry::ServerTable::kSlots);
    if (client.quitRequested())
        FUZZ_CHECK(client.nextDeadline() < 0);
    return 0;
}

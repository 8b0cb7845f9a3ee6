// The reference servers' cores fed with what any client (or anyone pretending to be one)
// could send, over a few connections at once.
//
// Input: one byte picks the server (even: registry, odd: update) and its flags; two bytes seed
// the schedule that cuts the rest into chunks for up to three connections, with opened,
// closed and idle connections and timer runs in between. Besides the sanitizers the target
// checks that nothing is ever sent to a connection the core closed, that the registry server
// only sends whole packets of its own message types, and that the update server offers only
// files of its game folder.
#include "FuzzSupport.h"

#include "common/Codec.h"
#include "common/ReceiveBuffer.h"
#include "servers/RegistryServerCore.h"
#include "servers/UpdateServerCore.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>

namespace {

using common::Bytes;
using common::ByteView;
using fuzzsupport::Reader;
using fuzzsupport::Schedule;
using servers::ConnectionId;

class Sink final : public servers::Connections
{
public:
    void send(ConnectionId id, ByteView bytes) override
    {
        FUZZ_CHECK(open.count(id) == 1);
        sent[id] += Bytes(bytes);
    }
    void close(ConnectionId id) override
    {
        FUZZ_CHECK(open.count(id) == 1);
        open.erase(id);
    }
    std::set<ConnectionId> open;
    std::map<ConnectionId, Bytes> sent;
};

void write(const std::filesystem::path &path, const std::string &content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

struct Folders
{
    fuzzsupport::TemporaryFolder root{"servers"};
    std::filesystem::path data = root.path() / "data";
    std::filesystem::path client = root.path() / "Client";
    std::filesystem::path program = root.path() / "Program";
    Folders()
    {
        write(client / "Readme.txt", "readme");
        write(client / "Maps" / "Town.map", std::string(3000, 'm'));
        write(program / "zlib.dll", "zlib");
        write(root.path() / "outside.txt", "outside");
        std::error_code ec;
        std::filesystem::create_symlink(root.path() / "outside.txt", client / "Outside.txt", ec);
        std::filesystem::create_directories(data);
    }
};

Folders &folders()
{
    static Folders instance;
    return instance;
}

// The registry server only sends whole packets of the types its clients know.
void checkRegistryOutput(const Bytes &bytes)
{
    common::ReceiveBuffer buffer;
    buffer.append(bytes);
    while (auto packet = buffer.cutPacket()) {
        FUZZ_CHECK(packet->type <= 8);
        if (packet->type == 1) {
            FUZZ_CHECK(!packet->fields.empty());
            const auto index = common::byteAt(packet->fields, 0);
            FUZZ_CHECK(index >= 1 && index <= 30);
        }
    }
    FUZZ_CHECK(buffer.empty());
}

// Up to the first FileData (after it come raw bytes), every packet the update server sends
// is its own, and no file outside the game folder is offered.
void checkUpdateOutput(const Bytes &bytes)
{
    common::ReceiveBuffer buffer;
    buffer.append(bytes);
    while (auto packet = buffer.cutPacket()) {
        FUZZ_CHECK(packet->type <= 5);
        FUZZ_CHECK(packet->fields.find("Outside") == Bytes::npos);
        FUZZ_CHECK(packet->fields.find("..") == Bytes::npos);
        if (packet->type == 5)
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Reader in(data, size);
    const std::uint8_t choice = in.byte();
    const bool registry = (choice & 1) == 0;
    Schedule schedule(static_cast<std::uint32_t>(in.byte()) << 8 | in.byte());

    Folders &f = folders();
    std::error_code ec;
    std::filesystem::remove(f.data / "accounts.txt", ec);
    std::filesystem::remove(f.data / "servers.txt", ec);

    common::ManualClock clock;
    Sink sink;
    servers::AccountStore accounts((f.data / "accounts.txt").string(), 1);
    servers::ServerDirectory directory((f.data / "servers.txt").string());
    accounts.create("Alice", "sesame");
    servers::ListedServer seeded{0, "Alpha", "Alice", "10.0.0.1", 5750, true, 3};
    directory.add(seeded);
    servers::GameFolder games(f.client.string(), f.program.string(), {});

    servers::RegistryServerSettings registrySettings;
    registrySettings.maxConnections = 2;
    registrySettings.floodPackets = 40;
    registrySettings.allowDuplicateMachines = (choice & 2) != 0;
    std::unique_ptr<servers::ConnectionHandler> core;
    common::TimedCore *timed = nullptr;
    if (registry) {
        auto c = std::make_unique<servers::RegistryServerCore>(
            servers::RegistryServerCore::Ports{clock, sink, accounts, directory, {}},
            registrySettings);
        timed = c.get();
        core = std::move(c);
    } else {
        servers::UpdateServerSettings updateSettings;
        updateSettings.launchFile = "Registry.exe";
        updateSettings.maxConnections = 2;
        auto c = std::make_unique<servers::UpdateServerCore>(
            servers::UpdateServerCore::Ports{clock, sink, games, {}}, updateSettings);
        timed = c.get();
        core = std::move(c);
    }

    ConnectionId next = 1;
    std::vector<ConnectionId> live;
    auto openOne = [&] {
        const ConnectionId id = next++;
        sink.open.insert(id);
        core->onOpened(id, "127.0.0.1");
        if (sink.open.count(id))
            live.push_back(id);
    };
    openOne();
    while (!in.empty()) {
        // Forget connections the core closed.
        live.erase(std::remove_if(live.begin(), live.end(),
                                  [&](ConnectionId id) { return !sink.open.count(id); }),
                   live.end());
        const std::uint32_t action = schedule.below(16);
        if (live.empty() || action == 0) {
            if (next < 8)
                openOne();
            else if (live.empty())
                break;
            continue;
        }
        const ConnectionId id = live[schedule.below(static_cast<std::uint32_t>(live.size()))];
        if (action == 1) {
            sink.open.erase(id);
            core->onClosed(id);
        } else if (action == 2) {
            clock.advance(schedule.below(120000));
            timed->onTimer();
        } else {
            core->onData(id, in.take(1 + schedule.below(24)));
        }
    }
    for (const auto &[id, bytes] : sink.sent) {
        if (registry)
            checkRegistryOutput(bytes);
        else
            checkUpdateOutput(bytes);
    }
    return 0;
}

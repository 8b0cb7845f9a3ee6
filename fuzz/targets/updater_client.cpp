// The Updater's receive loop, dispatcher and transfer state driving the whole core against a
// temporary program folder, fed with bytes an update server (or an impostor) could send.
//
// Layout of the temporary folder, made once per process:
//   BASE/keep.txt, BASE/outer/keep.txt, BASE/outer/victim/   never to be touched
//   BASE/outer/program/                                       the Updater's folder
// Before each input the program folder is emptied and set up as the flags say (zlib.dll
// present, a Version.dat, existing game files, symbolic links inside the client folder that
// point at BASE/outer/victim). After each input everything under BASE outside the program
// folder must be exactly as before, no temporary file may remain, and anything the core
// started must lie in the program folder; otherwise the target aborts.
//
// Input: two bytes seed the schedule (chunk sizes, clock steps, drops), one byte of flags,
// the rest is the server's byte stream.
#include "FuzzSupport.h"

#include "common/Platform.h"
#include "tests/support/FakeTransport.h"
#include "updater/files/FileStore.h"
#include "updater/flow/Progress.h"
#include "updater/flow/UpdaterCore.h"

#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;
using common::Bytes;
using fuzzsupport::Reader;
using fuzzsupport::Schedule;

enum Flags : std::uint8_t
{
    kZlibPresent = 1,
    kVersionFile = 2,
    kGameFiles = 4,
    kLinks = 8,
    kActions = 16,
    kCommandLine = 32, // the command line names the server and port
};

struct Place
{
    fuzzsupport::TemporaryFolder base{"updater"};
    fs::path outer = base.path() / "outer";
    fs::path program = outer / "program";
    fs::path victim = outer / "victim";
    std::map<std::string, std::string> before;

    Place()
    {
        fs::create_directories(program);
        fs::create_directories(victim);
        writeFile(base.path() / "keep.txt", "outside, two levels up");
        writeFile(outer / "keep.txt", "outside, one level up");
        writeFile(victim / "Game.exe", "must stay");
        before = fuzzsupport::Snapshot(base.path(), program);
    }

    static void writeFile(const fs::path &path, const std::string &content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
        FUZZ_CHECK(out.good());
    }

    void prepare(std::uint8_t flags) const
    {
        fuzzsupport::ClearFolder(program);
        const fs::path client = program / "Client";
        fs::create_directories(client / "Data");
        if (flags & kZlibPresent)
            writeFile(program / "zlib.dll", "old zlib");
        if (flags & kGameFiles) {
            writeFile(client / "Game.exe", "#!/bin/sh\nexit 0\n");
            writeFile(client / "Data" / "map.dat", "old map");
            writeFile(program / "Settings.ini", "[Client]\nLaunch Application File=" +
                                                    program.string() + "\\Client\\Game.exe\n");
        }
        if (flags & kVersionFile) {
            Bytes records = updater::VersionRecord(1234, "", "Game.exe") +
                            updater::VersionRecord(99, "Data\\", "map.dat");
            writeFile(program / "Version.dat", records);
        }
        if (flags & kLinks) {
            std::error_code ec;
            fs::create_directory_symlink(victim, client / "Link", ec);
            fs::create_symlink(victim / "Game.exe", client / "Linked.exe", ec);
            fs::create_directory_symlink(victim, client / "Data" / "Up", ec);
        }
    }

    void verify() const
    {
        if (fuzzsupport::Snapshot(base.path(), program) != before)
            fuzzsupport::fail("something outside the program folder changed");
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(program, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().filename().string().find(".part-") != std::string::npos)
                fuzzsupport::fail("a temporary file was left behind");
        }
    }
};

Place &place()
{
    static Place instance;
    return instance;
}

class FuzzView final : public updater::UpdaterView
{
public:
    int lines = 0;
    bool ended = false;

    void appendLogLine(const Bytes &) override { ++lines; }
    void removeOldestLogLine() override
    {
        FUZZ_CHECK(lines > 0);
        --lines;
    }
    void selectLogLine(int index) override { FUZZ_CHECK(index >= 0 && index < lines); }
    void setStatusText(const Bytes &text) override { FUZZ_CHECK(text.rfind("Status: ", 0) == 0); }
    void setBytesText(const Bytes &) override {}
    void setBarWidth(int width) override { FUZZ_CHECK(width >= 0 && width <= updater::kBarWidth); }
    void endProcess() override
    {
        FUZZ_CHECK(!ended);
        ended = true;
    }
};

// Whatever is started must be named by a path inside the program folder. (A link the player
// made inside the client folder may point elsewhere: that is the player's choice.)
class FuzzLauncher final : public updater::ProgramLauncher
{
public:
    explicit FuzzLauncher(fs::path program) : m_program(std::move(program)) {}
    bool start(const Bytes &path, const std::string &) override
    {
        const fs::path named = fs::path(common::LocalPath(path)).lexically_normal();
        const std::string prefix = m_program.string() + "/";
        FUZZ_CHECK(named.string().rfind(prefix, 0) == 0);
        return true;
    }

private:
    fs::path m_program;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Place &where = place();
    Reader input(data, size);
    Schedule schedule(static_cast<std::uint32_t>(input.byte()) << 8 | input.byte());
    const std::uint8_t flags = input.byte();
    where.prepare(flags);

    {
        updater::FileStore store(where.program.string());
        common::ManualClock clock(5000);
        testsupport::FakeTransport transport;
        FuzzView view;
        FuzzLauncher launcher(where.program);
        updater::UpdaterConfig config;
        config.servers = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"};
        if (flags & kCommandLine)
            config.words = {"127.0.0.9", "2602"};
        auto core =
            std::make_unique<updater::UpdaterCore>(store, clock, transport, view, launcher, config);

        auto runTimer = [&] {
            if (core->nextDeadline() >= 0 && core->nextDeadline() <= clock.nowMs())
                core->onTimer();
        };
        auto connect = [&] {
            for (int i = 0;
                 i < 8 && transport.state() != common::Transport::State::Connecting && !view.ended;
                 ++i) {
                clock.advance(updater::kRetryIntervalMs);
                runTimer();
            }
            if (transport.state() == common::Transport::State::Connecting)
                transport.acceptConnection();
        };

        core->StartUpdater();
        runTimer();
        connect();
        while (!input.empty() && !view.ended &&
               transport.state() == common::Transport::State::Connected) {
            static constexpr std::uint32_t kLimits[] = {4, 100, 2000};
            transport.deliver(input.take(1 + schedule.below(kLimits[schedule.below(3)])));
            // Time passes between arrivals: acknowledgement spacing, the byte counter, and
            // now and then the stall limit.
            const std::uint32_t step = schedule.below(16);
            if (step < 8)
                clock.advance(step * 150);
            else if (step == 8 && (flags & kActions))
                clock.advance(updater::kStallLimitMs);
            runTimer();
            if ((flags & kActions) && schedule.below(12) == 0 &&
                transport.state() == common::Transport::State::Connected)
                transport.dropConnection();
            if (transport.state() != common::Transport::State::Connected && !view.ended)
                connect();
        }
        // The stream is over: let the run finish and hand over.
        for (int i = 0; i < 4 && !view.ended; ++i) {
            clock.advance(1000);
            runTimer();
        }
        // Once handed over, the core asks for no more timer runs.
        FUZZ_CHECK(!view.ended || core->nextDeadline() < 0);
        core.reset();
    }
    where.verify();
    return 0;
}

// A transfer dropped after every byte offset of an exchange of three files, raw and packed:
// no file in the client folder is ever other than its old or its new content, no temporary
// file remains, and the next run completes the update. The same drop followed by the
// Updater's own reconnection (same process) completes it too.

#include "tests/hardening/UpdaterRig.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>

namespace hardening {
namespace {

Bytes binaryContent(std::size_t n, int seed)
{
    Bytes out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(static_cast<char>((i * 37 + static_cast<std::size_t>(seed) * 11) % 256));
    return out;
}

struct GameFile
{
    fs::path local;                  // below the client folder
    std::optional<Bytes> oldContent; // nothing: the file is new
    ServedFile served;
};

class DroppedTransfer : public ::testing::TestWithParam<bool>
{
protected:
    std::vector<GameFile> gameFiles() const
    {
        const bool packed = GetParam();
        return {
            {"a.txt",
             Bytes("old text of a"),
             {2, "", "a.txt", "new text of a, somewhat longer than the old one", packed, {}}},
            {"Data/b.bin",
             binaryContent(90, 1),
             {3, "Data\\", "b.bin", binaryContent(130, 2), packed, {}}},
            {"Data/Sub/c.dat",
             std::nullopt,
             {4, "Data\\Sub\\", "c.dat", Bytes("brand new\0file", 14), packed, {}}},
        };
    }

    void prepare(UpdaterRig &rig) const
    {
        fs::create_directories(rig.client() / "Data");
        for (const auto &f : gameFiles())
            if (f.oldContent)
                writeFile(rig.client() / f.local, *f.oldContent);
    }

    void script(UpdaterRig &rig) const
    {
        rig.server->prologue = folderEntry(1, "Data\\") + folderEntry(2, "Data\\Sub\\");
        rig.server->files.clear();
        for (const auto &f : gameFiles())
            rig.server->files.push_back(f.served);
    }

    // Every file old or new, nothing half-written, no temporary file.
    void expectOldOrNew(UpdaterRig &rig, std::size_t offset) const
    {
        for (const auto &f : gameFiles()) {
            const fs::path path = rig.client() / f.local;
            if (!fs::exists(path)) {
                EXPECT_FALSE(f.oldContent.has_value()) << f.local << " vanished at " << offset;
                continue;
            }
            const Bytes content = readFile(path);
            EXPECT_TRUE(content == f.served.content || (f.oldContent && content == *f.oldContent))
                << f.local << " is neither old nor new after " << offset << " bytes";
        }
        EXPECT_EQ(temporaryFiles(rig.sandbox), std::vector<std::string>{}) << offset;
    }

    void expectComplete(UpdaterRig &rig, std::size_t offset) const
    {
        EXPECT_TRUE(rig.passEnded()) << offset << "\n" << rig.log();
        for (const auto &f : gameFiles())
            EXPECT_EQ(readFile(rig.client() / f.local), f.served.content)
                << f.local << " after a drop at " << offset;
        EXPECT_EQ(temporaryFiles(rig.sandbox), std::vector<std::string>{}) << offset;
        // Version.dat records every file with the server's number.
        updater::FileStore check(rig.program.string());
        check.LoadVersions();
        ASSERT_TRUE(check.VersionsUsable()) << offset;
        for (const auto &f : gameFiles())
            EXPECT_EQ(check.LookupVersion(f.served.folder, f.served.name), f.served.version())
                << f.local << " after a drop at " << offset;
    }
};

TEST_P(DroppedTransfer, EveryOffsetThenANewRun)
{
    std::size_t total = 0;
    {
        UpdaterRig rig;
        prepare(rig);
        rig.startRun();
        script(rig);
        total = rig.server->fullExchangeSize();
        ASSERT_TRUE(rig.server->serve());
        expectComplete(rig, total);
    }
    std::cout << (GetParam() ? "packed" : "raw") << " exchange: " << total
              << " bytes, dropped after each of them\n";

    for (std::size_t offset = 0; offset < total; ++offset) {
        UpdaterRig rig;
        prepare(rig);
        rig.startRun();
        script(rig);
        ASSERT_FALSE(rig.server->serve(static_cast<long long>(offset))) << offset;
        expectOldOrNew(rig, offset);

        // The next run of the Updater.
        rig.startRun();
        script(rig);
        ASSERT_TRUE(rig.server->serve()) << offset;
        expectComplete(rig, offset);
        if (HasFailure())
            return; // one offset's story is enough
    }
}

TEST_P(DroppedTransfer, EveryOffsetThenReconnection)
{
    UpdaterRig probe;
    probe.startRun();
    script(probe);
    const std::size_t total = probe.server->fullExchangeSize();

    for (std::size_t offset = 0; offset < total; ++offset) {
        UpdaterRig rig;
        prepare(rig);
        rig.startRun();
        script(rig);
        ASSERT_FALSE(rig.server->serve(static_cast<long long>(offset))) << offset;
        expectOldOrNew(rig, offset);

        // The fallback reconnects and the server starts over.
        rig.reconnect();
        ASSERT_TRUE(rig.server->serve()) << offset;
        expectComplete(rig, offset);
        if (HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Exchange, DroppedTransfer, ::testing::Values(false, true),
                         [](const auto &p) { return p.param ? "Packed" : "Raw"; });

} // namespace
} // namespace hardening

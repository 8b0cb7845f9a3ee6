// Every file operation of an update pass made to fail in turn: creating the temporary file,
// writing, flushing, renaming it over the target, creating a folder. A clean pass records
// every operation with its path; then each one fails alone. No crash, the old file stays,
// the log names the file, nothing temporary is left, and the next run completes.

#include "tests/hardening/UpdaterRig.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace hardening {
namespace {

using updater::WriteStep;

const char *stepName(WriteStep step)
{
    switch (step) {
    case WriteStep::CreateTemporary:
        return "open";
    case WriteStep::Write:
        return "write";
    case WriteStep::Flush:
        return "flush";
    case WriteStep::Rename:
        return "rename";
    case WriteStep::MakeFolder:
        return "mkdir";
    }
    return "?";
}

struct Operation
{
    WriteStep step;
    std::string path;
};

struct GameFile
{
    fs::path local;
    std::optional<Bytes> oldContent;
    ServedFile served;
};

std::vector<GameFile> gameFiles()
{
    return {
        {"a.txt", Bytes("old a"), {2, "", "a.txt", "new a", false, {}}},
        {"Data/b.bin", Bytes("old b"), {3, "Data\\", "b.bin", Bytes("new\0b", 5), true, {}}},
        {"Data/Sub/c.dat", std::nullopt, {4, "Data\\Sub\\", "c.dat", "new c", true, {}}},
    };
}

const Bytes kOldVersions =
    updater::VersionRecord(11, "", "a.txt") + updater::VersionRecord(12, "Data\\", "b.bin");

void prepare(UpdaterRig &rig)
{
    fs::create_directories(rig.client() / "Data");
    for (const auto &f : gameFiles())
        if (f.oldContent)
            writeFile(rig.client() / f.local, *f.oldContent);
    writeFile(rig.program / "Version.dat", kOldVersions);
}

void script(UpdaterRig &rig)
{
    rig.server->prologue = folderEntry(1, "Data\\") + folderEntry(2, "Data\\Sub\\");
    rig.server->files.clear();
    for (const auto &f : gameFiles())
        rig.server->files.push_back(f.served);
}

std::vector<Operation> recordOperations()
{
    UpdaterRig rig;
    prepare(rig);
    std::vector<Operation> ops;
    rig.startRun([&](updater::FileStore &store) {
        store.setPathFaultHook([&](WriteStep step, const std::string &path) {
            ops.push_back({step, path});
            return true;
        });
    });
    script(rig);
    rig.server->serve();
    EXPECT_TRUE(rig.passEnded());
    EXPECT_TRUE(rig.logHas("Update Complete (0 ms)")) << rig.log();
    return ops;
}

class FileFaults : public ::testing::Test
{
};

TEST_F(FileFaults, EachOperationFailsInTurn)
{
    const std::vector<Operation> ops = recordOperations();
    // Three files and Version.dat, each open, write, flush, rename; one folder made.
    ASSERT_EQ(ops.size(), 17u);
    std::cout << "file operations made to fail: " << ops.size() << "\n";

    for (std::size_t failing = 0; failing < ops.size(); ++failing) {
        const Operation &op = ops[failing];
        SCOPED_TRACE(std::string(stepName(op.step)) + " " + op.path);
        UpdaterRig rig;
        prepare(rig);
        std::size_t count = 0;
        rig.startRun([&](updater::FileStore &store) {
            store.setPathFaultHook(
                [&](WriteStep, const std::string &) { return count++ != failing; });
        });
        script(rig);
        rig.server->serve();
        ASSERT_TRUE(rig.passEnded()) << rig.log();
        EXPECT_EQ(temporaryFiles(rig.sandbox), std::vector<std::string>{});

        const std::string failedName = fs::path(op.path).filename().string();
        if (op.step == WriteStep::MakeFolder) {
            // The folder is missing, and so is the file that was to go in it.
            EXPECT_TRUE(rig.logHas("Unable to create folder: Data\\Sub\\")) << rig.log();
            EXPECT_TRUE(rig.logHas("Unable to write file: c.dat")) << rig.log();
            EXPECT_FALSE(fs::exists(rig.client() / "Data" / "Sub"));
        } else if (failedName == "Version.dat") {
            EXPECT_TRUE(rig.logHas("Unable to write Version.dat")) << rig.log();
            EXPECT_EQ(readFile(rig.program / "Version.dat"), kOldVersions);
        } else {
            EXPECT_TRUE(rig.logHas("Unable to write file: " + failedName)) << rig.log();
        }
        // The file that failed keeps its old content (or stays absent); the others arrive.
        for (const auto &f : gameFiles()) {
            const fs::path path = rig.client() / f.local;
            const bool failedHere = f.served.name == failedName ||
                                    (op.step == WriteStep::MakeFolder && f.served.name == "c.dat");
            if (!failedHere) {
                EXPECT_EQ(readFile(path), f.served.content) << f.local;
            } else if (f.oldContent) {
                EXPECT_EQ(readFile(path), *f.oldContent) << f.local;
            } else {
                EXPECT_FALSE(fs::exists(path)) << f.local;
            }
        }
        // Version.dat does not claim the failed file is current.
        if (failedName != "Version.dat") {
            updater::FileStore check(rig.program.string());
            check.LoadVersions();
            for (const auto &f : gameFiles()) {
                const bool failedHere =
                    f.served.name == failedName ||
                    (op.step == WriteStep::MakeFolder && f.served.name == "c.dat");
                if (failedHere) {
                    EXPECT_NE(check.LookupVersion(f.served.folder, f.served.name),
                              f.served.version());
                }
            }
        }

        // The next run, with nothing failing, completes the update.
        rig.startRun();
        script(rig);
        rig.server->serve();
        ASSERT_TRUE(rig.passEnded()) << rig.log();
        for (const auto &f : gameFiles())
            EXPECT_EQ(readFile(rig.client() / f.local), f.served.content) << f.local;
        if (HasFailure())
            return;
    }
}

// Settings.ini is written through the INI store, outside the fault hook: a folder in its
// place makes the write fail. The launch path still holds for this run, and the log says so.
TEST_F(FileFaults, SettingsWriteFailureIsLogged)
{
    UpdaterRig rig;
    fs::create_directories(rig.program / "Settings.ini");
    fs::create_directories(rig.client() / "Bin");
    writeFile(rig.client() / "Bin" / "Game.exe", "#!/bin/sh\n");
    rig.startRun();
    rig.transport->deliver(setLaunchFile("Bin\\Game.exe"));
    EXPECT_TRUE(rig.logHas("Unable to write Settings.ini")) << rig.log();
    rig.core->FinishAndLaunch();
    EXPECT_EQ(rig.launcher.started,
              std::vector<Bytes>{rig.store->clientFolder() + "Bin\\Game.exe"});
    EXPECT_TRUE(fs::is_directory(rig.program / "Settings.ini"));
    EXPECT_EQ(temporaryFiles(rig.sandbox), std::vector<std::string>{});
}

} // namespace
} // namespace hardening

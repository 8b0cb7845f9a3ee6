#include "common/AtomicFile.h"
#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

using common::AtomicStep;
using common::AtomicWriteResult;
using common::WriteFileAtomically;

// A step that fails leaves the old content and nothing else; a write that goes through
// replaces it whole, also with nothing to write.
TEST(AtomicFile, EachFailingStepKeepsTheOldFileAndLeavesNothingBehind)
{
    const struct
    {
        std::optional<AtomicStep> failing;
        const char *data;
        AtomicWriteResult result;
    } cases[] = {
        {std::nullopt, "new content", AtomicWriteResult::Written},
        {std::nullopt, "", AtomicWriteResult::Written},
        {AtomicStep::CreateTemporary, "new", AtomicWriteResult::CreateFailed},
        {AtomicStep::Write, "new", AtomicWriteResult::WriteFailed},
        {AtomicStep::Flush, "new", AtomicWriteResult::WriteFailed},
        {AtomicStep::Rename, "new", AtomicWriteResult::RenameFailed},
    };
    for (const auto &c : cases) {
        TempFolder temp;
        const auto target = temp.path() / "file.txt";
        writeFile(target, "old");
        std::set<AtomicStep> seen;
        const auto hook = [&](AtomicStep step) {
            seen.insert(step);
            return step != c.failing;
        };
        EXPECT_EQ(WriteFileAtomically(target.string(), c.data, hook), c.result);
        const bool written = c.result == AtomicWriteResult::Written;
        EXPECT_EQ(readFile(target), written ? c.data : "old");
        EXPECT_EQ(listAll(temp.path()), std::set<std::string>{"file.txt"});
        if (written) {
            EXPECT_EQ(seen.size(), 4u) << "every step is offered to the hook";
        }
    }
}

TEST(AtomicFile, AMissingFolderFailsWithoutCreatingIt)
{
    TempFolder temp;
    EXPECT_EQ(WriteFileAtomically((temp.path() / "missing" / "f").string(), "x"),
              AtomicWriteResult::CreateFailed);
    EXPECT_TRUE(listAll(temp.path()).empty());
}

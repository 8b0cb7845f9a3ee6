#pragma once

#include <filesystem>
#include <vector>

namespace testsupport {

// Plants a symbolic link at `link` that points at `target` (a folder link when `folder`),
// the way a player's tool or a hostile installer would: on Windows through the system call,
// which the C++ library there does not offer. False when the system refused or made none
// (wine 8 makes neither symbolic links nor junctions).
bool MakeLink(const std::filesystem::path &target, const std::filesystem::path &link, bool folder);

// The same, and under wine a link of the host system, as players' tools leave them in a wine
// folder: wine shows a folder link as a reparse point and a file link as the file it leads
// to. Such links go with RemovePlantedLinks (TempFolder does it): wine itself would remove
// what they lead to.
bool PlantLink(const std::filesystem::path &target, const std::filesystem::path &link, bool folder);
// Several at once (under wine one start of a host program for all). False when the system
// makes no links; a system that stops half-way fails the test.
struct PlannedLink
{
    std::filesystem::path target;
    std::filesystem::path link;
    bool folder = false;
};
bool PlantLinks(const std::vector<PlannedLink> &links);
void RemovePlantedLinks(const std::filesystem::path &folder);

// Removes `folder` and everything below it, at any depth (Windows' short paths end at 260
// characters), links by themselves and never what they lead to.
void RemoveAll(const std::filesystem::path &folder);

// True for a symbolic link (on Windows any reparse point, junctions included, and under wine
// a host link to a file, which wine shows as that file).
bool IsLink(const std::filesystem::path &path);

} // namespace testsupport

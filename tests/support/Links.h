#pragma once

#include <filesystem>

namespace testsupport {

// Plants a symbolic link at `link` that points at `target` (a folder link when `folder`),
// the way a player's tool or a hostile installer would: on Windows through the system call,
// which the C++ library there does not offer. False when the system refused or made none
// (wine 8 makes neither symbolic links nor junctions).
bool MakeLink(const std::filesystem::path &target, const std::filesystem::path &link, bool folder);

// True for a symbolic link (on Windows any reparse point, junctions included).
bool IsLink(const std::filesystem::path &path);

} // namespace testsupport

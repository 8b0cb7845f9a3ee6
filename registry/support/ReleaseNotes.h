#pragma once

#include "common/Bytes.h"

namespace registry {

// Program folder & "\" & version text & ".txt".
common::Bytes ReleaseNotesPath(const common::Bytes &programFolder);
// The whole file as raw bytes; empty when it is missing, hidden or cannot be read.
common::Bytes ReadReleaseNotes(const common::Bytes &programFolder);

} // namespace registry

#pragma once

#include "common/Bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace servers {

using common::Bytes;
using common::ByteView;

// Tab-separated data files of the servers: one record per line, fields separated by a tab,
// lines starting with "#" and blank lines ignored, CR before LF tolerated. A missing file
// reads as empty; false (with `error`) when it exists but cannot be read.
bool ReadTabFile(const std::string &path, std::vector<std::vector<Bytes>> &rows,
                 std::string &error);
// Writes `comment` (as a "#" line) and the rows through a temporary file and a rename.
// Fields must not hold tabs, CR or LF.
bool WriteTabFile(const std::string &path, const std::string &comment,
                  const std::vector<std::vector<Bytes>> &rows);

// Plain decimal digits only (no sign, no blanks), at most 9 digits.
std::optional<int> ParseDecimal(ByteView text);

Bytes ToHex(ByteView bytes);
std::optional<Bytes> FromHex(ByteView text);

} // namespace servers

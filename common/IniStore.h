#pragma once

#include "common/Bytes.h"

#include <cstdint>

namespace common {

// Private-profile INI files: section and key names match without regard to case, values
// are trimmed of surrounding blanks and one pair of surrounding double quotes is stripped,
// reads return at most 255 bytes, a missing file, section or key reads as the default.
// Writes replace the key in place or append it (creating the section or the file when
// missing) and keep every other line, comments included. The file is rewritten through a
// temporary file and a rename, so a failed write never loses the old content.
Bytes ReadIniString(ByteView path, ByteView section, ByteView key);
// Leading optional sign and digits of the value, like the platform's integer reader;
// `fallback` when the key is missing or holds no number.
std::int32_t ReadIniNumber(ByteView path, ByteView section, ByteView key,
                           std::int32_t fallback = 0);
bool WriteIni(ByteView path, ByteView section, ByteView key, ByteView value);

} // namespace common

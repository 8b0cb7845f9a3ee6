#pragma once

namespace common {

// Starts Winsock for the process on the first call (later calls only report the outcome);
// it stays started until the process ends. Returns false when Winsock is unusable.
bool StartWinsock();

} // namespace common

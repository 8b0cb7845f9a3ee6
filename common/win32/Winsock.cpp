#include "common/win32/Winsock.h"

#include <winsock2.h>

namespace common {

bool StartWinsock()
{
    // Thread-safe once: a function-local static is initialised by exactly one caller.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

} // namespace common

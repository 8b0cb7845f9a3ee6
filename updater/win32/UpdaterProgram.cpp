#include "updater/win32/UpdaterProgram.h"

namespace updater {

void Win32FrontEnd::endLoop()
{
    PostQuitMessage(0);
}

} // namespace updater

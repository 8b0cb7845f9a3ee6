#pragma once

#include "common/win32/MessageWindow.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Win32Transport.h"
#include "updater/app/UpdaterProgram.h"
#include "updater/win32/UpdaterWindow.h"

namespace updater {

// The Win32 front end's part of the Updater program: the workers' results come back through
// the messages of a message-only window, and the hand-over ends the message loop
// (PostQuitMessage).
struct Win32FrontEnd
{
    class Results final : public common::MessageWindow
    {
    public:
        Results() : MessageWindow({}) {}
    };
    static void show(Win32UpdaterWindow &window) { window.show(); }
    static void endLoop();
};

using Win32UpdaterProgram = UpdaterProgram<common::Win32Transport, Win32UpdaterWindow,
                                           common::Win32CoreTimer, Win32FrontEnd>;

} // namespace updater

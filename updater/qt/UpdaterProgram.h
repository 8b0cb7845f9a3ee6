#pragma once

#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "updater/app/UpdaterProgram.h"
#include "updater/qt/UpdaterWindow.h"

#include <functional>

namespace updater {

// The Qt front end's part of the Updater program: results are queued calls into the
// application's event loop, which the hand-over ends.
struct QtFrontEnd
{
    struct Results
    {
        void call(std::function<void()> work) const;
    };
    static void show(UpdaterWindow &window);
    static void endLoop();
};

using QtUpdaterProgram =
    UpdaterProgram<common::QtTransport, UpdaterWindow, common::QtCoreTimer, QtFrontEnd>;

} // namespace updater

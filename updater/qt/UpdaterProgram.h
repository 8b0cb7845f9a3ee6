#pragma once

#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "updater/app/UpdaterProgram.h"
#include "updater/qt/UpdaterWindow.h"

#include <functional>

namespace updater {

// The Qt front end's part of the Updater program: Qt's socket, window and timer, results
// queued into the application's event loop, and the hand-over ending that loop.
struct QtToolkit
{
    using Transport = common::QtTransport;
    using Window = UpdaterWindow;
    using CoreTimer = common::QtCoreTimer;

    // Runs work in the application's event loop (a queued call).
    struct Results
    {
        void call(std::function<void()> work) const;
    };

    static void show(UpdaterWindow &window);
    static void endLoop();
};

using QtUpdaterProgram = UpdaterProgram<QtToolkit>;

} // namespace updater

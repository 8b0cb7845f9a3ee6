#pragma once

#include "common/Bytes.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "updater/app/UpdaterParts.h"
#include "updater/flow/Launcher.h"
#include "updater/qt/UpdaterWindow.h"

#include <memory>
#include <string>
#include <vector>

class QCoreApplication;

namespace updater {

// The Updater's parts wired together as the program runs them: the window, the socket, the
// background writer and the core. Closing the window runs the hand-over; the hand-over ends
// the event loop.
class UpdaterProgram
{
public:
    UpdaterProgram(QCoreApplication &app, const std::string &programFolder,
                   std::vector<common::Bytes> words, ProgramLauncher &launcher);
    UpdaterProgram(const UpdaterProgram &) = delete;
    UpdaterProgram &operator=(const UpdaterProgram &) = delete;

    // Shows the window and starts the run. May throw; the window stays shown then, and
    // closing it still runs the hand-over.
    void start();

    UpdaterWindow &window() { return m_window; }
    UpdaterCore &core() { return m_parts.core; }
    FileStore &store() { return m_parts.store; }

private:
    common::QtTransport m_transport;
    UpdaterWindow m_window;
    UpdaterParts m_parts;
    std::unique_ptr<common::QtCoreTimer> m_timer;
};

} // namespace updater

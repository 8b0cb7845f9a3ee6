#include "updater/flow/ui/win32/UpdaterProgram.h"

#include "updater/flow/CommandLine.h"

#include <functional>
#include <utility>

namespace updater {

Win32UpdaterProgram::Win32UpdaterProgram(const std::string &programFolder,
                                         std::vector<common::Bytes> words,
                                         ProgramLauncher &launcher)
    : m_store(programFolder), m_results({}),
      // Files are unpacked and written on threads of their own while the next one arrives;
      // the outcome comes back through the message loop.
      m_writer(m_store,
               [this](std::function<void()> report) { m_results.call(std::move(report)); }),
      // Local versions are packed on worker threads; results come back the same way.
      m_versions(m_store,
                 [this](std::function<void()> result) { m_results.call(std::move(result)); })
{
    m_core = std::make_unique<UpdaterCore>(m_store, m_clock, m_transport, m_window, launcher,
                                           MakeUpdaterConfig(std::move(words)), m_writer);
    m_core->setVersionComputer(m_versions);
    m_window.onClose = [this] { m_core->FinishAndLaunch(); };
    m_window.onEnd = [] { PostQuitMessage(0); };
}

void Win32UpdaterProgram::start()
{
    m_window.show();
    m_core->StartUpdater();
    m_timer = std::make_unique<common::Win32CoreTimer>(*m_core, m_clock);
}

int RunMessageLoop()
{
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        common::RearmCoreTimers();
    }
    return got < 0 ? 1 : static_cast<int>(message.wParam);
}

} // namespace updater

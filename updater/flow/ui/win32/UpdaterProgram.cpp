#include "updater/flow/ui/win32/UpdaterProgram.h"

#include <functional>
#include <utility>

namespace updater {

Win32UpdaterProgram::Win32UpdaterProgram(const std::string &programFolder,
                                         std::vector<common::Bytes> words,
                                         ProgramLauncher &launcher)
    : m_results({}),
      m_parts(
          programFolder,
          [this](std::function<void()> result) { m_results.call(std::move(result)); }, m_transport,
          m_window, launcher, std::move(words))
{
    m_window.onEnd = [] { PostQuitMessage(0); };
}

void Win32UpdaterProgram::start()
{
    m_window.show();
    m_parts.core.StartUpdater();
    m_timer = std::make_unique<common::Win32CoreTimer>(m_parts.core, m_parts.clock);
}

} // namespace updater

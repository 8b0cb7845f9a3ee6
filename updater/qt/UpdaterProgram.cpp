#include "updater/qt/UpdaterProgram.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <functional>
#include <utility>

namespace updater {

UpdaterProgram::UpdaterProgram(QCoreApplication &app, const std::string &programFolder,
                               std::vector<common::Bytes> words, ProgramLauncher &launcher)
    : m_parts(
          programFolder,
          [&app](std::function<void()> result) {
              QMetaObject::invokeMethod(&app, std::move(result), Qt::QueuedConnection);
          },
          m_transport, m_window, launcher, std::move(words))
{
    m_window.onEnd = [] { QCoreApplication::exit(0); };
}

void UpdaterProgram::start()
{
    m_window.show();
    m_window.repaint();
    m_parts.core.StartUpdater();
    m_timer = std::make_unique<common::QtCoreTimer>(m_parts.core, m_parts.clock);
}

} // namespace updater

#include "updater/flow/ui/UpdaterProgram.h"

#include "updater/flow/CommandLine.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <functional>
#include <utility>

namespace updater {

UpdaterProgram::UpdaterProgram(QCoreApplication &app, const std::string &programFolder,
                               std::vector<common::Bytes> words, ProgramLauncher &launcher)
    : m_store(programFolder),
      // Files are unpacked and written on threads of their own while the next one arrives;
      // the outcome comes back through the event loop.
      m_writer(m_store,
               [&app](std::function<void()> report) {
                   QMetaObject::invokeMethod(&app, std::move(report), Qt::QueuedConnection);
               }),
      // Local versions are packed on worker threads; results come back the same way.
      m_versions(m_store, [&app](std::function<void()> result) {
          QMetaObject::invokeMethod(&app, std::move(result), Qt::QueuedConnection);
      })
{
    m_core = std::make_unique<UpdaterCore>(m_store, m_clock, m_transport, m_window, launcher,
                                           MakeUpdaterConfig(std::move(words)), m_writer);
    m_core->setVersionComputer(m_versions);
    m_window.onClose = [this] { m_core->FinishAndLaunch(); };
    m_window.onEnd = [] { QCoreApplication::exit(0); };
}

void UpdaterProgram::start()
{
    m_window.show();
    m_window.repaint();
    m_core->StartUpdater();
    m_timer = std::make_unique<common::QtCoreTimer>(*m_core, m_clock);
}

} // namespace updater

#include "updater/qt/UpdaterProgram.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

namespace updater {

void QtFrontEnd::Results::call(std::function<void()> work) const
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

void QtFrontEnd::show(UpdaterWindow &window)
{
    window.show();
    window.repaint();
}

void QtFrontEnd::endLoop()
{
    QCoreApplication::exit(0);
}

} // namespace updater

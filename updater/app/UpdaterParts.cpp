#include "updater/app/UpdaterParts.h"

#include "updater/app/CommandLine.h"

#include <utility>

namespace updater {

UpdaterParts::UpdaterParts(const std::string &programFolder, const Post &post,
                           common::Transport &transport, UpdaterWindowBase &window,
                           ProgramLauncher &launcher, std::vector<common::Bytes> words)
    : store(programFolder), writer(store, post), versions(store, post),
      core(store, clock, transport, window, launcher, MakeUpdaterConfig(std::move(words)), writer)
{
    core.setVersionComputer(versions);
    window.onClose = [this] { core.FinishAndLaunch(); };
}

} // namespace updater

#include "registry/app/ChatLines.h"

#include "common/IniStore.h"
#include "common/Platform.h"
#include "registry/app/ChatExtras.h"

#include <utility>

namespace registry {

namespace {

constexpr const char *kShowTimesKey = "Show Times";

} // namespace

TimeOfDay SystemLocalClock::now() const
{
    const auto [hour, minute] = common::LocalHourAndMinute();
    return {hour, minute};
}

ChatLineShowing::ChatLineShowing(const LocalClock &clock, Bytes iniPath)
    : m_clock(clock), m_iniPath(std::move(iniPath)),
      m_showTimes(common::ReadIniNumber(m_iniPath, kChatSection, kShowTimesKey, 0) == 1)
{
}

bool ChatLineShowing::setShowsTimes(bool show)
{
    m_showTimes = show;
    return common::WriteIni(m_iniPath, kChatSection, kShowTimesKey, show ? "1" : "0");
}

ChatLineShowing::Shown ChatLineShowing::show(ByteView line) const
{
    Shown shown;
    shown.text.reserve(line.size() + 8);
    if (m_playerName)
        shown.marked = MentionsName(line, m_playerName());
    if (m_showTimes) {
        const TimeOfDay now = m_clock.now();
        shown.text = ChatTimePrefix(now.hour, now.minute);
    }
    shown.text.append(line);
    return shown;
}

} // namespace registry

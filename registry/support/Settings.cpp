#include "registry/support/Settings.h"

#include "common/IniStore.h"
#include "common/Platform.h"

#include <utility>

namespace registry {

namespace {

// The shift of the scrambling: (n - 2) XOR 3 on 32-bit integers.
std::int32_t shiftFor(std::size_t length)
{
    return (static_cast<std::int32_t>(length) - 2) ^ 3;
}

Bytes reverseShifted(ByteView text, std::int32_t delta)
{
    Bytes out;
    out.reserve(text.size());
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const std::int32_t b = static_cast<unsigned char>(*it);
        out.push_back(static_cast<char>(static_cast<unsigned char>((b + delta) & 0xFF)));
    }
    return out;
}

} // namespace

Bytes ScramblePassword(ByteView text)
{
    return reverseShifted(text, -shiftFor(text.size()));
}

Bytes UnscramblePassword(ByteView scrambled)
{
    return reverseShifted(scrambled, shiftFor(scrambled.size()));
}

Bytes IniValueFor(ByteView value)
{
    if (value.empty())
        return Bytes(value);
    const bool blankAtEnd = value.front() == ' ' || value.back() == ' ';
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    if (!blankAtEnd && !quoted)
        return Bytes(value);
    Bytes out;
    out.reserve(value.size() + 2);
    out.push_back('"');
    out.append(value);
    out.push_back('"');
    return out;
}

int AutoLoginValue(std::int32_t stored)
{
    return stored == 1 || stored == 2 ? static_cast<int>(stored) : 0;
}

RegistrySettings::RegistrySettings(Bytes programFolder)
    : m_path(common::LocalPath(std::move(programFolder) + "\\" + kSettingsFileName))
{
}

Bytes RegistrySettings::user() const
{
    return common::ReadIniString(m_path, kAccountSection, "User");
}

int RegistrySettings::autoLogin() const
{
    return AutoLoginValue(common::ReadIniNumber(m_path, kAccountSection, "AutoLogin", 0));
}

Bytes RegistrySettings::password() const
{
    return UnscramblePassword(common::ReadIniString(m_path, kAccountSection, "Password"));
}

void RegistrySettings::writeUser(ByteView user)
{
    common::WriteIni(m_path, kAccountSection, "User", IniValueFor(user));
}

void RegistrySettings::writePassword(ByteView typed)
{
    common::WriteIni(m_path, kAccountSection, "Password", IniValueFor(ScramblePassword(typed)));
}

void RegistrySettings::autoLoginClicked(int checkValue)
{
    common::WriteIni(m_path, kAccountSection, "AutoLogin", checkValue == 1 ? "1" : "0");
}

} // namespace registry

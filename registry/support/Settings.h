#pragma once

#include "common/Bytes.h"

#include <cstdint>

namespace registry {

using common::Bytes;
using common::ByteView;

inline constexpr const char *kSettingsFileName = "registry.ini";
inline constexpr const char *kAccountSection = "Account";

// The password as kept in registry.ini: reversed, each byte lowered by a shift that depends
// on the length only. Byte values wrap modulo 256, so every byte has a defined result and
// UnscramblePassword(ScramblePassword(p)) == p for every p. Blanks at the ends are kept
// here; StoredPasswordValue() protects them in the file.
Bytes ScramblePassword(ByteView text);
Bytes UnscramblePassword(ByteView scrambled);

// A value as it goes into the INI file so that reading it back gives exactly `value`: the
// reader trims blanks and strips one pair of surrounding double quotes, so a value that
// begins or ends with a blank (or is itself quoted) is written inside double quotes.
// Every other value is written as it is, exactly as older versions of the program did.
Bytes IniValueFor(ByteView value);

// The check box value of automatic login: 1 ticked, 0 not ticked, 2 greyed (not ticked).
// A hand-edited number other than these reads as 0.
int AutoLoginValue(std::int32_t stored);

// registry.ini in the program folder, section "Account".
class RegistrySettings
{
public:
    explicit RegistrySettings(Bytes programFolder);

    const Bytes &path() const { return m_path; }

    Bytes user() const;
    int autoLogin() const;
    // The stored password, unscrambled.
    Bytes password() const;

    void writeUser(ByteView user);
    // Stores ScramblePassword(typed).
    void writePassword(ByteView typed);
    // The handler of the "Automatically Login" check box: "1" when the box holds 1,
    // otherwise "0". The stored password is left alone.
    void autoLoginClicked(int checkValue);

private:
    Bytes m_path;
};

} // namespace registry

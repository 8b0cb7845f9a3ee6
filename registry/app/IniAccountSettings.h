#pragma once

#include "registry/net/AccountSettings.h"
#include "registry/support/Settings.h"

#include <utility>

namespace registry {

// The core's account settings kept in registry.ini in the program folder.
class IniAccountSettings final : public AccountSettings
{
public:
    explicit IniAccountSettings(Bytes programFolder) : m_file(std::move(programFolder)) {}

    const Bytes &path() const { return m_file.path(); }

    Bytes user() const override { return m_file.user(); }
    int autoLogin() const override { return m_file.autoLogin(); }
    Bytes password() const override { return m_file.password(); }
    void writeUser(ByteView user) override { m_file.writeUser(user); }
    void writePassword(ByteView typed) override { m_file.writePassword(typed); }
    void writeAutoLogin(bool ticked) override { m_file.autoLoginClicked(ticked ? 1 : 0); }

private:
    RegistrySettings m_file;
};

} // namespace registry

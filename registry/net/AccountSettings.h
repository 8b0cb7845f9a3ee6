#pragma once

#include "common/Bytes.h"

namespace registry {

using common::Bytes;
using common::ByteView;

// Where the account settings are kept between runs (registry.ini beside the program). Reads
// of a missing file give the empty text and 0; writes that fail are not reported.
class AccountSettings
{
public:
    virtual ~AccountSettings() = default;

    virtual Bytes user() const = 0;
    // The check box value of automatic login: 1 ticked, 0 not ticked, 2 greyed.
    virtual int autoLogin() const = 0;
    // The stored password, unscrambled.
    virtual Bytes password() const = 0;

    virtual void writeUser(ByteView user) = 0;
    // Stores the password scrambled.
    virtual void writePassword(ByteView typed) = 0;
    virtual void writeAutoLogin(bool ticked) = 0;
};

} // namespace registry

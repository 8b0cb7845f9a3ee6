#include "registry/net/RegistryProtocol.h"

#include "common/Codec.h"

namespace registry {

namespace {

char byteChar(std::uint8_t value)
{
    return static_cast<char>(value);
}

Bytes typeAndSub(OutboundType type, std::uint8_t sub)
{
    Bytes body;
    body.push_back(byteChar(static_cast<std::uint8_t>(type)));
    body.push_back(byteChar(sub));
    return body;
}

Bytes credentialsBody(std::uint8_t sub, ByteView user, ByteView password)
{
    Bytes body = typeAndSub(OutboundType::Account, sub);
    body.reserve(body.size() + user.size() + 1 + password.size());
    body.append(user);
    body.push_back('\0');
    body.append(password);
    return body;
}

} // namespace

Bytes VersionCheckBody(ByteView version, ByteView machineId)
{
    Bytes body(1, byteChar(static_cast<std::uint8_t>(OutboundType::VersionCheck)));
    body.append(version);
    body.push_back('\0');
    body.append(machineId);
    return body;
}

Bytes MyAddressRequestBody()
{
    return Bytes(1, byteChar(static_cast<std::uint8_t>(OutboundType::MyAddressRequest)));
}

Bytes KeepAliveBody()
{
    return Bytes(1, byteChar(static_cast<std::uint8_t>(OutboundType::KeepAlive)));
}

Bytes CreateAccountRequestBody(ByteView user, ByteView password)
{
    return credentialsBody(0, user, password);
}

Bytes LoginRequestBody(ByteView user, ByteView password)
{
    return credentialsBody(1, user, password);
}

Bytes LogoutRequestBody()
{
    return typeAndSub(OutboundType::Account, 2);
}

Bytes ChatSayBody(ByteView text)
{
    Bytes body(1, byteChar(static_cast<std::uint8_t>(OutboundType::ChatSay)));
    body.append(text);
    return body;
}

Bytes AddServerRequestBody(std::int32_t port, ByteView name, ByteView address)
{
    Bytes body = typeAndSub(OutboundType::Server, 0);
    body += common::EncodeLong(port);
    body.append(name);
    body.push_back('\0');
    body.append(address);
    return body;
}

bool DecodeServerEntry(ByteView fields, ServerEntryFields &out)
{
    if (fields.size() < 3)
        return false;
    ByteView rest = fields.substr(3);
    const std::size_t nameEnd = rest.find('\0');
    if (nameEnd == ByteView::npos)
        return false;
    const ByteView name = rest.substr(0, nameEnd);
    rest.remove_prefix(nameEnd + 1);
    const std::size_t adminEnd = rest.find('\0');
    if (adminEnd == ByteView::npos)
        return false;
    out.index = common::byteAt(fields, 0);
    out.online = common::byteAt(fields, 1) == 1;
    out.players = common::byteAt(fields, 2);
    out.name = common::TrimPadding(name);
    out.administrator = common::TrimPadding(rest.substr(0, adminEnd));
    out.address = common::TrimPadding(rest.substr(adminEnd + 1));
    return true;
}

unsigned char UpperCase1252(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // s caron
    case 0x9C: // oe ligature
    case 0x9E: // z caron
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    case 0xF7: // division sign has no case
        return c;
    default:
        break;
    }
    if (c >= 0xE0 && c <= 0xFE)
        return static_cast<unsigned char>(c - 0x20);
    return c;
}

Bytes UpperCase1252(ByteView text)
{
    Bytes out(text);
    for (char &c : out)
        c = static_cast<char>(UpperCase1252(static_cast<unsigned char>(c)));
    return out;
}

} // namespace registry

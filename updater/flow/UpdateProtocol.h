#pragma once

#include "common/Bytes.h"

#include <cstddef>
#include <cstdint>

namespace updater {

using common::Bytes;
using common::ByteView;

// Message types of the update protocol. Positions count over the whole body; the first byte
// is the type. Numbers are 32-bit, most significant byte first. Only ever appended to.
enum class ToServer : std::uint8_t
{
    UpdateVersionCheck = 0, // 0 | version text
    FileRequest = 1,        // 1 | index
    TransferAck = 2,        // 2 | index | bytes received (u32)
};

enum class FromServer : std::uint8_t
{
    SetLaunchFile = 0, // 0 | path relative to the client folder
    FolderEntry = 1,   // 1 | number 1..15 | folder ending in "\"
    FileCount = 2,     // 2 | count of FileInfo to come
    FileInfo = 3,      // 3 | index | version (u32) | name | NUL | folder
    FileListEnd = 4,   // 4
    FileData = 5,      // 5 | index | size (u32); the raw file bytes follow outside the framing
};

// Bodies, ready for the framing.
Bytes VersionCheckBody(ByteView version);
Bytes FileRequestBody(int index);
Bytes TransferAckBody(int index, std::int32_t received);
Bytes SetLaunchFileBody(ByteView path);
Bytes FolderEntryBody(int number, ByteView folder);
Bytes FileCountBody(int count);
Bytes FileInfoBody(int index, std::int32_t version, ByteView name, ByteView folder);
Bytes FileListEndBody();
Bytes FileDataBody(int index, std::int32_t size);

// Inbound messages. Each decode() takes the body without its type byte and returns false for
// a message too short to be acted on (or whose number the Updater does not read as one);
// texts are views into the body, which must outlive them. Ranges are the receiver's to check.

// 0 | path. Any length; an empty path is the client folder.
struct SetLaunchFileMessage
{
    ByteView path;
    bool decode(ByteView fields);
};

// 1 | number | folder.
struct FolderEntryMessage
{
    std::uint8_t number = 0;
    ByteView folder;
    bool decode(ByteView fields);
};

// 2 | count.
struct FileCountMessage
{
    std::uint8_t count = 0;
    bool decode(ByteView fields);
};

// 3 | index | version | name NUL folder. Without a NUL the rest is the folder and no name is
// given; an empty name before the NUL gives none either.
struct FileInfoMessage
{
    std::uint8_t index = 0;
    std::int32_t version = 0;
    ByteView name; // empty: the entry keeps the name it has
    ByteView folder;
    bool decode(ByteView fields);
};

// 5 | index | size. A missing or unreadable size still tells the index.
inline constexpr std::size_t kFileDataFieldBytes = 5;
struct FileDataMessage
{
    std::uint8_t index = 0;
    std::int32_t size = 0;
    bool decode(ByteView fields);
};

// To the server: 1 | index.
struct FileRequestMessage
{
    std::uint8_t index = 0;
    bool decode(ByteView fields);
};

// To the server: 2 | index | bytes received, read as unsigned.
struct TransferAckMessage
{
    std::uint8_t index = 0;
    std::uint32_t received = 0;
    bool decode(ByteView fields);
};

// The 4-byte size of Update.exe that follows Updater.dat's bytes in the same stream.
bool DecodeUpdateExeSize(ByteView bytes, std::int32_t &size);

} // namespace updater

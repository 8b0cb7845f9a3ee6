#pragma once

#include "common/Bytes.h"
#include "tests/support/ScriptedPeer.h"

#include <QByteArray>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace testsupport {

using common::Bytes;

Bytes byteOf(int value);
// A packet of the update protocol: the type, then the fields.
Bytes packet(int type, const Bytes &fields = {});
QByteArray qbytes(const Bytes &bytes);

// A file an update server offers.
struct ServedFile
{
    int index;
    Bytes name;
    Bytes folder;
    Bytes content;
    bool packed = true;

    // The file as it travels: packed or as it is.
    Bytes wire() const;
    // The version a server states: the byte sum of the packed form.
    std::int32_t version() const;
};

// Plays an update server on a ScriptedPeer: answers the version check with the file list
// and each file request with the file.
class PeerUpdateServer
{
public:
    explicit PeerUpdateServer(ScriptedPeer &peer);

    Bytes launchFile;
    std::vector<std::pair<int, Bytes>> folders;
    std::vector<ServedFile> files;
    // When set, a request for this index is answered with the FileData header and only the
    // first `dropAfter` bytes of the file, then the connection is closed.
    int dropIndex = -1;
    int dropAfter = 0;
    // Raw bytes sent before and after the file list, in the same write.
    Bytes listHead;
    Bytes listTail;
    // Requests answered with these bytes instead of the file.
    std::map<int, Bytes> rawAnswers;

    std::vector<Bytes> requests; // each packet body the Updater sent (acks left out)
    std::vector<int> requested;

private:
    void handle(const QByteArray &bytes);
    void sendList();
    void sendFile(int index);

    ScriptedPeer &m_peer;
    Bytes m_buffer;
};

} // namespace testsupport

#pragma once

#include "common/ReceiveBuffer.h"

#include <cstddef>

namespace servers {

// What the Registry client sends: length word (body only), check character, body.
struct CheckedCut
{
    enum class Result
    {
        Incomplete, // wait for more bytes
        Packet,     // `packet` holds the next message
        BadCheck,   // the check character does not match the body
        TooLong,    // the length word announces more than the caller accepts
    };
    Result result = Result::Incomplete;
    common::Packet packet;
};

// Cuts the next packet of the client-to-server registry framing from the front of `buffer`.
// The length is judged as soon as it has arrived, before the body is waited for. Empty
// bodies are consumed and skipped (their check character must still be right). A packet is
// removed from the buffer before it is returned; on BadCheck and TooLong nothing is removed
// and the stream cannot be trusted any further.
CheckedCut CutCheckedPacket(common::ReceiveBuffer &buffer, std::size_t maxBodyLength);

} // namespace servers

#include "servers/CheckedFraming.h"

#include "common/Codec.h"

namespace servers {

CheckedCut CutCheckedPacket(common::ReceiveBuffer &buffer, std::size_t maxBodyLength)
{
    CheckedCut cut;
    while (buffer.size() >= 2) {
        const common::ByteView rest = buffer.view();
        const std::size_t length = common::DecodeLength(rest);
        if (length > maxBodyLength) {
            cut.result = CheckedCut::Result::TooLong;
            return cut;
        }
        if (rest.size() < 3 + length)
            return cut;
        const common::ByteView body = rest.substr(3, length);
        if (common::byteAt(rest, 2) != common::CheckCharacter(body)) {
            cut.result = CheckedCut::Result::BadCheck;
            return cut;
        }
        if (length == 0) {
            buffer.take(3);
            continue;
        }
        cut.packet.type = common::byteAt(body, 0);
        cut.packet.fields.assign(body.substr(1));
        buffer.take(3 + length);
        cut.result = CheckedCut::Result::Packet;
        return cut;
    }
    return cut;
}

} // namespace servers

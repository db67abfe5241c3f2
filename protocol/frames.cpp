#include "protocol/frames.h"

#include "protocol/resultcodes.h"

namespace velorix::frames {

std::uint8_t calcchecksum(const ByteBuffer &buffer)
{
    std::int32_t sum = 0;
    for (std::size_t i = 0; i + 1 < buffer.size(); ++i)
        sum += buffer[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

ByteBuffer buildRequest(std::uint8_t address, std::uint8_t code, std::initializer_list<std::uint8_t> payload,
                        std::size_t length)
{
    ByteBuffer frame(length, 0);
    frame[0] = address;
    frame[1] = code;
    std::size_t at = 2;
    for (const std::uint8_t byte : payload)
        frame[at++] = byte;
    frame[length - 1] = calcchecksum(frame);
    return frame;
}

bool startsWithFrame(const ByteBuffer &bytes, std::uint8_t address, std::size_t replyLength)
{
    if (replyLength < 2 || bytes.size() < replyLength || bytes[0] != address)
        return false;
    const ByteBuffer frame(bytes.cbegin(), bytes.cbegin() + static_cast<std::ptrdiff_t>(replyLength));
    return calcchecksum(frame) == frame.back();
}

bool isRefusal(const ByteBuffer &bytes, std::uint8_t address)
{
    return bytes.size() == 3 && bytes[0] == address && bytes[1] == kNak && calcchecksum(bytes) == bytes[2];
}

std::int16_t judgeReply(std::int16_t linkResult, const ByteBuffer &reply, std::uint8_t address,
                        std::size_t replyLength, std::initializer_list<ExpectedByte> required)
{
    if (linkResult != rc::Ok)
        return linkResult;
    if (reply.size() < replyLength || replyLength == 0)
        return rc::NoReply; // the link guarantees the length; guard anyway
    if (reply[0] != address)
        return rc::BadReply;
    if (calcchecksum(reply) != reply[replyLength - 1])
        return rc::BadChecksum;
    for (const ExpectedByte &expected : required) {
        if (reply[expected.position] != expected.value)
            return rc::BadReply;
    }
    return rc::Ok;
}

} // namespace velorix::frames

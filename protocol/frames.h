#pragma once

// Request and reply frames, built and judged as pure functions.
//
//   request: [address, code, payload 0..4 bytes, checksum]
//   reply:   [address, body ..., checksum]
//
// The checksum is the low 8 bits of the sum of every byte before it.

#include "link/bytebuffer.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace velorix::frames {

constexpr std::uint8_t kAck = 6;
constexpr std::uint8_t kNak = 21;
constexpr std::uint8_t kEveryDevice = 255;

// Checksum of all bytes but the last; 0 for a buffer of one byte or none.
[[nodiscard]] std::uint8_t calcchecksum(const ByteBuffer &buffer);

// A zeroed frame of `length` bytes with address, code and payload in place
// and the checksum in the last byte.
[[nodiscard]] ByteBuffer buildRequest(std::uint8_t address, std::uint8_t code,
                                      std::initializer_list<std::uint8_t> payload, std::size_t length);

// A reply byte that the command requires: the ack, or an echo of the request.
struct ExpectedByte
{
    std::size_t position;
    std::uint8_t value;
};

// Whether `bytes` begin with the complete reply a device at `address` would
// give to a request whose reply is `replyLength` bytes long: that address
// in byte 0 and a fitting checksum in the last byte.
[[nodiscard]] bool startsWithFrame(const ByteBuffer &bytes, std::uint8_t address, std::size_t replyLength);

// Whether `bytes` are exactly a device's refusal: [address, 21, checksum].
[[nodiscard]] bool isRefusal(const ByteBuffer &bytes, std::uint8_t address);

// Judges a reply in order: the link's result, the address (2006), the
// checksum at the expected last position (2007), then each expected byte
// (2006 at the first that differs). A reply longer than `replyLength` is
// summed over all its bytes but the last, as the device's framing defines.
[[nodiscard]] std::int16_t judgeReply(std::int16_t linkResult, const ByteBuffer &reply, std::uint8_t address,
                                      std::size_t replyLength,
                                      std::initializer_list<ExpectedByte> required = {});

} // namespace velorix::frames

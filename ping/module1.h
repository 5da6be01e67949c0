#pragma once
// Ping services: the dotted-address parser, one ICMP echo request, the status texts and the
// report of one echo.

#include <cstddef>
#include <cstdint>
#include <optional>

#include <QString>

#include "platform/icmp/reply.h"

namespace Module1 {

// The echo reply record: the fixed part of the echo service's reply, then a data area of
// 250 characters. SendEcho converts it to and from the service's byte layout.
struct EchoReply : platform::EchoReplyFixedPart {
    char16_t Data[platform::kEchoReplyDataAreaSize] = {};
};

// Bytes of the fixed part, and of the whole record as the echo service sees it (the data
// area as single bytes).
using platform::kEchoReplyBufferSize;
using platform::kEchoReplyFixedSize;

// The 32-bit address of four dot-separated decimal numbers, each reduced to its lowest
// 8 bits; the first number lands in the lowest byte (network byte order in memory).
// 0 for text that is not four such numbers.
std::int32_t DottedToAddress(const QString& dotted);

// An octet box's text as a signed 16-bit number: a decimal number with an optional sign and
// fraction, blanks around it allowed; a fraction is rounded to the nearest whole number, a
// half to the even neighbour (2.5 gives 2, 3.5 gives 4). Nothing for any other text.
std::optional<std::int16_t> OctetValue(const QString& text);

// Sends one echo request ("Echo This", 200 ms time-out) to the dotted address and copies
// the service's reply over `reply`. Returns the round-trip time when a reply came back,
// otherwise the negated status.
std::int32_t SendEcho(const QString& address, EchoReply& reply);

// The report line for an echo status code, e.g. "0   [ ip success ]".
QString EchoStatusText(std::int32_t status);

// The five-line report of one echo: the address, the status line, the round-trip time, the
// size of the echoed data and an empty line, each ended by CR LF.
QString PingReport(const QString& address, const EchoReply& reply);

}  // namespace Module1

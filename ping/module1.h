#pragma once
// Ping services: the dotted-address parser, one ICMP echo request, and the status texts.

#include <cstddef>
#include <cstdint>

#include <QString>

namespace Module1 {

// The echo reply record: the fixed part of the echo service's reply (28 bytes, in the order
// and widths the service writes them), then a data area of 250 characters.
struct EchoReply {
    std::int32_t Address = 0;  // the replying host, network byte order
    std::int32_t Status = 0;   // echo status code, see EchoStatusText
    std::int32_t RoundTripTime = 0;
    std::int16_t DataSize = 0;
    std::int16_t Reserved = 0;
    std::int32_t DataPointer = 0;  // where the echoed data stands in the reply buffer
    std::uint8_t Ttl = 0;
    std::uint8_t Tos = 0;
    std::uint8_t Flags = 0;
    std::uint8_t OptionsSize = 0;
    std::int32_t OptionsData = 0;
    char16_t Data[250] = {};
};

// Bytes of the fixed part, and of the whole record as the echo service sees it (the data
// area as single bytes).
constexpr std::size_t kEchoReplyFixedSize = 28;
constexpr std::size_t kEchoReplyBufferSize = kEchoReplyFixedSize + 250;

static_assert(offsetof(EchoReply, Status) == 4);
static_assert(offsetof(EchoReply, RoundTripTime) == 8);
static_assert(offsetof(EchoReply, DataSize) == 12);
static_assert(offsetof(EchoReply, Reserved) == 14);
static_assert(offsetof(EchoReply, DataPointer) == 16);
static_assert(offsetof(EchoReply, Ttl) == 20);
static_assert(offsetof(EchoReply, Tos) == 21);
static_assert(offsetof(EchoReply, Flags) == 22);
static_assert(offsetof(EchoReply, OptionsSize) == 23);
static_assert(offsetof(EchoReply, OptionsData) == 24);
static_assert(offsetof(EchoReply, Data) == kEchoReplyFixedSize);
static_assert(sizeof(EchoReply) == kEchoReplyFixedSize + 250 * sizeof(char16_t));

// The 32-bit address of four dot-separated decimal numbers, each reduced to its lowest
// 8 bits; the first number lands in the lowest byte (network byte order in memory).
// 0 for text that is not four such numbers.
std::int32_t DottedToAddress(const QString& dotted);

// Sends one echo request ("Echo This", 200 ms time-out) to the dotted address and copies
// the service's reply over `reply`. Returns the round-trip time when a reply came back,
// otherwise the negated status.
std::int32_t SendEcho(const QString& address, EchoReply& reply);

// The report line for an echo status code, e.g. "0   [ ip success ]".
QString EchoStatusText(std::int32_t status);

}  // namespace Module1

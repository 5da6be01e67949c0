#pragma once
// Ping services: the dotted-address parser, one ICMP echo request, and the status texts.

#include <cstdint>

#include <QString>

namespace Module1 {

// The echo reply record: the fixed part of the echo service's reply, then the data area.
struct EchoReply {
    std::int32_t Address = 0;
    std::int32_t Status = 0;
    std::int32_t RoundTripTime = 0;
    std::int16_t DataSize = 0;
    std::uint16_t Reserved = 0;
    std::uint32_t DataPointer = 0;
    std::uint8_t Ttl = 0;
    std::uint8_t Tos = 0;
    std::uint8_t Flags = 0;
    std::uint8_t OptionsSize = 0;
    std::uint32_t OptionsData = 0;
    char16_t Data[250] = {};
};

}  // namespace Module1

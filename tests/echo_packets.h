#pragma once
// Byte builders for echo tests, and a reply buffer to read back. Addresses are held as the
// echo service holds them: the four bytes in network order, read as a little-endian integer.

#include <cstring>
#include <string>
#include <vector>

#include "platform/icmp.h"

using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t Byte(std::size_t value) {
    return static_cast<std::uint8_t>(value);
}
inline std::uint32_t Address(int b1, int b2, int b3, int b4) {
    return static_cast<std::uint32_t>(b1 | b2 << 8 | b3 << 16 | b4 << 24);
}
inline Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// An ICMP message: type, code, its checksum, then `rest`.
inline Bytes Icmp(int type, int code, Bytes rest) {
    rest.insert(rest.begin(), {Byte(type), Byte(code), 0, 0});
    const std::uint16_t checksum = platform::InternetChecksum(rest);
    rest[2] = Byte(checksum >> 8);
    rest[3] = Byte(checksum);
    return rest;
}

// An echo request (type 8) or reply (type 0).
inline Bytes Echo(int type, int identifier, int sequence, const Bytes& data) {
    Bytes rest = {Byte(identifier >> 8), Byte(identifier), Byte(sequence >> 8), Byte(sequence)};
    rest.insert(rest.end(), data.begin(), data.end());
    return Icmp(type, 0, rest);
}

// An IPv4 packet (type of service 0x10, don't fragment) with `optionWords` words of options.
inline Bytes Ip(std::uint32_t from, std::uint32_t to, const Bytes& payload, int ttl = 64,
                std::size_t optionWords = 0) {
    const std::size_t size = 20 + 4 * optionWords;
    Bytes packet = {Byte(0x40 | size / 4),
                    0x10,
                    Byte((size + payload.size()) >> 8),
                    Byte(size + payload.size()),
                    0,
                    0,
                    0x40,
                    0,
                    Byte(ttl),
                    1,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0};
    std::memcpy(&packet[12], &from, 4);
    std::memcpy(&packet[16], &to, 4);
    packet.resize(size, 1);  // no-operation options
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

// An ICMP error about `packet` (an IPv4 packet), quoting its IP header and 8 bytes more.
inline Bytes ErrorAbout(int type, int code, const Bytes& packet) {
    Bytes rest = {0, 0, 0, 0};
    rest.insert(rest.end(), packet.begin(), packet.begin() + (packet[0] & 0x0F) * 4 + 8);
    return Icmp(type, code, rest);
}

// A reply buffer, filled with 0xAA before one IcmpSendEcho.
struct SentEcho {
    std::uint32_t replies = 0;
    Bytes buffer;
    platform::EchoReplyFixedPart fixed() const { return platform::ReadFixedPart(buffer.data()); }
    Bytes data() const { return {buffer.begin() + 28, buffer.begin() + 28 + fixed().DataSize}; }
};

inline SentEcho SendEchoOn(HANDLE handle, std::uint32_t to, const Bytes& payload,
                           std::size_t size = 278, const IP_OPTION_INFORMATION* options = nullptr) {
    SentEcho echo{0, Bytes(size, 0xAA)};
    echo.replies =
        IcmpSendEcho(handle, to, payload.data(), static_cast<std::uint16_t>(payload.size()),
                     options, echo.buffer.data(), static_cast<std::uint32_t>(size), 200);
    return echo;
}

#pragma once
// One echo on an open ICMP socket: the request built and sent, its reply or ICMP error waited
// for, the reply buffer written. The echo service runs it on the process's own socket, the
// echo helper program on its raw socket.

#include <cstdint>
#include <span>

#include "platform/icmp_sockets.h"

namespace platform {

// Whether echoes to `destination` are refused unsent: 0.0.0.0 (Linux would ping the local
// host), the broadcast address and multicast groups (many hosts would answer, or none).
bool IsRefusedDestination(std::uint32_t destination);

// Writes a failure with `status` into the reply buffer's fixed part; returns 0, no reply.
std::uint32_t FailEcho(std::span<std::uint8_t> reply, std::int32_t status);

// Sends one echo request carrying `payload` to `destination` on `socket` and waits at most
// `timeoutMs` for its reply or an ICMP error about it. Fills `reply` (the fixed part and as
// much of the echoed data as it holds) and returns 1 for an echo reply, 0 otherwise. The
// identifier is this process's; the sequence numbers are counted for the whole process, so
// that a late reply never matches a later echo.
std::uint32_t EchoOnSocket(const IcmpSocket& socket, std::uint32_t destination,
                           std::span<const std::uint8_t> payload, std::uint32_t timeoutMs,
                           std::span<std::uint8_t> reply);

}  // namespace platform

#pragma once
// One echo on an open ICMP socket: the request built and sent, its reply or ICMP error waited
// for, the reply buffer written. The echo service runs it on the process's own socket, the
// echo helper program on its raw socket.

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/icmp/sockets.h"

namespace platform {

// Whether echoes to `destination` are refused unsent: 0.0.0.0 (Linux would ping the local
// host), the broadcast address and multicast groups (many hosts would answer, or none).
bool IsRefusedDestination(std::uint32_t destination);

// Writes a failure with `status` into the reply buffer's fixed part; returns 0, no reply.
std::uint32_t FailEcho(std::span<std::uint8_t> reply, std::int32_t status);

// One echo request carrying `payload` to `destination` on `socket`, in steps: sent when made,
// then its reply or an ICMP error about it taken as it comes, at most `timeoutMs` later. The
// identifier is the socket's; the sequence numbers are counted for the whole process, so
// that a late reply never matches a later echo. The payload and socket must outlive it.
class SocketEcho {
public:
    SocketEcho(const IcmpSocket& socket, std::uint32_t destination,
               std::span<const std::uint8_t> payload, std::uint32_t timeoutMs);
    SocketEcho(const SocketEcho&) = delete;
    SocketEcho& operator=(const SocketEcho&) = delete;

    // Reads what has come, without waiting; true once the echo is over.
    bool TakeArrived();
    // Waits until the echo is over: its reply, an error, or the time-out.
    void Wait();
    // Fills `reply` (the fixed part and as much of the echoed data as it holds) with the
    // outcome of an echo that is over; 1 for an echo reply, 0 otherwise.
    std::uint32_t Report(std::span<std::uint8_t> reply) const;

private:
    using Clock = std::chrono::steady_clock;

    const IcmpSocket socket_;
    PendingEcho echo_;
    Clock::time_point start_, deadline_;
    std::vector<std::uint8_t> incoming_;
    bool over_ = false;
    EchoOutcome outcome_;
    std::int32_t roundTripTime_ = 0;
};

// A whole echo: sent, waited for and reported.
std::uint32_t EchoOnSocket(const IcmpSocket& socket, std::uint32_t destination,
                           std::span<const std::uint8_t> payload, std::uint32_t timeoutMs,
                           std::span<std::uint8_t> reply);

}  // namespace platform

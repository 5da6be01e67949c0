#include "platform/icmp_echo.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<std::uint16_t> nextSequence{1};

// The identifier of this process's echoes on raw sockets (datagram sockets put their own).
std::uint16_t RawIdentifier() {
    static const std::uint16_t identifier = static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(::getpid()) ^
        static_cast<std::uint32_t>(Clock::now().time_since_epoch().count() >> 10));
    return identifier;
}

}  // namespace

bool IsRefusedDestination(std::uint32_t destination) {
    const auto firstByte = static_cast<std::uint8_t>(destination);
    return destination == 0 || destination == 0xFFFFFFFFu || (firstByte & 0xF0) == 0xE0;
}

std::uint32_t FailEcho(std::span<std::uint8_t> reply, std::int32_t status) {
    EchoOutcome failure;
    failure.status = status;
    WriteReplyBuffer(reply, failure, 0);
    return 0;
}

std::uint32_t EchoOnSocket(const IcmpSocket& socket, std::uint32_t destination,
                           std::span<const std::uint8_t> payload, std::uint32_t timeoutMs,
                           std::span<std::uint8_t> reply) {
    PendingEcho echo;
    echo.destination = destination;
    echo.identifier = RawIdentifier();
    echo.sequence = nextSequence.fetch_add(1, std::memory_order_relaxed);
    echo.payload = payload;
    const std::vector<std::uint8_t> request = EchoRequest(echo.identifier, echo.sequence, payload);

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    if (const int error = SendRequest(socket, destination, request); error != 0) {
        return FailEcho(reply, StatusForErrno(error));
    }

    // Room for the largest IP header, the echo and any ICMP error. Read first and wait only
    // when nothing is there: on loopback the reply is usually in by the time sendto returns.
    std::vector<std::uint8_t> incoming(std::max<std::size_t>(576, 60 + request.size()));
    for (;;) {
        EchoOutcome outcome;
        int error = 0;
        switch (socket.type->read(socket.fd, incoming, echo, outcome, error)) {
            case ReadResult::Matched: {
                const auto elapsed =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
                WriteReplyBuffer(reply, outcome, static_cast<std::int32_t>(elapsed.count()));
                return outcome.status == IP_SUCCESS ? 1 : 0;
            }
            case ReadResult::Failed:
                return FailEcho(reply, StatusForErrno(error));
            case ReadResult::Other:  // see whether more is waiting
                if (Clock::now() >= deadline) {
                    return FailEcho(reply, IP_REQ_TIMED_OUT);
                }
                break;
            case ReadResult::Empty:
                if (!WaitForSocket(socket, deadline)) {
                    return FailEcho(reply, IP_REQ_TIMED_OUT);
                }
                break;
        }
    }
}

}  // namespace platform

#include "platform/icmp/echo.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace platform {

namespace {

std::atomic<std::uint16_t> nextSequence{1};

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

SocketEcho::SocketEcho(const IcmpSocket& socket, std::uint32_t destination,
                       std::span<const std::uint8_t> payload, std::uint32_t timeoutMs)
    : socket_(socket) {
    echo_.destination = destination;
    echo_.identifier = socket.identifier;
    echo_.sequence = nextSequence.fetch_add(1, std::memory_order_relaxed);
    echo_.payload = payload;
    const std::vector<std::uint8_t> request =
        EchoRequest(echo_.identifier, echo_.sequence, payload);
    // Room for the largest IP header, the echo and any ICMP error.
    incoming_.resize(std::max<std::size_t>(576, 60 + request.size()));
    start_ = Clock::now();
    deadline_ = start_ + std::chrono::milliseconds(timeoutMs);
    if (const int error = SendRequest(socket_, destination, request); error != 0) {
        outcome_.status = StatusForErrno(error);
        over_ = true;
    }
}

bool SocketEcho::TakeArrived() {
    while (!over_) {
        int error = 0;
        switch (socket_.type->read(socket_.fd, incoming_, echo_, outcome_, error)) {
            case ReadResult::Matched:
                roundTripTime_ = static_cast<std::int32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_)
                        .count());
                over_ = true;
                break;
            case ReadResult::Failed:
                outcome_ = {};
                outcome_.status = StatusForErrno(error);
                over_ = true;
                break;
            case ReadResult::Other:  // see whether more is waiting
                if (Clock::now() >= deadline_) {
                    outcome_ = {};
                    outcome_.status = IP_REQ_TIMED_OUT;
                    over_ = true;
                }
                break;
            case ReadResult::Empty:
                return false;
        }
    }
    return true;
}

void SocketEcho::Wait() {
    while (!TakeArrived()) {
        if (!WaitForSocket(socket_, deadline_)) {
            outcome_ = {};
            outcome_.status = IP_REQ_TIMED_OUT;
            over_ = true;
        }
    }
}

std::uint32_t SocketEcho::Report(std::span<std::uint8_t> reply) const {
    WriteReplyBuffer(reply, outcome_, roundTripTime_);
    return outcome_.status == IP_SUCCESS ? 1 : 0;
}

std::uint32_t EchoOnSocket(const IcmpSocket& socket, std::uint32_t destination,
                           std::span<const std::uint8_t> payload, std::uint32_t timeoutMs,
                           std::span<std::uint8_t> reply) {
    SocketEcho echo(socket, destination, payload, timeoutMs);
    echo.Wait();
    return echo.Report(reply);
}

}  // namespace platform

#include "platform/icmp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include <unistd.h>

// Each handle holds its own socket for one or more echoes; the sequence numbers are counted
// for the whole process, so that a late reply never matches a later echo.

namespace {

using Clock = std::chrono::steady_clock;
using platform::IcmpSocket;

platform::EchoService* installedService = nullptr;

std::atomic<std::uint16_t> nextSequence{1};

// The identifier of this process's echoes on raw sockets (datagram sockets put their own).
std::uint16_t RawIdentifier() {
    static const std::uint16_t identifier = static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(::getpid()) ^
        static_cast<std::uint32_t>(Clock::now().time_since_epoch().count() >> 10));
    return identifier;
}

// Every handle opened and not yet closed. Handles are numbers that are never given out
// twice, so a stale handle never reaches a socket opened later under the same number.
struct HandleTable {
    std::mutex lock;
    std::map<HANDLE, IcmpSocket> open;
    std::uintptr_t last = 0;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

HANDLE OpenEchoHandle() {
    const IcmpSocket socket = platform::OpenIcmpSocket();
    if (socket.fd < 0) {
        return INVALID_HANDLE_VALUE;
    }
    HandleTable& table = Handles();
    const std::lock_guard guard(table.lock);
    const auto handle = reinterpret_cast<HANDLE>(++table.last);
    table.open.emplace(handle, socket);
    return handle;
}

// The socket of an open handle; nothing for any other value.
std::optional<IcmpSocket> FindEchoHandle(HANDLE handle) {
    HandleTable& table = Handles();
    const std::lock_guard guard(table.lock);
    const auto found = table.open.find(handle);
    return found != table.open.end() ? std::optional{found->second} : std::nullopt;
}

bool CloseEchoHandle(HANDLE handle) {
    HandleTable& table = Handles();
    const std::lock_guard guard(table.lock);
    const auto found = table.open.find(handle);
    if (found == table.open.end()) {
        return false;
    }
    platform::CloseIcmpSocket(found->second);
    table.open.erase(found);
    return true;
}

std::uint32_t Fail(std::span<std::uint8_t> reply, std::int32_t status) {
    platform::EchoOutcome failure;
    failure.status = status;
    platform::WriteReplyBuffer(reply, failure, 0);
    return 0;
}

std::uint32_t SendEchoOnSocket(HANDLE handle, std::uint32_t destination, const void* requestData,
                               std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                               void* replyBuffer, std::uint32_t replySize,
                               std::uint32_t timeoutMs) {
    if (replyBuffer == nullptr || replySize < kIcmpReplyFixedSize) {
        return 0;
    }
    const std::span reply(static_cast<std::uint8_t*>(replyBuffer), replySize);
    if (requestData == nullptr && requestSize > 0) {
        return Fail(reply, IP_BAD_REQ);
    }
    constexpr std::size_t kIcmpHeaderSize = 8;
    if (replySize < kIcmpReplyFixedSize + requestSize + kIcmpHeaderSize) {
        return Fail(reply, IP_BUF_TOO_SMALL);
    }
    const auto socket = FindEchoHandle(handle);
    if (!socket) {
        return Fail(reply, IP_GENERAL_FAILURE);
    }
    // Linux would ping the local host for 0.0.0.0; broadcast and multicast echoes would be
    // answered by many hosts or none. None of them is sent.
    const auto firstByte = static_cast<std::uint8_t>(destination);
    if (destination == 0 || destination == 0xFFFFFFFFu || (firstByte & 0xF0) == 0xE0) {
        return Fail(reply, IP_BAD_DESTINATION);
    }
    if (options != nullptr) {
        platform::SetRequestOptions(*socket, options->Ttl, options->Tos);
    }

    platform::PendingEcho echo;
    echo.destination = destination;
    echo.identifier = RawIdentifier();
    echo.sequence = nextSequence.fetch_add(1, std::memory_order_relaxed);
    echo.payload = {static_cast<const std::uint8_t*>(requestData), requestSize};
    const std::vector<std::uint8_t> request =
        platform::EchoRequest(echo.identifier, echo.sequence, echo.payload);

    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    if (const int error = platform::SendRequest(*socket, destination, request); error != 0) {
        return Fail(reply, platform::StatusForErrno(error));
    }

    // Room for the largest IP header, the echo and any ICMP error. Read first and wait only
    // when nothing is there: on loopback the reply is usually in by the time sendto returns.
    std::vector<std::uint8_t> incoming(std::max<std::size_t>(576, 60 + request.size()));
    for (;;) {
        platform::EchoOutcome outcome;
        int error = 0;
        switch (socket->type->read(socket->fd, incoming, echo, outcome, error)) {
            case platform::ReadResult::Matched: {
                const auto elapsed =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
                platform::WriteReplyBuffer(reply, outcome,
                                           static_cast<std::int32_t>(elapsed.count()));
                return outcome.status == IP_SUCCESS ? 1 : 0;
            }
            case platform::ReadResult::Failed:
                return Fail(reply, platform::StatusForErrno(error));
            case platform::ReadResult::Other:  // see whether more is waiting
                if (Clock::now() >= deadline) {
                    return Fail(reply, IP_REQ_TIMED_OUT);
                }
                break;
            case platform::ReadResult::Empty:
                if (!platform::WaitForSocket(*socket, deadline)) {
                    return Fail(reply, IP_REQ_TIMED_OUT);
                }
                break;
        }
    }
}

}  // namespace

HANDLE IcmpCreateFile() {
    return installedService != nullptr ? installedService->CreateFile() : OpenEchoHandle();
}

std::uint32_t IcmpSendEcho(HANDLE handle, std::uint32_t destination, const void* requestData,
                           std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                           void* replyBuffer, std::uint32_t replySize, std::uint32_t timeoutMs) {
    if (installedService != nullptr) {
        return installedService->SendEcho(handle, destination, requestData, requestSize, options,
                                          replyBuffer, replySize, timeoutMs);
    }
    return SendEchoOnSocket(handle, destination, requestData, requestSize, options, replyBuffer,
                            replySize, timeoutMs);
}

bool IcmpCloseHandle(HANDLE handle) {
    return installedService != nullptr ? installedService->CloseHandle(handle)
                                       : CloseEchoHandle(handle);
}

namespace platform {

void SetEchoService(EchoService* service) {
    installedService = service;
}

IcmpSocketKind IcmpSocketKindOf(HANDLE handle) {
    const auto socket = installedService == nullptr ? FindEchoHandle(handle) : std::nullopt;
    return socket ? socket->type->kind : IcmpSocketKind::None;
}

}  // namespace platform

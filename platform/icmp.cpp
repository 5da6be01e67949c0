#include "platform/icmp.h"

#include <map>
#include <mutex>
#include <optional>
#include <span>

#include "platform/icmp_echo.h"
#include "platform/icmp_helper_client.h"

// Each handle holds its own socket for one or more echoes, or, in a process that may open
// no ICMP socket, sends them through the echo helper program.

namespace {

using platform::IcmpSocket;

platform::EchoService* installedService = nullptr;

// Every handle opened and not yet closed; a socket without descriptor stands for the helper.
// Handles are numbers that are never given out twice, so a stale handle never reaches a
// socket opened later under the same number.
struct HandleTable {
    std::mutex lock;
    std::map<HANDLE, IcmpSocket> open;
    std::uintptr_t last = 0;
};

// Never destroyed: an echo abandoned on a worker thread may still use it while the program
// exits.
HandleTable& Handles() {
    static auto* table = new HandleTable;
    return *table;
}

HANDLE OpenEchoHandle() {
    const IcmpSocket socket = platform::OpenIcmpSocket();
    if (socket.fd < 0 && !platform::EchoHelperAvailable()) {
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
    if (found->second.fd >= 0) {
        platform::CloseIcmpSocket(found->second);
    }
    table.open.erase(found);
    return true;
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
        return platform::FailEcho(reply, IP_BAD_REQ);
    }
    constexpr std::size_t kIcmpHeaderSize = 8;
    if (replySize < kIcmpReplyFixedSize + requestSize + kIcmpHeaderSize) {
        return platform::FailEcho(reply, IP_BUF_TOO_SMALL);
    }
    const auto socket = FindEchoHandle(handle);
    if (!socket) {
        return platform::FailEcho(reply, IP_GENERAL_FAILURE);
    }
    if (platform::IsRefusedDestination(destination)) {
        return platform::FailEcho(reply, IP_BAD_DESTINATION);
    }
    const std::span payload(static_cast<const std::uint8_t*>(requestData), requestSize);
    const std::uint8_t ttl = options != nullptr ? options->Ttl : 0;
    const std::uint8_t tos = options != nullptr ? options->Tos : 0;
    if (socket->fd < 0) {
        return platform::EchoThroughHelper({destination, timeoutMs, ttl, tos, payload}, reply);
    }
    if (options != nullptr) {
        platform::SetRequestOptions(*socket, ttl, tos);
    }
    return platform::EchoOnSocket(*socket, destination, payload, timeoutMs, reply);
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
    if (!socket) {
        return IcmpSocketKind::None;
    }
    return socket->fd >= 0 ? socket->type->kind : IcmpSocketKind::Helper;
}

}  // namespace platform

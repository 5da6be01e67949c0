#include "platform/icmp/icmp.h"

#include <map>
#include <mutex>
#include <optional>
#include <span>

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

}  // namespace

HANDLE IcmpCreateFile() {
    return installedService != nullptr ? installedService->CreateFile() : OpenEchoHandle();
}

std::uint32_t IcmpSendEcho(HANDLE handle, std::uint32_t destination, const void* requestData,
                           std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                           void* replyBuffer, std::uint32_t replySize, std::uint32_t timeoutMs) {
    return platform::EchoInFlight(handle, destination, requestData, requestSize, options,
                                  replyBuffer, replySize, timeoutMs)
        .Finish();
}

bool IcmpCloseHandle(HANDLE handle) {
    return installedService != nullptr ? installedService->CloseHandle(handle)
                                       : CloseEchoHandle(handle);
}

namespace platform {

EchoInFlight::EchoInFlight(HANDLE handle, std::uint32_t destination, const void* requestData,
                           std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                           void* replyBuffer, std::uint32_t replySize, std::uint32_t timeoutMs)
    : service_(installedService), call_{handle,  destination, requestData, requestSize,
                                        options, replyBuffer, replySize,   timeoutMs} {
    if (service_ != nullptr) {
        return;  // it is all the service's, in Finish
    }
    if (replyBuffer == nullptr || replySize < kIcmpReplyFixedSize) {
        result_ = 0;
        return;
    }
    const std::span reply(static_cast<std::uint8_t*>(replyBuffer), replySize);
    constexpr std::size_t kIcmpHeaderSize = 8;
    const auto socket = FindEchoHandle(handle);
    if (requestData == nullptr && requestSize > 0) {
        result_ = FailEcho(reply, IP_BAD_REQ);
    } else if (replySize < kIcmpReplyFixedSize + requestSize + kIcmpHeaderSize) {
        result_ = FailEcho(reply, IP_BUF_TOO_SMALL);
    } else if (!socket) {
        result_ = FailEcho(reply, IP_GENERAL_FAILURE);
    } else if (IsRefusedDestination(destination)) {
        result_ = FailEcho(reply, IP_BAD_DESTINATION);
    }
    if (result_) {
        return;
    }
    const std::span payload(static_cast<const std::uint8_t*>(requestData), requestSize);
    const std::uint8_t ttl = options != nullptr ? options->Ttl : 0;
    const std::uint8_t tos = options != nullptr ? options->Tos : 0;
    if (socket->fd < 0) {
        helperEcho_.emplace(HelperRequest{destination, timeoutMs, ttl, tos, payload});
        return;
    }
    if (options != nullptr) {
        SetRequestOptions(*socket, ttl, tos);
    }
    socketEcho_.emplace(*socket, destination, payload, timeoutMs);
}

EchoInFlight::~EchoInFlight() = default;

bool EchoInFlight::Over() {
    // An installed service is always asked in Finish, which may block.
    return service_ == nullptr && (result_ || (socketEcho_ && socketEcho_->TakeArrived()) ||
                                   (helperEcho_ && helperEcho_->TakeArrived()));
}

std::uint32_t EchoInFlight::Finish() {
    if (service_ != nullptr) {
        return service_->SendEcho(call_.handle, call_.destination, call_.requestData,
                                  call_.requestSize, call_.options, call_.replyBuffer,
                                  call_.replySize, call_.timeoutMs);
    }
    if (result_) {
        return *result_;
    }
    const std::span reply(static_cast<std::uint8_t*>(call_.replyBuffer), call_.replySize);
    if (socketEcho_) {
        socketEcho_->Wait();
        return socketEcho_->Report(reply);
    }
    helperEcho_->Wait();
    return helperEcho_->Report(reply);
}

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

#pragma once
// An echo service for tests that sends nothing and writes nothing into the reply buffer: it
// records what it was asked and answers "no reply". Installed for the object's lifetime.

#include <cstdint>
#include <vector>

#include "platform/icmp.h"

class SilentEchoService : public platform::EchoService {
public:
    SilentEchoService() { platform::SetEchoService(this); }
    ~SilentEchoService() override { platform::SetEchoService(nullptr); }
    SilentEchoService(const SilentEchoService&) = delete;
    SilentEchoService& operator=(const SilentEchoService&) = delete;

    struct Request {
        HANDLE handle;
        std::uint32_t destination;
        std::vector<std::uint8_t> data;
        const IP_OPTION_INFORMATION* options;
        std::vector<std::uint8_t> replyBuffer;  // as handed in
        std::uint32_t timeoutMs;
    };

    HANDLE CreateFile() override { return kHandle; }
    std::uint32_t SendEcho(HANDLE handle, std::uint32_t destination, const void* requestData,
                           std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                           void* replyBuffer, std::uint32_t replySize,
                           std::uint32_t timeoutMs) override {
        const auto* data = static_cast<const std::uint8_t*>(requestData);
        const auto* reply = static_cast<const std::uint8_t*>(replyBuffer);
        requests.push_back({handle,
                            destination,
                            {data, data + requestSize},
                            options,
                            {reply, reply + replySize},
                            timeoutMs});
        return 0;
    }
    bool CloseHandle(HANDLE handle) override {
        closed.push_back(handle);
        return true;
    }

    static inline HANDLE const kHandle = reinterpret_cast<HANDLE>(std::uintptr_t{0x5150});
    std::vector<Request> requests;
    std::vector<HANDLE> closed;
};

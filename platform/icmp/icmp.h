#pragma once
// Stand-in for the ICMP echo service (IcmpCreateFile, IcmpSendEcho, IcmpCloseHandle) on
// Linux ICMP sockets. A handle owns one socket: a datagram ICMP socket where
// net.ipv4.ping_group_range admits the caller's group, otherwise a raw socket (root or
// CAP_NET_RAW). A process that can have neither sends its echoes through norvane-echo, the
// small privileged helper program (platform/icmp/helper_client.h). Outcomes are reported with
// the echo service's IP_* status codes.
//
// The reply buffer has the layout of platform/icmp/reply.h: the 28-byte fixed part, then the
// echoed data. The service writes the whole fixed part for every outcome it reports; on a
// failure the round-trip time and data size are 0.

#include <cstdint>
#include <optional>

#include "platform/icmp/echo.h"
#include "platform/icmp/helper_client.h"
#include "platform/icmp/packets.h"
#include "platform/icmp/reply.h"
#include "platform/icmp/sockets.h"

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Request options. Only Ttl and Tos are honoured (0 is the system's default).
struct IP_OPTION_INFORMATION {
    std::uint8_t Ttl = 0;
    std::uint8_t Tos = 0;
    std::uint8_t Flags = 0;
    std::uint8_t OptionsSize = 0;
    std::uint8_t* OptionsData = nullptr;
};

constexpr std::uint32_t kIcmpReplyFixedSize = platform::kEchoReplyFixedSize;

// A handle for IcmpSendEcho, or INVALID_HANDLE_VALUE when no ICMP socket can be had.
HANDLE IcmpCreateFile();

// Sends one echo request with `requestSize` bytes of `requestData` to `destination` (the
// four address bytes in network order, read as a little-endian integer: 127.0.0.1 is
// 0x0100007F) and waits at most `timeoutMs` for its reply. Returns 1 when an echo reply
// stands in the buffer, 0 otherwise (time-out, ICMP error, local failure; the status says
// which). The buffer needs room for the fixed part, the request data and 8 more bytes.
std::uint32_t IcmpSendEcho(HANDLE handle, std::uint32_t destination, const void* requestData,
                           std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                           void* replyBuffer, std::uint32_t replySize, std::uint32_t timeoutMs);

// Closes the handle's socket; false for a handle that is not open (never opened, or closed
// already), which is left alone.
bool IcmpCloseHandle(HANDLE handle);

namespace platform {

// The service behind the three calls above. Tests install their own to steer what the
// echo service reports; nullptr puts the ICMP sockets back.
class EchoService {
public:
    virtual ~EchoService() = default;
    virtual HANDLE CreateFile() = 0;
    virtual std::uint32_t SendEcho(HANDLE handle, std::uint32_t destination,
                                   const void* requestData, std::uint16_t requestSize,
                                   const IP_OPTION_INFORMATION* options, void* replyBuffer,
                                   std::uint32_t replySize, std::uint32_t timeoutMs) = 0;
    virtual bool CloseHandle(HANDLE handle) = 0;
};
void SetEchoService(EchoService* service);

// IcmpSendEcho in two steps, for the window's thread, which must not block: made, the echo is
// checked and sent as IcmpSendEcho does, and its reply taken if it has come already, as on
// loopback it usually has. Only when Over() is false is there anything to wait for: Finish
// waits until the reply or the time-out, and may run on another thread. It returns what
// IcmpSendEcho returns and fills the reply buffer alike. The request data, the reply buffer
// and the handle must stay until Finish has returned. An installed service is asked in Finish.
class EchoInFlight {
public:
    EchoInFlight(HANDLE handle, std::uint32_t destination, const void* requestData,
                 std::uint16_t requestSize, const IP_OPTION_INFORMATION* options, void* replyBuffer,
                 std::uint32_t replySize, std::uint32_t timeoutMs);
    ~EchoInFlight();
    EchoInFlight(const EchoInFlight&) = delete;
    EchoInFlight& operator=(const EchoInFlight&) = delete;

    bool Over();
    std::uint32_t Finish();

private:
    struct Call {
        HANDLE handle;
        std::uint32_t destination;
        const void* requestData;
        std::uint16_t requestSize;
        const IP_OPTION_INFORMATION* options;
        void* replyBuffer;
        std::uint32_t replySize;
        std::uint32_t timeoutMs;
    };
    EchoService* service_;
    Call call_;
    std::optional<std::uint32_t> result_;  // set when the echo ended before it was sent
    std::optional<SocketEcho> socketEcho_;
    std::optional<HelperEcho> helperEcho_;
};

// Which kind of socket an open handle of the ICMP service holds.
IcmpSocketKind IcmpSocketKindOf(HANDLE handle);

}  // namespace platform

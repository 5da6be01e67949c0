#pragma once
// What the echo service and norvane-echo, the echo helper program, say to each other. The
// helper is the one installed file with cap_net_raw: it opens a raw ICMP socket, gives up
// every capability and then sends echoes for a process that may open no ICMP socket itself.
// One message each way over a SOCK_SEQPACKET socket pair, on the helper's standard input:
//
// - once started, the helper's greeting: 4 bytes, little-endian, 0 when its raw socket is
//   open, otherwise the errno of the failure (and the helper ends);
// - a request: the 4 bytes "NVE1", the destination (4 bytes in network order), the time-out
//   in milliseconds (4 bytes, little-endian), the time to live and the type of service (a byte
//   each, 0 for the system's default), the data size (2 bytes, little-endian), the data;
// - its answer: a reply buffer (platform/icmp/reply.h) holding the fixed part and all of the
//   echoed data.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {

struct HelperRequest {
    std::uint32_t destination = 0;  // as the echo service holds it: 127.0.0.1 is 0x0100007F
    std::uint32_t timeoutMs = 0;
    std::uint8_t ttl = 0;
    std::uint8_t tos = 0;
    std::span<const std::uint8_t> data;
};

constexpr std::size_t kHelperRequestHeaderSize = 16;
constexpr std::size_t kHelperMaxRequestData = 65535;  // the most IcmpSendEcho takes
constexpr std::size_t kHelperMaxRequestSize = kHelperRequestHeaderSize + kHelperMaxRequestData;
// The helper waits no longer than this for a reply, whatever the request asks.
constexpr std::uint32_t kHelperMaxTimeoutMs = 5000;

std::vector<std::uint8_t> EncodeHelperRequest(const HelperRequest& request);

// The request a message holds; nothing for a message of another length or kind. The data
// refers into `message`.
std::optional<HelperRequest> DecodeHelperRequest(std::span<const std::uint8_t> message);

}  // namespace platform

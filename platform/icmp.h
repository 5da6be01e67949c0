#pragma once
// Stand-in for the ICMP echo service (IcmpCreateFile, IcmpSendEcho, IcmpCloseHandle) on
// Linux ICMP sockets. A handle owns one socket: a datagram ICMP socket where
// net.ipv4.ping_group_range admits the caller's group, otherwise a raw socket (root or
// CAP_NET_RAW). Outcomes are reported with the echo service's IP_* status codes.
//
// The reply buffer has the service's layout: a 28-byte fixed part, little-endian, no gaps
// (Address, Status, RoundTripTime, DataSize, Reserved, DataPointer, Ttl, Tos, Flags,
// OptionsSize, OptionsData), then the echoed data. The service writes the whole fixed part
// for every outcome it reports; on a failure the round-trip time and data size are 0.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// Echo status codes.
constexpr std::int32_t IP_SUCCESS = 0;
constexpr std::int32_t IP_STATUS_BASE = 11000;
constexpr std::int32_t IP_BUF_TOO_SMALL = 11001;
constexpr std::int32_t IP_DEST_NET_UNREACHABLE = 11002;
constexpr std::int32_t IP_DEST_HOST_UNREACHABLE = 11003;
constexpr std::int32_t IP_DEST_PROT_UNREACHABLE = 11004;
constexpr std::int32_t IP_DEST_PORT_UNREACHABLE = 11005;
constexpr std::int32_t IP_NO_RESOURCES = 11006;
constexpr std::int32_t IP_BAD_OPTION = 11007;
constexpr std::int32_t IP_HW_ERROR = 11008;
constexpr std::int32_t IP_PACKET_TOO_BIG = 11009;
constexpr std::int32_t IP_REQ_TIMED_OUT = 11010;
constexpr std::int32_t IP_BAD_REQ = 11011;
constexpr std::int32_t IP_BAD_ROUTE = 11012;
constexpr std::int32_t IP_TTL_EXPIRED_TRANSIT = 11013;
constexpr std::int32_t IP_TTL_EXPIRED_REASSEM = 11014;
constexpr std::int32_t IP_PARAM_PROBLEM = 11015;
constexpr std::int32_t IP_SOURCE_QUENCH = 11016;
constexpr std::int32_t IP_OPTION_TOO_BIG = 11017;
constexpr std::int32_t IP_BAD_DESTINATION = 11018;
constexpr std::int32_t IP_ADDR_DELETED = 11019;
constexpr std::int32_t IP_SPEC_MTU_CHANGE = 11020;
constexpr std::int32_t IP_MTU_CHANGE = 11021;
constexpr std::int32_t IP_UNLOAD = 11022;
constexpr std::int32_t IP_ADDR_ADDED = 11023;
constexpr std::int32_t IP_GENERAL_FAILURE = 11050;
constexpr std::int32_t IP_PENDING = 11255;

// Request options. Only Ttl and Tos are honoured (0 keeps the system's default).
struct IP_OPTION_INFORMATION {
    std::uint8_t Ttl = 0;
    std::uint8_t Tos = 0;
    std::uint8_t Flags = 0;
    std::uint8_t OptionsSize = 0;
    std::uint8_t* OptionsData = nullptr;
};

constexpr std::uint32_t kIcmpReplyFixedSize = 28;

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

// Closes the handle's socket; false for a handle that is not open.
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

enum class IcmpSocketKind { None, Datagram, Raw };
// Which kind of socket an open handle of the ICMP service holds.
IcmpSocketKind IcmpSocketKindOf(HANDLE handle);

// Packet helpers of the ICMP service, pure functions over bytes.

// The Internet checksum (ones' complement of the ones' complement sum of 16-bit words).
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes);

// The status for an ICMP error message of `type` and `code`; nothing for messages that
// do not end an echo (redirects, unknown types and codes).
std::optional<std::int32_t> StatusForIcmpError(int type, int code);

// The status for an errno of a local send or a local error report.
std::int32_t StatusForErrno(int error);

// What a received packet means for the echo that waits for it.
struct EchoOutcome {
    std::int32_t status = IP_SUCCESS;
    std::uint32_t source = 0;  // sender, network order as in `destination`
    std::uint8_t ttl = 0;
    std::uint8_t tos = 0;
    std::uint8_t flags = 0;
    std::span<const std::uint8_t> data;  // the echoed data (echo replies only)
};

// The echo an incoming packet is matched against.
struct PendingEcho {
    std::uint32_t destination = 0;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::span<const std::uint8_t> payload;
};

// A packet read from a raw ICMP socket (IP header first): the echo reply or ICMP error
// that belongs to `echo`, or nothing for any other packet (other identifiers, sequences,
// payloads or destinations, bad checksums, our own request, truncated packets).
std::optional<EchoOutcome> MatchRawPacket(std::span<const std::uint8_t> packet,
                                          const PendingEcho& echo);

// An ICMP message read from a datagram ICMP socket (no IP header; the kernel has already
// checked the checksum and the identifier): the echo reply to `echo`, or nothing.
std::optional<EchoOutcome> MatchDatagramReply(std::span<const std::uint8_t> message,
                                              std::uint32_t source, const PendingEcho& echo);

}  // namespace platform

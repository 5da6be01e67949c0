#pragma once
// ICMP echo packets for the echo service: building the request, checking and matching what
// comes back, turning ICMP errors into echo status codes, and writing the reply buffer. Pure
// functions over bytes; addresses are the four bytes in network order read as a little-endian
// integer (127.0.0.1 is 0x0100007F).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/icmp/reply.h"

namespace platform {

// The Internet checksum (ones' complement of the ones' complement sum of 16-bit words).
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes);

// An ICMP echo request with its checksum.
std::vector<std::uint8_t> EchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> payload);

// The status for an ICMP error message of `type` and `code`; nothing for messages that
// do not end an echo (redirects, unknown types and codes).
std::optional<std::int32_t> StatusForIcmpError(int type, int code);

// The status for an errno of a local send or a local error report.
std::int32_t StatusForErrno(int error);

// What a received packet means for the echo that waits for it.
struct EchoOutcome {
    std::int32_t status = IP_SUCCESS;
    std::uint32_t source = 0;  // the destination for a reply, the sender for an error
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

// A packet read from a raw ICMP socket (IP header first): the echo reply from the
// destination, or an ICMP error from any host that quotes our request; nothing for any other
// packet (other identifiers, sequences, payloads or senders, bad checksums, our own request,
// truncated packets).
std::optional<EchoOutcome> MatchRawPacket(std::span<const std::uint8_t> packet,
                                          const PendingEcho& echo);

// An ICMP message read from a datagram ICMP socket (no IP header; the kernel has already
// checked the checksum and the identifier) and its sender: the echo reply to `echo` from its
// destination, or nothing.
std::optional<EchoOutcome> MatchDatagramReply(std::span<const std::uint8_t> message,
                                              std::uint32_t source, const PendingEcho& echo);

// Fills the reply buffer's fixed part for `outcome` and, for an echo reply, the echoed data
// behind it (as much as the buffer holds). A failure has no round-trip time and no data.
void WriteReplyBuffer(std::span<std::uint8_t> buffer, const EchoOutcome& outcome,
                      std::int32_t roundTripTime);

}  // namespace platform

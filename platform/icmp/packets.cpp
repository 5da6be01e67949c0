#include "platform/icmp/packets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestinationUnreachable = 3;
constexpr std::uint8_t kSourceQuench = 4;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr std::uint8_t kParameterProblem = 12;
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::uint8_t kIcmpProtocol = 1;

std::uint16_t ReadBigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void WriteBigEndian16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

std::uint32_t ReadAddress(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The ICMP message that an IPv4 packet carries, at least its 8-byte header; nothing for a
// packet too short or of another kind.
std::optional<std::span<const std::uint8_t>> IcmpMessageOf(std::span<const std::uint8_t> packet) {
    if (packet.size() < 20 || (packet[0] >> 4) != 4 || packet[9] != kIcmpProtocol) {
        return std::nullopt;
    }
    const std::size_t headerSize = std::size_t{packet[0] & 0x0Fu} * 4;
    if (headerSize < 20 || packet.size() < headerSize + kIcmpHeaderSize) {
        return std::nullopt;
    }
    return packet.subspan(headerSize);
}

}  // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        sum += ReadBigEndian16(&bytes[i]);
    }
    if (i < bytes.size()) {
        sum += std::uint32_t{bytes[i]} << 8;
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> EchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> request(kIcmpHeaderSize + payload.size());
    request[0] = kEchoRequest;
    WriteBigEndian16(&request[4], identifier);
    WriteBigEndian16(&request[6], sequence);
    std::ranges::copy(payload, request.begin() + kIcmpHeaderSize);
    WriteBigEndian16(&request[2], InternetChecksum(request));
    return request;
}

std::optional<std::int32_t> StatusForIcmpError(int type, int code) {
    switch (type) {
        case kDestinationUnreachable:
            switch (code) {
                case 0:   // network
                case 6:   // network unknown
                case 9:   // network administratively prohibited
                case 11:  // network unreachable for the type of service
                    return IP_DEST_NET_UNREACHABLE;
                case 1:   // host
                case 7:   // host unknown
                case 8:   // source host isolated
                case 10:  // host administratively prohibited
                case 12:  // host unreachable for the type of service
                case 13:  // communication administratively prohibited
                case 14:  // host precedence violation
                case 15:  // precedence cut-off
                    return IP_DEST_HOST_UNREACHABLE;
                case 2:
                    return IP_DEST_PROT_UNREACHABLE;
                case 3:
                    return IP_DEST_PORT_UNREACHABLE;
                case 4:  // fragmentation needed
                    return IP_PACKET_TOO_BIG;
                case 5:  // source route failed
                    return IP_BAD_ROUTE;
                default:
                    return std::nullopt;
            }
        case kTimeExceeded:
            if (code == 0) {
                return IP_TTL_EXPIRED_TRANSIT;
            }
            if (code == 1) {
                return IP_TTL_EXPIRED_REASSEM;
            }
            return std::nullopt;
        case kParameterProblem:
            return IP_PARAM_PROBLEM;
        case kSourceQuench:
            return IP_SOURCE_QUENCH;
        default:  // redirects among them: the echo goes on by another route
            return std::nullopt;
    }
}

std::int32_t StatusForErrno(int error) {
    switch (error) {
        case EHOSTUNREACH:
        case EHOSTDOWN:
        case ENONET:
            return IP_DEST_HOST_UNREACHABLE;
        case ENOBUFS:
        case ENOMEM:
            return IP_NO_RESOURCES;
        case EMSGSIZE:
            return IP_PACKET_TOO_BIG;
        default:  // no route, firewall, prohibited or blackhole route, broadcast ...
            return IP_GENERAL_FAILURE;
    }
}

std::optional<EchoOutcome> MatchRawPacket(std::span<const std::uint8_t> packet,
                                          const PendingEcho& echo) {
    const auto carried = IcmpMessageOf(packet);
    if (!carried || InternetChecksum(*carried) != 0) {
        return std::nullopt;
    }
    const auto icmp = *carried;
    EchoOutcome outcome;
    outcome.source = ReadAddress(&packet[12]);
    outcome.ttl = packet[8];
    outcome.tos = packet[1];
    outcome.flags = static_cast<std::uint8_t>(packet[6] >> 5);

    const std::uint8_t type = icmp[0];
    if (type == kEchoReply) {
        const auto data = icmp.subspan(kIcmpHeaderSize);
        // Only the destination answers an echo; a reply from any other host is not ours.
        if (icmp[1] != 0 || outcome.source != echo.destination ||
            ReadBigEndian16(&icmp[4]) != echo.identifier ||
            ReadBigEndian16(&icmp[6]) != echo.sequence || !std::ranges::equal(data, echo.payload)) {
            return std::nullopt;
        }
        outcome.data = data;
        return outcome;
    }

    const auto status = StatusForIcmpError(type, icmp[1]);
    if (!status) {
        return std::nullopt;
    }
    // An error quotes the IP header and the first bytes of the packet it is about: ours only
    // if that was an echo request to our destination with our identifier and sequence.
    const auto quoted = icmp.subspan(kIcmpHeaderSize);
    const auto quotedIcmp = IcmpMessageOf(quoted);
    if (!quotedIcmp) {
        return std::nullopt;
    }
    const auto request = *quotedIcmp;
    if (ReadAddress(&quoted[16]) != echo.destination || request[0] != kEchoRequest ||
        ReadBigEndian16(&request[4]) != echo.identifier ||
        ReadBigEndian16(&request[6]) != echo.sequence) {
        return std::nullopt;
    }
    outcome.status = *status;
    return outcome;
}

std::optional<EchoOutcome> MatchDatagramReply(std::span<const std::uint8_t> message,
                                              std::uint32_t source, const PendingEcho& echo) {
    if (message.size() < kIcmpHeaderSize || message[0] != kEchoReply || message[1] != 0 ||
        source != echo.destination || ReadBigEndian16(&message[6]) != echo.sequence) {
        return std::nullopt;
    }
    const auto data = message.subspan(kIcmpHeaderSize);
    if (!std::ranges::equal(data, echo.payload)) {
        return std::nullopt;
    }
    EchoOutcome outcome;
    outcome.source = source;
    outcome.data = data;
    return outcome;
}

void WriteReplyBuffer(std::span<std::uint8_t> buffer, const EchoOutcome& outcome,
                      std::int32_t roundTripTime) {
    const bool success = outcome.status == IP_SUCCESS;
    const std::size_t dataSize =
        success ? std::min({outcome.data.size(), buffer.size() - kEchoReplyFixedSize,
                            std::size_t{32767}})
                : 0;
    EchoReplyFixedPart part;
    part.Address = static_cast<std::int32_t>(outcome.source);
    part.Status = outcome.status;
    part.RoundTripTime = success ? roundTripTime : 0;
    part.DataSize = static_cast<std::int16_t>(dataSize);
    part.DataPointer = kEchoReplyFixedSize;
    part.Ttl = outcome.ttl;
    part.Tos = outcome.tos;
    part.Flags = outcome.flags;
    WriteFixedPart(part, buffer.data());
    if (dataSize > 0) {
        std::memcpy(buffer.data() + kEchoReplyFixedSize, outcome.data.data(), dataSize);
    }
}

}  // namespace platform

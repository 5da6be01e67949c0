#pragma once
// The echo service's reply record as it stands in a reply buffer, and its status codes. Both
// the service, which writes it, and the ping commands, which read it, use this one layout.
//
// The fixed part is 28 bytes, little-endian, no gaps, in the order of EchoReplyFixedPart's
// fields; the echoed data follows it. The program's record reserves 250 bytes for the data.

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

namespace platform {

constexpr std::size_t kEchoReplyFixedSize = 28;
constexpr std::size_t kEchoReplyDataAreaSize = 250;
constexpr std::size_t kEchoReplyBufferSize = kEchoReplyFixedSize + kEchoReplyDataAreaSize;

struct EchoReplyFixedPart {
    std::int32_t Address = 0;        // the replying host, network byte order
    std::int32_t Status = 0;         // one of the IP_* codes
    std::int32_t RoundTripTime = 0;  // milliseconds
    std::int16_t DataSize = 0;       // bytes of echoed data behind the fixed part
    std::int16_t Reserved = 0;
    std::int32_t DataPointer = 0;  // where the echoed data stands in the buffer
    std::uint8_t Ttl = 0;
    std::uint8_t Tos = 0;
    std::uint8_t Flags = 0;
    std::uint8_t OptionsSize = 0;
    std::int32_t OptionsData = 0;
};

// Calls `visit` with each field of the fixed part in buffer order: the one place that order
// is written down.
template <class Part, class Visit>
constexpr void ForEachFixedField(Part& part, Visit visit) {
    visit(part.Address);
    visit(part.Status);
    visit(part.RoundTripTime);
    visit(part.DataSize);
    visit(part.Reserved);
    visit(part.DataPointer);
    visit(part.Ttl);
    visit(part.Tos);
    visit(part.Flags);
    visit(part.OptionsSize);
    visit(part.OptionsData);
}

constexpr std::size_t FixedPartBytes() {
    EchoReplyFixedPart part;
    std::size_t bytes = 0;
    ForEachFixedField(part, [&](auto field) { bytes += sizeof field; });
    return bytes;
}
static_assert(FixedPartBytes() == kEchoReplyFixedSize);

// Writes the fixed part into the first 28 bytes of `buffer`.
inline void WriteFixedPart(const EchoReplyFixedPart& part, std::uint8_t* buffer) {
    ForEachFixedField(part, [&](auto field) {
        const auto bits = static_cast<std::make_unsigned_t<decltype(field)>>(field);
        for (std::size_t i = 0; i < sizeof field; ++i) {
            *buffer++ = static_cast<std::uint8_t>(bits >> (8 * i));
        }
    });
}

// Reads the fixed part from the first 28 bytes of `buffer`.
inline EchoReplyFixedPart ReadFixedPart(const std::uint8_t* buffer) {
    EchoReplyFixedPart part;
    ForEachFixedField(part, [&](auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        std::make_unsigned_t<Field> bits = 0;
        for (std::size_t i = 0; i < sizeof field; ++i) {
            bits |= static_cast<decltype(bits)>(std::uint32_t{*buffer++} << (8 * i));
        }
        field = static_cast<Field>(bits);
    });
    return part;
}

}  // namespace platform

#include "ping/module1.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>

#include <QStringList>

#include "platform/icmp.h"

namespace Module1 {

namespace {

// The byte value of one part of a dotted address: a decimal number with an optional sign,
// blanks around it allowed, reduced to its lowest 8 bits (two's complement when negative).
std::optional<std::uint32_t> ByteValue(QStringView part) {
    part = part.trimmed();
    bool negative = false;
    if (!part.isEmpty() && (part.front() == u'+' || part.front() == u'-')) {
        negative = part.front() == u'-';
        part = part.mid(1);
    }
    if (part.isEmpty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const QChar c : part) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = (value * 10 + (c.unicode() - u'0')) & 0xFF;
    }
    return negative ? (0x100 - value) & 0xFF : value;
}

void PutLittleEndian(std::uint8_t* p, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t GetLittleEndian(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= std::uint32_t{p[i]} << (8 * i);
    }
    return value;
}

using ReplyBuffer = std::array<std::uint8_t, kEchoReplyBufferSize>;

// The record as the echo service reads and writes it: the fixed fields little-endian, the
// data area one byte per character (characters beyond one byte become '?').
ReplyBuffer ToBuffer(const EchoReply& reply) {
    ReplyBuffer buffer{};
    std::uint8_t* p = buffer.data();
    PutLittleEndian(p + 0, static_cast<std::uint32_t>(reply.Address), 4);
    PutLittleEndian(p + 4, static_cast<std::uint32_t>(reply.Status), 4);
    PutLittleEndian(p + 8, static_cast<std::uint32_t>(reply.RoundTripTime), 4);
    PutLittleEndian(p + 12, static_cast<std::uint16_t>(reply.DataSize), 2);
    PutLittleEndian(p + 14, static_cast<std::uint16_t>(reply.Reserved), 2);
    PutLittleEndian(p + 16, static_cast<std::uint32_t>(reply.DataPointer), 4);
    p[20] = reply.Ttl;
    p[21] = reply.Tos;
    p[22] = reply.Flags;
    p[23] = reply.OptionsSize;
    PutLittleEndian(p + 24, static_cast<std::uint32_t>(reply.OptionsData), 4);
    std::transform(std::begin(reply.Data), std::end(reply.Data), p + kEchoReplyFixedSize,
                   [](char16_t c) { return static_cast<std::uint8_t>(c < 0x100 ? c : u'?'); });
    return buffer;
}

void FromBuffer(const ReplyBuffer& buffer, EchoReply& reply) {
    const std::uint8_t* p = buffer.data();
    reply.Address = static_cast<std::int32_t>(GetLittleEndian(p + 0, 4));
    reply.Status = static_cast<std::int32_t>(GetLittleEndian(p + 4, 4));
    reply.RoundTripTime = static_cast<std::int32_t>(GetLittleEndian(p + 8, 4));
    reply.DataSize = static_cast<std::int16_t>(GetLittleEndian(p + 12, 2));
    reply.Reserved = static_cast<std::int16_t>(GetLittleEndian(p + 14, 2));
    reply.DataPointer = static_cast<std::int32_t>(GetLittleEndian(p + 16, 4));
    reply.Ttl = p[20];
    reply.Tos = p[21];
    reply.Flags = p[22];
    reply.OptionsSize = p[23];
    reply.OptionsData = static_cast<std::int32_t>(GetLittleEndian(p + 24, 4));
    std::copy(p + kEchoReplyFixedSize, p + kEchoReplyBufferSize, std::begin(reply.Data));
}

struct StatusText {
    std::int32_t status;
    const char* text;
};

// Sorted by status.
constexpr StatusText kStatusTexts[] = {
    {0, "ip success"},
    {200, "ping timeout"},
    {11001, "ip buf too_small"},
    {11002, "ip dest net unreachable"},
    {11003, "ip dest host unreachable"},
    {11004, "ip dest prot unreachable"},
    {11005, "ip dest port unreachable"},
    {11006, "ip no resources"},
    {11007, "ip bad option"},
    {11008, "ip hw_error"},
    {11009, "ip packet too_big"},
    {11010, "ip req timed out"},
    {11011, "ip bad req"},
    {11012, "ip bad route"},
    {11013, "ip ttl expired transit"},
    {11014, "ip ttl expired reassem"},
    {11015, "ip param_problem"},
    {11016, "ip source quench"},
    {11017, "ip option too_big"},
    {11018, "ip bad destination"},
    {11019, "ip addr deleted"},
    {11020, "ip spec mtu change"},
    {11021, "ip mtu_change"},
    {11022, "ip unload"},
    {11023, "ip addr added"},
    {11050, "ip general failure"},
    {11255, "ip pending"},
};
static_assert(std::ranges::is_sorted(kStatusTexts, {}, &StatusText::status));

constexpr char kUnknownStatus[] = "unknown  msg returned";

constexpr char kEchoRequest[] = "Echo This";
constexpr std::uint16_t kEchoRequestSize = 9;
constexpr std::uint32_t kEchoTimeoutMs = 200;

}  // namespace

std::int32_t DottedToAddress(const QString& dotted) {
    const QStringList parts = dotted.split(u'.');
    if (parts.size() != 4) {
        return 0;
    }
    std::uint32_t address = 0;
    for (int i = 0; i < 4; ++i) {
        const auto byte = ByteValue(parts[i]);
        if (!byte) {
            return 0;
        }
        address |= *byte << (8 * i);
    }
    return static_cast<std::int32_t>(address);
}

std::int32_t SendEcho(const QString& address, EchoReply& reply) {
    const std::int32_t destination = DottedToAddress(address);
    const HANDLE handle = IcmpCreateFile();
    ReplyBuffer buffer = ToBuffer(reply);
    const std::uint32_t replies =
        IcmpSendEcho(handle, static_cast<std::uint32_t>(destination), kEchoRequest,
                     kEchoRequestSize, nullptr, buffer.data(), buffer.size(), kEchoTimeoutMs);
    FromBuffer(buffer, reply);
    // Negated without overflow, whatever the status holds.
    const std::int32_t result =
        replies != 0 ? reply.RoundTripTime
                     : static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(reply.Status));
    IcmpCloseHandle(handle);
    return result;
}

QString EchoStatusText(std::int32_t status) {
    const auto found = std::ranges::lower_bound(kStatusTexts, status, {}, &StatusText::status);
    const char* text =
        found != std::end(kStatusTexts) && found->status == status ? found->text : kUnknownStatus;
    return QString::number(status) + QStringLiteral("   [ ") + QLatin1String(text) +
           QStringLiteral(" ]");
}

}  // namespace Module1

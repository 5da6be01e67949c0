#include "ping/module1.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <memory>
#include <optional>

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include "net/blockinghook.h"
#include "platform/icmp/icmp.h"

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

using ReplyBuffer = std::array<std::uint8_t, kEchoReplyBufferSize>;

// The record as the echo service reads and writes it: the fixed fields in the service's
// layout, the data area one byte per character (characters beyond one byte become '?').
ReplyBuffer ToBuffer(const EchoReply& reply) {
    ReplyBuffer buffer{};
    platform::WriteFixedPart(reply, buffer.data());
    std::transform(std::begin(reply.Data), std::end(reply.Data),
                   buffer.begin() + kEchoReplyFixedSize,
                   [](char16_t c) { return static_cast<std::uint8_t>(c < 0x100 ? c : u'?'); });
    return buffer;
}

void FromBuffer(const ReplyBuffer& buffer, EchoReply& reply) {
    static_cast<platform::EchoReplyFixedPart&>(reply) = platform::ReadFixedPart(buffer.data());
    std::copy(buffer.begin() + kEchoReplyFixedSize, buffer.end(), std::begin(reply.Data));
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

std::optional<std::int16_t> OctetValue(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch()) {
        return std::nullopt;
    }
    // Read with a full stop as the decimal mark whatever the user's locale; the default
    // rounding mode rounds halves to even.
    const double value = std::nearbyint(QLocale::c().toDouble(trimmed));
    if (value < -32768.0 || value > 32767.0) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

std::int32_t SendEcho(const QString& address, EchoReply& reply) {
    const std::int32_t destination = DottedToAddress(address);
    // The echo is sent at once and its reply taken if it has come; only when it has not does
    // the wait for it go to the blocking hook's worker, the window painting meanwhile. The
    // worker then owns the echo, its buffer and its handle, since a wait that is ended leaves
    // it running.
    struct Echo {
        HANDLE handle = IcmpCreateFile();
        ReplyBuffer buffer;
        std::optional<platform::EchoInFlight> flight;
        std::uint32_t Finish() {
            const std::uint32_t replies = flight->Finish();
            IcmpCloseHandle(handle);
            return replies;
        }
    };
    auto echo = std::make_shared<Echo>();
    echo->buffer = ToBuffer(reply);
    echo->flight.emplace(echo->handle, static_cast<std::uint32_t>(destination), kEchoRequest,
                         kEchoRequestSize, nullptr, echo->buffer.data(), echo->buffer.size(),
                         kEchoTimeoutMs);
    const std::optional<std::uint32_t> replies =
        echo->flight->Over() ? echo->Finish()
                             : platform::RunBlocking([echo] { return echo->Finish(); });
    // An echo whose wait was ended is still the worker's: its failure is written apart.
    ReplyBuffer buffer = replies ? echo->buffer : ToBuffer(reply);
    if (!replies) {
        platform::EchoOutcome ended;
        ended.status = IP_GENERAL_FAILURE;
        platform::WriteReplyBuffer(buffer, ended, 0);
    }
    FromBuffer(buffer, reply);
    // Negated without overflow, whatever the status holds.
    return replies && *replies != 0
               ? reply.RoundTripTime
               : static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(reply.Status));
}

QString EchoStatusText(std::int32_t status) {
    const auto found = std::ranges::lower_bound(kStatusTexts, status, {}, &StatusText::status);
    const char* text =
        found != std::end(kStatusTexts) && found->status == status ? found->text : kUnknownStatus;
    return QString::number(status) + QStringLiteral("   [ ") + QLatin1String(text) +
           QStringLiteral(" ]");
}

QString PingReport(const QString& address, const EchoReply& reply) {
    const QString crlf = QStringLiteral("\r\n");
    return address + crlf + EchoStatusText(reply.Status) + crlf +
           QString::number(reply.RoundTripTime) + QStringLiteral(" ms  Round Trip Time") + crlf +
           QString::number(reply.DataSize) + QStringLiteral(" bytes  Data") + crlf + crlf;
}

}  // namespace Module1

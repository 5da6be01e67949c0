// The ping services: the dotted-address parser, the status texts, and SendEcho on the real
// echo service (to 127.0.0.1) and on a silent one.

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ping/module1.h"
#include "platform/icmp.h"
#include "silent_echo_service.h"

namespace {

using Module1::DottedToAddress;
using Module1::EchoReply;
using Module1::EchoStatusText;
using Module1::SendEcho;

constexpr std::int32_t kLoopback = 16777343;  // 127.0.0.1

std::uint32_t ReadLittleEndian32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    return value;
}

TEST(DottedToAddress, PutsTheFirstNumberIntoTheLowestByte) {
    EXPECT_EQ(DottedToAddress(QStringLiteral("192.168.1.10")), 167880896);
    EXPECT_EQ(DottedToAddress(QStringLiteral("127.0.0.1")), kLoopback);
    EXPECT_EQ(DottedToAddress(QStringLiteral("10.0.0.200")), -939524086);
    EXPECT_EQ(DottedToAddress(QStringLiteral("255.255.255.255")), -1);
    EXPECT_EQ(DottedToAddress(QStringLiteral("0.0.0.0")), 0);

    const std::int32_t address = DottedToAddress(QStringLiteral("192.168.1.10"));
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);
    EXPECT_EQ(bytes[0], 0xC0);
    EXPECT_EQ(bytes[1], 0xA8);
    EXPECT_EQ(bytes[2], 0x01);
    EXPECT_EQ(bytes[3], 0x0A);
}

TEST(DottedToAddress, KeepsTheLowest8BitsOfEachNumber) {
    const std::int32_t plain = DottedToAddress(QStringLiteral("1.2.3.44"));
    EXPECT_EQ(DottedToAddress(QStringLiteral("1.2.3.300")), plain);
    EXPECT_EQ(DottedToAddress(QStringLiteral("1.2.3.556")), plain);
    EXPECT_EQ(DottedToAddress(QStringLiteral("1.2.3.256")),
              DottedToAddress(QStringLiteral("1.2.3.0")));
    EXPECT_EQ(DottedToAddress(QStringLiteral("1.2.3.-1")),
              DottedToAddress(QStringLiteral("1.2.3.255")));
    EXPECT_EQ(DottedToAddress(QStringLiteral("383.0.0.1")), kLoopback);
    EXPECT_EQ(DottedToAddress(QStringLiteral("-129.0.0.1")), kLoopback);
    EXPECT_EQ(DottedToAddress(QStringLiteral("-256.0.0.1")), 16777216);
    // Far beyond 32 bits, still only the lowest 8 bits count.
    EXPECT_EQ(DottedToAddress(QStringLiteral("127.0.0.100000000000000000001")), kLoopback);
    EXPECT_EQ(DottedToAddress(QStringLiteral("007.0.0.01")),
              DottedToAddress(QStringLiteral("7.0.0.1")));
    EXPECT_EQ(DottedToAddress(QStringLiteral(" 127 .+0. 0.1 ")), kLoopback);
}

TEST(DottedToAddress, AnswersZeroForAnythingButFourNumbers) {
    for (const char* text : {"", "localhost", "1", "1.2", "1.2.3", "1.2.3.", "1.2.3.4.5", "1..2.3",
                             ".1.2.3", "1.2.3.x", "1.2.3.-", "1.2.3.+", "1.2.3. ", "1.2.3.4x",
                             "1.2.3.0x4", "1.2.3.4e1", "1.2.3.- 4", "1.2.3.٣"}) {
        EXPECT_EQ(DottedToAddress(QString::fromUtf8(text)), 0) << text;
    }
}

TEST(EchoStatusText, WritesTheCodeAndItsTextInBrackets) {
    EXPECT_EQ(EchoStatusText(0), QStringLiteral("0   [ ip success ]"));
    EXPECT_EQ(EchoStatusText(200), QStringLiteral("200   [ ping timeout ]"));
    EXPECT_EQ(EchoStatusText(11010), QStringLiteral("11010   [ ip req timed out ]"));
    EXPECT_EQ(EchoStatusText(11015), QStringLiteral("11015   [ ip param_problem ]"));
    EXPECT_EQ(EchoStatusText(11255), QStringLiteral("11255   [ ip pending ]"));
}

TEST(EchoStatusText, HasATextForEachOfTheServiceCodesAndNoOthers) {
    int known = 0;
    for (std::int32_t code = -2; code <= 11300; ++code) {
        const QString line = EchoStatusText(code);
        const QString prefix = QString::number(code) + QStringLiteral("   [ ");
        ASSERT_TRUE(line.startsWith(prefix) && line.endsWith(QStringLiteral(" ]"))) << code;
        if (!line.contains(QStringLiteral("unknown  msg returned"))) {
            ++known;
            EXPECT_TRUE(code == 0 || code == 200 || (code > 11000 && code <= 11023) ||
                        code == 11050 || code == 11255)
                << code;
        }
    }
    EXPECT_EQ(known, 27);
    EXPECT_EQ(EchoStatusText(11000), QStringLiteral("11000   [ unknown  msg returned ]"));
    EXPECT_EQ(EchoStatusText(-1), QStringLiteral("-1   [ unknown  msg returned ]"));
    EXPECT_EQ(EchoStatusText(INT32_MIN), QStringLiteral("-2147483648   [ unknown  msg returned ]"));
}

TEST(SendEcho, EchoesTheRequestFromTheLoopbackAddress) {
    EchoReply reply;
    const QString address = QStringLiteral("127.0.0.1");
    const std::int32_t result = SendEcho(address, reply);
    EXPECT_EQ(reply.Status, 0);
    EXPECT_EQ(result, reply.RoundTripTime);
    EXPECT_GE(reply.RoundTripTime, 0);
    EXPECT_EQ(reply.Address, kLoopback);
    EXPECT_EQ(reply.DataSize, 9);
    EXPECT_EQ(std::u16string(reply.Data, 9), u"Echo This");
    EXPECT_EQ(reply.Data[9], u'\0');
    EXPECT_GT(reply.Ttl, 0);
    EXPECT_EQ(address, QStringLiteral("127.0.0.1"));
}

TEST(SendEcho, RefusesToEchoToTheAddressOfTooShortText) {
    // "localhost" has too few parts and stands for 0.0.0.0, which is never pinged.
    EchoReply reply;
    reply.RoundTripTime = 7;
    reply.DataSize = 9;
    EXPECT_EQ(SendEcho(QStringLiteral("localhost"), reply), -11018);
    EXPECT_EQ(reply.Status, 11018);
    EXPECT_EQ(reply.RoundTripTime, 0);
    EXPECT_EQ(reply.DataSize, 0);
}

TEST(SendEcho, AsksTheServiceForOneRequestWithTheRecordAsReplyBuffer) {
    EchoReply reply;
    reply.Address = 0x01020304;
    reply.Status = -5;
    reply.RoundTripTime = 12;
    reply.DataSize = -2;
    reply.Reserved = 0x0605;
    reply.DataPointer = 0x0A090807;
    reply.Ttl = 0x0B;
    reply.Tos = 0x0C;
    reply.Flags = 0x0D;
    reply.OptionsSize = 0x0E;
    reply.OptionsData = static_cast<std::int32_t>(0x87654321u);
    reply.Data[0] = u'A';
    reply.Data[249] = u'\u00e9';
    reply.Data[248] = u'\u20ac';  // no single byte for it

    SilentEchoService service;
    SendEcho(QStringLiteral("10.0.0.200"), reply);

    ASSERT_EQ(service.requests.size(), 1u);
    const auto& request = service.requests[0];
    EXPECT_EQ(request.handle, SilentEchoService::kHandle);
    EXPECT_EQ(request.destination, static_cast<std::uint32_t>(-939524086));
    EXPECT_EQ(std::string(request.data.begin(), request.data.end()), "Echo This");
    EXPECT_EQ(request.options, nullptr);
    EXPECT_EQ(request.timeoutMs, 200u);
    ASSERT_EQ(request.replyBuffer.size(), 278u);
    const auto& buffer = request.replyBuffer;
    EXPECT_EQ(ReadLittleEndian32(buffer, 0), 0x01020304u);
    EXPECT_EQ(ReadLittleEndian32(buffer, 4), static_cast<std::uint32_t>(-5));
    EXPECT_EQ(ReadLittleEndian32(buffer, 8), 12u);
    EXPECT_EQ(ReadLittleEndian32(buffer, 12), 0x0605FFFEu);
    EXPECT_EQ(ReadLittleEndian32(buffer, 16), 0x0A090807u);
    EXPECT_EQ(ReadLittleEndian32(buffer, 20), 0x0E0D0C0Bu);
    EXPECT_EQ(ReadLittleEndian32(buffer, 24), 0x87654321u);
    EXPECT_EQ(buffer[28], 'A');
    EXPECT_EQ(buffer[29], 0);
    EXPECT_EQ(buffer[276], '?');
    EXPECT_EQ(buffer[277], 0xE9);
    EXPECT_EQ(service.created, 1);
    EXPECT_EQ(service.closed, std::vector<HANDLE>{SilentEchoService::kHandle});
}

TEST(SendEcho, KeepsTheEarlierEchoWhenTheServiceWritesNothing) {
    EchoReply reply;
    ASSERT_EQ(SendEcho(QStringLiteral("127.0.0.1"), reply), reply.RoundTripTime);
    ASSERT_EQ(reply.Status, 0);
    const EchoReply first = reply;

    reply.Status = 11010;  // as if the service had left a status there earlier
    SilentEchoService service;
    EXPECT_EQ(SendEcho(QStringLiteral("127.0.0.1"), reply), -11010);
    EXPECT_EQ(reply.Status, 11010);
    EXPECT_EQ(reply.RoundTripTime, first.RoundTripTime);
    EXPECT_EQ(reply.DataSize, 9);
    EXPECT_EQ(reply.Address, kLoopback);
    EXPECT_EQ(std::u16string(reply.Data, 9), u"Echo This");
    EXPECT_EQ(std::memcmp(reply.Data, first.Data, sizeof reply.Data), 0);

    // A status that cannot be negated in 32 bits does not overflow.
    reply.Status = INT32_MIN;
    EXPECT_EQ(SendEcho(QStringLiteral("127.0.0.1"), reply), INT32_MIN);
}

}  // namespace

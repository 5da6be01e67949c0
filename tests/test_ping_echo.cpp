// The echo service and SendEcho on real echoes to 127.0.0.0/8, and on a silent echo service.

#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include <gtest/gtest.h>

#include "echo_packets.h"
#include "ping/module1.h"
#include "silent_echo_service.h"

namespace {

// One echo on a handle of its own.
SentEcho EchoTo(std::uint32_t to, const Bytes& payload = Text("Echo This"),
                std::size_t size = 278) {
    const HANDLE handle = IcmpCreateFile();
    const SentEcho echo = SendEchoOn(handle, to, payload, size);
    EXPECT_TRUE(IcmpCloseHandle(handle));
    return echo;
}

TEST(IcmpSendEcho, FillsTheReplyBufferWithTheLoopbackReply) {
    const SentEcho echo = EchoTo(Address(127, 9, 8, 7));
    ASSERT_EQ(echo.replies, 1u);
    const auto fixed = echo.fixed();
    EXPECT_EQ(std::tuple(fixed.Address, fixed.Status, fixed.DataPointer),
              std::tuple(static_cast<int>(Address(127, 9, 8, 7)), IP_SUCCESS, 28));
    EXPECT_LT(fixed.RoundTripTime, 200);
    EXPECT_GT(fixed.Ttl, 0);
    EXPECT_EQ(echo.data(), Text("Echo This"));
    EXPECT_EQ(echo.buffer[37], 0xAA) << "nothing is written behind the echoed data";
    Bytes large(1400);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = Byte(i * 7);
    }
    EXPECT_EQ(EchoTo(Address(127, 0, 0, 1), large, 28 + large.size() + 8).data(), large);
}

TEST(IcmpSendEcho, SendsNothingToNoSingleHostOrWithoutRoomToReport) {
    for (const std::uint32_t to : {Address(0, 0, 0, 0), Address(255, 255, 255, 255),
                                   Address(224, 0, 0, 1), Address(239, 255, 255, 250)}) {
        const SentEcho echo = EchoTo(to);
        EXPECT_EQ(std::tuple(echo.replies, echo.fixed().Status, echo.fixed().Address),
                  std::tuple(0u, IP_BAD_DESTINATION, 0));
    }
    EXPECT_EQ(EchoTo(Address(127, 0, 0, 1), Text("Echo This"), 28 + 9 + 7).fixed().Status,
              IP_BUF_TOO_SMALL);
    EXPECT_EQ(EchoTo(Address(127, 0, 0, 1), Text("Echo This"), 27).buffer, Bytes(27, 0xAA));
}

TEST(IcmpCloseHandle, AHandleThatIsNotOpenTouchesNothing) {
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(probe);
    const HANDLE handle = IcmpCreateFile();
    ASSERT_TRUE(IcmpCloseHandle(handle));
    const int file = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(file, probe) << "the file takes the handle's descriptor number";
    for (const HANDLE closed : {handle, INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        EXPECT_FALSE(IcmpCloseHandle(closed));
        EXPECT_EQ(SendEchoOn(closed, Address(127, 0, 0, 1), Text("x")).fixed().Status,
                  IP_GENERAL_FAILURE);
    }
    EXPECT_NE(::fcntl(file, F_GETFD), -1) << "the file is still open";
    ::close(file);
}

TEST(SendEcho, CopiesTheRecordToTheServiceAndBackKeepingWhatItDoesNotWrite) {
    Module1::EchoReply reply;
    const QString address = QStringLiteral("127.0.0.1");
    EXPECT_EQ(Module1::SendEcho(address, reply), reply.RoundTripTime);
    EXPECT_EQ(std::tuple(reply.Status, reply.Address, reply.DataSize),
              std::tuple(0, static_cast<int>(Address(127, 0, 0, 1)), 9));
    EXPECT_EQ(std::u16string(reply.Data, 10), std::u16string(u"Echo This\0", 10));
    EXPECT_EQ(address, QStringLiteral("127.0.0.1"));

    const Module1::EchoReply first = reply;
    reply.Status = -5;
    reply.Data[248] = u'\u20ac';  // no single byte for it
    reply.Data[249] = u'\u00e9';
    SilentEchoService service;
    EXPECT_EQ(Module1::SendEcho(QStringLiteral("10.0.0.200"), reply), 5);
    ASSERT_EQ(service.requests.size(), 1u);
    const auto& request = service.requests[0];
    EXPECT_EQ(std::tuple(request.handle, request.destination, request.options, request.timeoutMs),
              std::tuple(SilentEchoService::kHandle, Address(10, 0, 0, 200), nullptr, 200u));
    EXPECT_EQ(request.data, Text("Echo This"));
    EXPECT_EQ(request.replyBuffer.size(), 278u);
    EXPECT_EQ(Bytes(request.replyBuffer.begin() + 4, request.replyBuffer.begin() + 8),
              (Bytes{0xFB, 0xFF, 0xFF, 0xFF}));
    Bytes area = Text("Echo This");  // the data area, one byte a character
    area.resize(250);
    area[248] = '?';
    area[249] = 0xE9;
    EXPECT_EQ(Bytes(request.replyBuffer.begin() + 28, request.replyBuffer.end()), area);
    EXPECT_EQ(service.closed, std::vector{SilentEchoService::kHandle});
    // Nothing written: the record still holds the first echo.
    EXPECT_EQ(std::tuple(reply.RoundTripTime, reply.DataSize, reply.Address),
              std::tuple(first.RoundTripTime, first.DataSize, first.Address));
    reply.Status = INT_MIN;  // negated without overflow
    EXPECT_EQ(Module1::SendEcho(address, reply), INT_MIN);
}

}  // namespace

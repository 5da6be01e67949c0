// The ICMP echo service: its packet checks on byte fixtures, and real echoes to 127.0.0.0/8.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/icmp.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kLoopback = 0x0100007F;  // 127.0.0.1

std::uint32_t Address(int b1, int b2, int b3, int b4) {
    return static_cast<std::uint32_t>(b1 | b2 << 8 | b3 << 16 | b4 << 24);
}

Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}

std::uint32_t Read32(const Bytes& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    return value;
}

std::uint16_t Read16(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// An ICMP message with a correct checksum.
Bytes Icmp(std::uint8_t type, std::uint8_t code, std::uint16_t identifier, std::uint16_t sequence,
           const Bytes& body) {
    Bytes message = {type,
                     code,
                     0,
                     0,
                     static_cast<std::uint8_t>(identifier >> 8),
                     static_cast<std::uint8_t>(identifier),
                     static_cast<std::uint8_t>(sequence >> 8),
                     static_cast<std::uint8_t>(sequence)};
    message.insert(message.end(), body.begin(), body.end());
    const std::uint16_t checksum = platform::InternetChecksum(message);
    message[2] = static_cast<std::uint8_t>(checksum >> 8);
    message[3] = static_cast<std::uint8_t>(checksum);
    return message;
}

// An IPv4 packet around `payload`, with `optionWords` words of (no-operation) options.
Bytes Ip(std::uint32_t source, std::uint32_t destination, const Bytes& payload,
         std::uint8_t ttl = 64, int optionWords = 0) {
    const std::size_t headerSize = 20 + 4 * optionWords;
    Bytes packet(headerSize, 0);
    packet[0] = static_cast<std::uint8_t>(0x40 | headerSize / 4);
    packet[1] = 0x10;
    packet[2] = static_cast<std::uint8_t>((headerSize + payload.size()) >> 8);
    packet[3] = static_cast<std::uint8_t>(headerSize + payload.size());
    packet[6] = 0x40;  // don't fragment
    packet[8] = ttl;
    packet[9] = 1;
    std::memcpy(&packet[12], &source, 4);  // little-endian host: bytes in network order
    std::memcpy(&packet[16], &destination, 4);
    std::fill(packet.begin() + 20, packet.end(), 1);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

class RawPacket : public ::testing::Test {
protected:
    const Bytes payload = Text("Echo This");
    const std::uint32_t target = Address(10, 77, 1, 2);
    const std::uint32_t router = Address(10, 77, 9, 1);
    platform::PendingEcho echo{target, 0x4242, 7, payload};

    Bytes Reply(std::uint16_t identifier = 0x4242, std::uint16_t sequence = 7) const {
        return Ip(target, Address(10, 77, 1, 1), Icmp(0, 0, identifier, sequence, payload), 63);
    }
    // An ICMP error from the router quoting an echo request.
    Bytes Error(std::uint8_t type, std::uint8_t code, std::uint32_t quotedDestination,
                std::uint16_t identifier = 0x4242, std::uint16_t sequence = 7) const {
        Bytes request = Icmp(8, 0, identifier, sequence, payload);
        request.resize(8);
        return Ip(router, Address(10, 77, 1, 1),
                  Icmp(type, code, 0, 0, Ip(Address(10, 77, 1, 1), quotedDestination, request)));
    }
};

TEST(InternetChecksum, MatchesKnownSums) {
    // The example of RFC 1071: the sum of 0001 f203 f4f5 f6f7 is ddf2.
    EXPECT_EQ(platform::InternetChecksum(Bytes{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}),
              0x220D);
    // An odd last byte counts as the high byte of a word.
    EXPECT_EQ(platform::InternetChecksum(Bytes{0x00, 0x01, 0xF2}),
              static_cast<std::uint16_t>(~0xF201));
    EXPECT_EQ(platform::InternetChecksum(Bytes{}), 0xFFFF);
    // Carries fold back in.
    EXPECT_EQ(platform::InternetChecksum(Bytes{0xFF, 0xFF, 0x00, 0x02}),
              static_cast<std::uint16_t>(~0x0002));
    // A message that carries its checksum sums to zero.
    EXPECT_EQ(platform::InternetChecksum(Icmp(8, 0, 1, 2, Text("Echo This"))), 0);
}

TEST_F(RawPacket, TakesTheReplyWithOurIdentifierSequenceAndPayload) {
    const Bytes packet = Reply();
    const auto outcome = platform::MatchRawPacket(packet, echo);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->status, IP_SUCCESS);
    EXPECT_EQ(outcome->source, target);
    EXPECT_EQ(outcome->ttl, 63);
    EXPECT_EQ(outcome->tos, 0x10);
    EXPECT_EQ(outcome->flags, 2);  // don't fragment
    EXPECT_EQ(Bytes(outcome->data.begin(), outcome->data.end()), payload);

    // IP options do not hide the reply.
    const Bytes withOptions =
        Ip(target, Address(10, 77, 1, 1), Icmp(0, 0, 0x4242, 7, payload), 64, 3);
    EXPECT_TRUE(platform::MatchRawPacket(withOptions, echo).has_value());
}

TEST_F(RawPacket, IgnoresEverythingElse) {
    EXPECT_FALSE(platform::MatchRawPacket(Reply(0x4243), echo));
    EXPECT_FALSE(platform::MatchRawPacket(Reply(0x4242, 6), echo));
    EXPECT_FALSE(
        platform::MatchRawPacket(Ip(target, 0, Icmp(0, 0, 0x4242, 7, Text("Echo That"))), echo));
    EXPECT_FALSE(
        platform::MatchRawPacket(Ip(target, 0, Icmp(0, 0, 0x4242, 7, Text("Echo Thi"))), echo));
    EXPECT_FALSE(
        platform::MatchRawPacket(Ip(target, 0, Icmp(0, 0, 0x4242, 7, Text("Echo This!"))), echo));
    // Our own request, seen on the way out through the loopback interface.
    EXPECT_FALSE(platform::MatchRawPacket(Ip(0, target, Icmp(8, 0, 0x4242, 7, payload)), echo));

    Bytes corrupt = Reply();
    corrupt.back() ^= 0x20;
    EXPECT_FALSE(platform::MatchRawPacket(corrupt, echo));

    Bytes notIcmp = Reply();
    notIcmp[9] = 17;
    EXPECT_FALSE(platform::MatchRawPacket(notIcmp, echo));

    // No prefix of a reply is taken for it, and no prefix of anything is read beyond.
    const Bytes whole = Reply();
    const Bytes error = Error(3, 1, target);
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_FALSE(platform::MatchRawPacket(std::span(whole.data(), size), echo)) << size;
    }
    for (std::size_t size = 0; size < error.size(); ++size) {
        platform::MatchRawPacket(std::span(error.data(), size), echo);
    }
}

TEST_F(RawPacket, TakesAnErrorAboutOurRequestFromTheRouterThatSentIt) {
    const auto unreachable = platform::MatchRawPacket(Error(3, 1, target), echo);
    ASSERT_TRUE(unreachable.has_value());
    EXPECT_EQ(unreachable->status, IP_DEST_HOST_UNREACHABLE);
    EXPECT_EQ(unreachable->source, router);
    EXPECT_TRUE(unreachable->data.empty());

    EXPECT_EQ(platform::MatchRawPacket(Error(3, 0, target), echo)->status, IP_DEST_NET_UNREACHABLE);
    EXPECT_EQ(platform::MatchRawPacket(Error(11, 0, target), echo)->status, IP_TTL_EXPIRED_TRANSIT);
    EXPECT_EQ(platform::MatchRawPacket(Error(11, 1, target), echo)->status, IP_TTL_EXPIRED_REASSEM);
    EXPECT_EQ(platform::MatchRawPacket(Error(12, 0, target), echo)->status, IP_PARAM_PROBLEM);

    // Errors about other packets, and redirects, are not the end of our echo.
    EXPECT_FALSE(platform::MatchRawPacket(Error(3, 1, Address(10, 77, 1, 3)), echo));
    EXPECT_FALSE(platform::MatchRawPacket(Error(3, 1, target, 0x4243), echo));
    EXPECT_FALSE(platform::MatchRawPacket(Error(3, 1, target, 0x4242, 8), echo));
    EXPECT_FALSE(platform::MatchRawPacket(Error(5, 1, target), echo));
    EXPECT_FALSE(platform::MatchRawPacket(Error(3, 16, target), echo));
}

TEST_F(RawPacket, DatagramRepliesAreMatchedBySequenceAndPayload) {
    // The kernel has put the socket's own number into the identifier.
    const Bytes reply = Icmp(0, 0, 0x9999, 7, payload);
    const auto outcome = platform::MatchDatagramReply(reply, target, echo);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->source, target);
    EXPECT_EQ(Bytes(outcome->data.begin(), outcome->data.end()), payload);

    EXPECT_FALSE(platform::MatchDatagramReply(Icmp(0, 0, 0x9999, 8, payload), target, echo));
    EXPECT_FALSE(
        platform::MatchDatagramReply(Icmp(0, 0, 0x9999, 7, Text("echo this")), target, echo));
    EXPECT_FALSE(platform::MatchDatagramReply(Icmp(8, 0, 0x9999, 7, payload), target, echo));
    EXPECT_FALSE(platform::MatchDatagramReply(std::span(reply.data(), 7), target, echo));
}

// One echo on a handle of its own, into a reply buffer filled with 0xAA.
struct Echo {
    std::uint32_t replies = 0;
    Bytes buffer;
};

Echo EchoTo(std::uint32_t destination, const Bytes& payload, std::size_t bufferSize = 278) {
    Echo echo;
    echo.buffer.assign(bufferSize, 0xAA);
    const HANDLE handle = IcmpCreateFile();
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    echo.replies = IcmpSendEcho(handle, destination, payload.data(),
                                static_cast<std::uint16_t>(payload.size()), nullptr,
                                echo.buffer.data(), static_cast<std::uint32_t>(bufferSize), 200);
    EXPECT_TRUE(IcmpCloseHandle(handle));
    return echo;
}

TEST(IcmpSendEcho, FillsTheReplyBufferWithTheLoopbackReply) {
    for (const std::uint32_t destination :
         {kLoopback, Address(127, 0, 0, 2), Address(127, 9, 8, 7)}) {
        const Echo echo = EchoTo(destination, Text("Echo This"));
        ASSERT_EQ(echo.replies, 1u);
        const Bytes& b = echo.buffer;
        EXPECT_EQ(Read32(b, 0), destination);
        EXPECT_EQ(Read32(b, 4), 0u);
        EXPECT_LT(Read32(b, 8), 200u);
        EXPECT_EQ(Read16(b, 12), 9);
        EXPECT_EQ(Read16(b, 14), 0);
        EXPECT_EQ(Read32(b, 16), 28u);  // the data stands right behind the fixed part
        EXPECT_GT(b[20], 0);            // time to live
        EXPECT_EQ(b[23], 0);            // no options
        EXPECT_EQ(Read32(b, 24), 0u);
        EXPECT_EQ(Bytes(b.begin() + 28, b.begin() + 37), Text("Echo This"));
        EXPECT_EQ(b[37], 0xAA) << "nothing is written behind the echoed data";
    }
}

TEST(IcmpSendEcho, EchoesLargeRequestsWhole) {
    Bytes payload(1400);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(i * 7);
    }
    const Echo echo = EchoTo(kLoopback, payload, 28 + payload.size() + 8);
    ASSERT_EQ(echo.replies, 1u);
    EXPECT_EQ(Read16(echo.buffer, 12), payload.size());
    EXPECT_EQ(Bytes(echo.buffer.begin() + 28, echo.buffer.begin() + 28 + payload.size()), payload);
}

TEST(IcmpSendEcho, RefusesAddressesThatAreNoSingleHost) {
    // Linux would answer 0.0.0.0 from the local host; broadcasts and multicasts reach
    // many hosts or none. Each is refused before anything is sent.
    for (const std::uint32_t destination : {Address(0, 0, 0, 0), Address(255, 255, 255, 255),
                                            Address(224, 0, 0, 1), Address(239, 255, 255, 250)}) {
        const Echo echo = EchoTo(destination, Text("Echo This"));
        EXPECT_EQ(echo.replies, 0u);
        EXPECT_EQ(Read32(echo.buffer, 4), static_cast<std::uint32_t>(IP_BAD_DESTINATION));
        EXPECT_EQ(Read32(echo.buffer, 0), 0u);
        EXPECT_EQ(Read32(echo.buffer, 8), 0u);
        EXPECT_EQ(Read16(echo.buffer, 12), 0);
    }
}

TEST(IcmpSendEcho, ReportsWhatItCannotDo) {
    const Bytes payload = Text("Echo This");
    // Too small for the fixed part, the request and an error header: a status, no echo.
    Echo echo = EchoTo(kLoopback, payload, 28 + 9 + 7);
    EXPECT_EQ(echo.replies, 0u);
    EXPECT_EQ(Read32(echo.buffer, 4), static_cast<std::uint32_t>(IP_BUF_TOO_SMALL));
    EXPECT_EQ(Read16(echo.buffer, 12), 0);

    // Too small for even the fixed part: nothing is written.
    echo = EchoTo(kLoopback, payload, 27);
    EXPECT_EQ(echo.replies, 0u);
    EXPECT_EQ(echo.buffer, Bytes(27, 0xAA));

    // A handle that is not open.
    Bytes buffer(278, 0xAA);
    for (const HANDLE handle : {INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        EXPECT_EQ(
            IcmpSendEcho(handle, kLoopback, payload.data(), 9, nullptr, buffer.data(), 278, 200),
            0u);
        EXPECT_EQ(Read32(buffer, 4), static_cast<std::uint32_t>(IP_GENERAL_FAILURE));
        EXPECT_FALSE(IcmpCloseHandle(handle));
    }
}

TEST(IcmpCloseHandle, AClosedHandleTouchesNothing) {
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(probe);
    const HANDLE handle = IcmpCreateFile();
    ASSERT_TRUE(IcmpCloseHandle(handle));
    const int file = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(file, probe) << "the file takes the handle's descriptor number";
    EXPECT_FALSE(IcmpCloseHandle(handle));
    EXPECT_NE(::fcntl(file, F_GETFD), -1) << "the file is still open";
    ::close(file);
}

TEST(IcmpSendEcho, RepliesNeverLandInAnotherEchosBuffer) {
    // Echoes from several threads at once: a raw socket sees every thread's replies, and
    // each must keep only its own.
    constexpr int kThreads = 4;
    constexpr int kEchoes = 50;
    std::array<int, kThreads> matched{};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &matched] {
            const Bytes payload = Text("Echo from thread " + std::to_string(t));
            const HANDLE handle = IcmpCreateFile();
            for (int i = 0; i < kEchoes; ++i) {
                Bytes buffer(278, 0);
                if (IcmpSendEcho(handle, Address(127, 0, 0, 1 + t), payload.data(),
                                 static_cast<std::uint16_t>(payload.size()), nullptr, buffer.data(),
                                 278, 200) == 1 &&
                    Read32(buffer, 0) == Address(127, 0, 0, 1 + t) &&
                    Bytes(buffer.begin() + 28, buffer.begin() + 28 + Read16(buffer, 12)) ==
                        payload) {
                    ++matched[t];
                }
            }
            IcmpCloseHandle(handle);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(matched[t], kEchoes) << "thread " << t;
    }
}

}  // namespace

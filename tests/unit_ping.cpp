// Ping logic without a window: the parsers, the status texts, the report, the reply record's
// layout, and the echo packets on byte fixtures.

#include <climits>

#include <gtest/gtest.h>

#include "echo_packets.h"
#include "ping/module1.h"
#include "qt_printers.h"

namespace {

TEST(DottedToAddress, ReadsFourNumbersKeepingEightBitsOfEachAndGivesZeroForOtherText) {
    const auto dotted = [](const char* text) {
        return Module1::DottedToAddress(QString::fromUtf8(text));
    };
    EXPECT_EQ(dotted("192.168.1.10"), 167880896);
    EXPECT_EQ(dotted("10.0.0.200"), -939524086);
    EXPECT_EQ(dotted("300.-1.0.100000000000000000001"), dotted("44.255.0.1"));
    EXPECT_EQ(dotted(" 127 .+0. 007.1 "), dotted("127.0.7.1"));
    for (const char* text : {"", "localhost", "1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.", "1.2.3.x",
                             "1.2.3.-", "1.2.3.4e1", "1.2.3.٣"}) {
        EXPECT_EQ(dotted(text), 0) << text;
    }
}

TEST(OctetValue, RoundsHalvesToEvenAndRefusesWhatIsNoNumber) {
    const auto octet = [](const char* text) {
        return Module1::OctetValue(QString::fromUtf8(text)).value_or(INT16_MIN);
    };
    EXPECT_EQ(octet("007"), 7);
    EXPECT_EQ(octet(" +2.5 "), 2);
    EXPECT_EQ(octet("3.5"), 4);
    EXPECT_EQ(octet("-.5"), 0);
    EXPECT_EQ(octet("-32768"), -32768);
    for (const char* text : {"", " ", "ab", "-", ".", "1..", "1e2", "--1", "32768"}) {
        EXPECT_EQ(octet(text), INT16_MIN) << text;
    }
}

TEST(EchoStatusText, NamesTheServiceCodesAndCallsEveryOtherCodeUnknown) {
    const auto text = [](int code) { return Module1::EchoStatusText(code).toStdString(); };
    EXPECT_EQ(text(0), "0   [ ip success ]");
    EXPECT_EQ(text(200), "200   [ ping timeout ]");
    EXPECT_EQ(text(11001), "11001   [ ip buf too_small ]");
    EXPECT_EQ(text(11002), "11002   [ ip dest net unreachable ]");
    EXPECT_EQ(text(11023), "11023   [ ip addr added ]");
    EXPECT_EQ(text(11050), "11050   [ ip general failure ]");
    EXPECT_EQ(text(11255), "11255   [ ip pending ]");
    for (const int code : {1, 199, 201, 11000, 11024, 11049, 11051, 11254, 11256, -1, INT_MIN}) {
        EXPECT_EQ(text(code), std::to_string(code) + "   [ unknown  msg returned ]");
    }
}

TEST(PingReport, IsFourLinesAndAnEmptyOneEachEndedByCrLf) {
    Module1::EchoReply reply;
    reply.Status = 11010;
    reply.RoundTripTime = -3;
    reply.DataSize = -1;
    EXPECT_EQ(Module1::PingReport(QStringLiteral("300.0.0.1"), reply),
              QStringLiteral("300.0.0.1\r\n11010   [ ip req timed out ]\r\n"
                             "-3 ms  Round Trip Time\r\n-1 bytes  Data\r\n\r\n"));
}

TEST(EchoReplyLayout, FixedPartIsLittleEndianInFieldOrderWithoutGaps) {
    const platform::EchoReplyFixedPart part{0x04030201, -2,   0x0C0B0A09, -3,   0x1211, 0x16151413,
                                            0x17,       0x18, 0x19,       0x1A, INT_MIN};
    Bytes bytes(28);
    platform::WriteFixedPart(part, bytes.data());
    EXPECT_EQ(bytes, (Bytes{1,    2,    3,    4,    0xFE, 0xFF, 0xFF, 0xFF, 9,    10,
                            11,   12,   0xFD, 0xFF, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16,
                            0x17, 0x18, 0x19, 0x1A, 0,    0,    0,    0x80}));
    EXPECT_EQ(platform::ReadFixedPart(bytes.data()).DataSize, -3);
    EXPECT_EQ(platform::ReadFixedPart(bytes.data()).OptionsData, INT_MIN);
}

TEST(InternetChecksum, MatchesKnownSumsAndSealsTheRequest) {
    // The example of RFC 1071: the sum of 0001 f203 f4f5 f6f7 is ddf2.
    EXPECT_EQ(platform::InternetChecksum(Bytes{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}),
              0x220D);
    EXPECT_EQ(platform::InternetChecksum(Bytes{0x00, 0x01, 0xF2}), 0x0DFE);  // odd byte is high
    EXPECT_EQ(platform::InternetChecksum(Bytes{0xFF, 0xFF, 0x00, 0x02}), 0xFFFD);  // carry
    EXPECT_EQ(platform::EchoRequest(0x1234, 0x0506, Text("Echo This")),
              Echo(8, 0x1234, 0x0506, Text("Echo This")));
}

// An echo from 10.77.1.1 to 10.77.1.2 (identifier 0x4242, sequence 7), and the packets a raw
// socket could see while it waits. Status -1 stands for "not ours".
class EchoPackets : public ::testing::Test {
protected:
    const Bytes payload = Text("Echo This");
    const std::uint32_t self = Address(10, 77, 1, 1), target = Address(10, 77, 1, 2);
    const std::uint32_t router = Address(10, 77, 9, 1);
    const platform::PendingEcho echo{target, 0x4242, 7, payload};

    Bytes Reply(int id = 0x4242, int sequence = 7, const char* data = "Echo This", int from = 2) {
        return Ip(Address(10, 77, 1, from), self, Echo(0, id, sequence, Text(data)), 63);
    }
    Bytes Error(int type, int code, int to = 2, int id = 0x4242, int sequence = 7) {
        const Bytes request = Ip(self, Address(10, 77, 1, to), Echo(8, id, sequence, payload));
        return Ip(router, self, ErrorAbout(type, code, request));
    }
    std::int32_t StatusOf(const Bytes& packet) {
        const auto outcome = platform::MatchRawPacket(packet, echo);
        return outcome ? outcome->status : -1;
    }
};

TEST_F(EchoPackets, RawSocketsTakeOnlyTheReplyFromTheDestination) {
    const Bytes packet = Reply();
    const auto reply = platform::MatchRawPacket(packet, echo);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(std::tuple(reply->status, reply->source, reply->ttl, reply->tos, reply->flags),
              std::tuple(IP_SUCCESS, target, 63, 0x10, 2));
    EXPECT_EQ(Bytes(reply->data.begin(), reply->data.end()), payload);
    EXPECT_EQ(StatusOf(Ip(target, self, Echo(0, 0x4242, 7, payload), 64, 3)), 0) << "IP options";
    Bytes corrupt = Reply(), udp = Reply();
    corrupt.back() ^= 0x20;
    udp[9] = 17;
    for (const Bytes& other : {Reply(0x4243), Reply(0x4242, 6), Reply(0x4242, 7, "Echo That"),
                               Reply(0x4242, 7, "Echo This!"), Reply(0x4242, 7, "Echo This", 3),
                               Ip(self, target, Echo(8, 0x4242, 7, payload)), corrupt, udp}) {
        EXPECT_EQ(StatusOf(other), -1);
    }
    for (const Bytes& whole : {Reply(), Error(3, 1)}) {  // no prefix is taken, or read beyond
        for (auto end = whole.begin(); end != whole.end(); ++end) {
            EXPECT_EQ(StatusOf(Bytes(whole.begin(), end)), -1);
        }
    }
}

TEST_F(EchoPackets, RawSocketsTakeAnErrorAboutOurRequestFromAnyRouter) {
    const Bytes packet = Error(3, 1);
    const auto error = platform::MatchRawPacket(packet, echo);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(std::tuple(error->status, error->source, error->data.size()),
              std::tuple(IP_DEST_HOST_UNREACHABLE, router, 0u));
    EXPECT_EQ(StatusOf(Error(3, 0)), IP_DEST_NET_UNREACHABLE);
    EXPECT_EQ(StatusOf(Error(3, 4)), IP_PACKET_TOO_BIG);
    EXPECT_EQ(StatusOf(Error(11, 1)), IP_TTL_EXPIRED_REASSEM);
    EXPECT_EQ(StatusOf(Error(12, 0)), IP_PARAM_PROBLEM);
    // About an echo to another host, other echoes of ours; a redirect; an unknown code.
    for (const Bytes& other : {Error(3, 1, 3), Error(3, 1, 2, 0x4243), Error(3, 1, 2, 0x4242, 8),
                               Error(5, 1), Error(3, 16)}) {
        EXPECT_EQ(StatusOf(other), -1);
    }
}

TEST_F(EchoPackets, DatagramSocketsMatchSenderSequenceAndPayload) {
    // The kernel has put the socket's own number into the identifier.
    const Bytes reply = Echo(0, 0x9999, 7, payload);
    const auto outcome = platform::MatchDatagramReply(reply, target, echo);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(Bytes(outcome->data.begin(), outcome->data.end()), payload);
    EXPECT_FALSE(platform::MatchDatagramReply(reply, router, echo)) << "another host";
    for (const Bytes& other :
         {Echo(0, 0x9999, 8, payload), Echo(0, 0x9999, 7, Text("Echo That")),
          Echo(8, 0x9999, 7, payload), Bytes(reply.begin(), reply.end() - 10)}) {
        EXPECT_FALSE(platform::MatchDatagramReply(other, target, echo));
    }
}

}  // namespace

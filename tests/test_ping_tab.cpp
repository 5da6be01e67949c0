// Ping: parsers, texts, packets on byte fixtures, and echoes to 127.0.0.0/8 or to the silent
// echo service, also from the "Ping" tab driven by clicks.

#include <fcntl.h>

#include <climits>
#include <cstring>

#include "echo_helpers.h"
#include "loopback.h"
#include "net/winsock.h"
#include "ping/module1.h"
#include "window_fixture.h"

namespace {

TEST(PingTexts, ParsersReadDottedTextAndOctetsTheReportNamesTheStatusFromARecordInFieldOrder) {
    const auto dotted = [](const char* text) { return Module1::DottedToAddress(text); };
    EXPECT_EQ(std::pair(dotted("192.168.1.10"), dotted("10.0.0.200")),
              std::pair(167880896, -939524086));
    EXPECT_EQ(dotted("300.-1.0.100000000000000000001"), dotted("44.255.0.1"));
    EXPECT_EQ(dotted(" 127 .+0. 007.1 "), dotted("127.0.7.1"));
    for (const char* text : {"", "localhost", "1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.", "1.2.3.x",
                             "1.2.3.-", "1.2.3.4e1", "1.2.3.٣"}) {
        EXPECT_EQ(dotted(text), 0) << text;
    }
    const auto octet = [](const char* text) { return Module1::OctetValue(text).value_or(-1000); };
    EXPECT_EQ(std::vector({octet(" 007"), octet("+2.5"), octet("3.5"), octet("-.5")}),
              std::vector<std::int16_t>({7, 2, 4, 0}));
    for (const char* text : {"", " ", "ab", "-", ".", "1..", "1e2", "--1", "32768"}) {
        EXPECT_EQ(octet(text), -1000) << text;
    }

    // The report: four lines and an empty one, ended by CR LF, the status named or unknown.
    const Module1::EchoReply reply{{.Status = 11010, .RoundTripTime = -3, .DataSize = -1}, {}};
    EXPECT_EQ(Module1::PingReport(QStringLiteral("300.0.0.1"), reply),
              QStringLiteral("300.0.0.1\r\n11010   [ ip req timed out ]\r\n"
                             "-3 ms  Round Trip Time\r\n-1 bytes  Data\r\n\r\n"));
    for (const char* text :
         {"0   [ ip success ]", "200   [ ping timeout ]", "11001   [ ip buf too_small ]",
          "11050   [ ip general failure ]", "11255   [ ip pending ]"}) {
        EXPECT_EQ(Module1::EchoStatusText(QString(text).section(u' ', 0, 0).toInt()), text);
    }
    for (const int code : {1, 199, 201, 11000, 11024, 11049, 11051, 11254, 11256, -1, INT_MIN}) {
        EXPECT_EQ(Module1::EchoStatusText(code),
                  QString::number(code) + "   [ unknown  msg returned ]");
    }

    // The reply record's fixed part is little-endian, in field order, without gaps.
    const platform::EchoReplyFixedPart part{0x04030201, -2,   0x0C0B0A09, -3,   0x1211, 0x16151413,
                                            0x17,       0x18, 0x19,       0x1A, INT_MIN};
    Bytes bytes(28);
    platform::WriteFixedPart(part, bytes.data());
    EXPECT_EQ(bytes,
              Of({1,    2,    3,    4,    0xFE, 0xFF, 0xFF, 0xFF, 9,    10,   11, 12, 0xFD, 0xFF,
                  0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0,  0,  0,    0x80}));
    const auto read = platform::ReadFixedPart(bytes.data());
    EXPECT_EQ(std::pair(read.DataSize, read.OptionsData), std::pair(std::int16_t{-3}, INT_MIN));
}

// An echo from 10.77.1.1 to 10.77.1.2 (identifier 0x4242, sequence 7), and what may come back.
const Bytes kPayload = Text("Echo This");
const std::uint32_t kSelf = Address(10, 77, 1, 1), kTarget = Address(10, 77, 1, 2);
const std::uint32_t kRouter = Address(10, 77, 9, 1);
const platform::PendingEcho kEcho{kTarget, 0x4242, 7, kPayload};

Bytes Reply(int id = 0x4242, int sequence = 7, const char* data = "Echo This", int from = 2) {
    return Ip(Address(10, 77, 1, from), kSelf, Echo(0, id, sequence, Text(data)), 63);
}
Bytes Error(int type, int code, int to = 2, int id = 0x4242, int sequence = 7) {
    const Bytes request = Ip(kSelf, Address(10, 77, 1, to), Echo(8, id, sequence, kPayload));
    return Ip(kRouter, kSelf, ErrorAbout(type, code, request));
}

TEST(EchoPackets, RequestIsSealedAndOnlyTheReplyFromTheDestinationAndErrorsAboutItAreTaken) {
    EXPECT_EQ(platform::InternetChecksum(Of({0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7})),
              0x220D);  // the example of RFC 1071
    EXPECT_EQ(platform::EchoRequest(0x1234, 0x0506, kPayload), Echo(8, 0x1234, 0x0506, kPayload));
    const Bytes replyPacket = Reply(), errorPacket = Error(3, 1);
    const auto reply = platform::MatchRawPacket(replyPacket, kEcho);
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::tuple(reply->ttl, reply->tos, reply->flags,
                         Bytes(reply->data.begin(), reply->data.end())),
              std::tuple(63, 0x10, 2, kPayload));
    const Bytes datagram = Echo(0, 0x9999, 7, kPayload);  // no IP header; the kernel's identifier
    EXPECT_TRUE(platform::MatchDatagramReply(datagram, kTarget, kEcho));
    // A reply behind IP options too, and the errors from the router about the echo.
    const auto options =
        platform::MatchRawPacket(Ip(kTarget, kSelf, Echo(0, 0x4242, 7, kPayload), 64, 3), kEcho);
    EXPECT_TRUE(options && options->status == IP_SUCCESS && options->source == kTarget);
    // clang-format off
    const std::tuple<int, int, int> errors[] = {  // type, code, status
        {3, 0, IP_DEST_NET_UNREACHABLE}, {3, 1, IP_DEST_HOST_UNREACHABLE},
        {3, 13, IP_DEST_HOST_UNREACHABLE}, {3, 2, IP_DEST_PROT_UNREACHABLE},
        {3, 3, IP_DEST_PORT_UNREACHABLE}, {3, 4, IP_PACKET_TOO_BIG}, {3, 5, IP_BAD_ROUTE},
        {4, 0, IP_SOURCE_QUENCH}, {11, 1, IP_TTL_EXPIRED_REASSEM}, {12, 0, IP_PARAM_PROBLEM}};
    // clang-format on
    for (const auto& [type, code, status] : errors) {
        const auto outcome = platform::MatchRawPacket(Error(type, code), kEcho);
        EXPECT_EQ(outcome ? std::pair(outcome->status, outcome->source) : std::pair(-1, 0u),
                  std::pair(status, kRouter));
    }
    // Neither kind takes other sequences, payloads or senders, nor our own request.
    for (const Bytes& other :
         {Reply(0x4242, 6), Reply(0x4242, 7, "Echo That"), Reply(0x4242, 7, "Echo This!"),
          Reply(0x4242, 7, "Echo This", 3), Ip(kSelf, kTarget, Echo(8, 0x4242, 7, kPayload))}) {
        const std::uint32_t from = Address(other[12], other[13], other[14], other[15]);
        EXPECT_FALSE(platform::MatchRawPacket(other, kEcho));
        EXPECT_FALSE(platform::MatchDatagramReply({other.begin() + 20, other.end()}, from, kEcho));
    }
    // Raw: other identifiers; a bad checksum; not ICMP; errors about echoes to other hosts or
    // other echoes of ours; a redirect; unknown codes.
    Bytes corrupt = Reply(), udp = Reply();
    corrupt.back() ^= 0x20;
    udp[9] = 17;
    for (const Bytes& other :
         {Reply(0x4243), corrupt, udp, Error(3, 1, 3), Error(3, 1, 2, 0x4243),
          Error(3, 1, 2, 0x4242, 8), Error(5, 1), Error(3, 16), Error(11, 2)}) {
        EXPECT_FALSE(platform::MatchRawPacket(other, kEcho));
    }
    for (const Bytes& whole : {replyPacket, errorPacket, datagram}) {  // no prefix is taken
        for (auto end = whole.begin(); end != whole.end(); ++end) {
            EXPECT_FALSE(platform::MatchRawPacket(Bytes(whole.begin(), end), kEcho));
            EXPECT_FALSE(platform::MatchDatagramReply(Bytes(whole.begin(), end), kTarget, kEcho));
        }
    }
}

SentEcho EchoTo(std::uint32_t to, std::size_t size = 278, const Bytes& data = Text("Echo This")) {
    const HANDLE handle = IcmpCreateFile();
    const SentEcho echo = SendEchoOn(handle, to, size, data);
    EXPECT_TRUE(IcmpCloseHandle(handle));
    return echo;
}

TEST(IcmpSendEcho, TakesTheLoopbackReplyAndSendsNothingToNoSingleHostWithoutRoomOrOnAClosedHandle) {
    SKIP_WITHOUT_ECHO_SERVICE();
    const Bytes large(1400, 0x5A);
    const SentEcho echo = EchoTo(Address(127, 9, 8, 7), 28 + 1400 + 9, large);
    EXPECT_EQ(std::tuple(echo.replies, echo.fixed().Address, echo.fixed().DataPointer, echo.data(),
                         echo.buffer.back()),
              std::tuple(1u, static_cast<int>(Address(127, 9, 8, 7)), 28, large, 0xAA));
    EXPECT_LT(echo.fixed().RoundTripTime, 200);
    for (const std::uint32_t to : {Address(0, 0, 0, 0), Address(255, 255, 255, 255),
                                   Address(224, 0, 0, 1), Address(239, 255, 255, 250)}) {
        const auto refused = EchoTo(to).fixed();
        EXPECT_EQ(std::pair(refused.Status, refused.Address), std::pair(IP_BAD_DESTINATION, 0));
    }
    EXPECT_EQ(EchoTo(Address(127, 0, 0, 1), 28 + 9 + 7).fixed().Status, IP_BUF_TOO_SMALL);
    EXPECT_EQ(EchoTo(Address(127, 0, 0, 1), 27).buffer, Bytes(27, 0xAA));

    // A handle that is not open (any more) touches nothing.
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(probe);
    const HANDLE handle = IcmpCreateFile();
    if (platform::IcmpSocketKindOf(handle) == platform::IcmpSocketKind::Helper) {
        IcmpCloseHandle(handle);
        GTEST_SKIP() << "echoes go through the echo helper: the handle holds no descriptor";
    }
    ASSERT_TRUE(IcmpCloseHandle(handle));
    const int file = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(file, probe) << "the file takes the handle's descriptor number";
    for (const HANDLE closed : {handle, INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        EXPECT_FALSE(IcmpCloseHandle(closed));
        EXPECT_EQ(SendEchoOn(closed, Address(127, 0, 0, 1)).fixed().Status, IP_GENERAL_FAILURE);
    }
    EXPECT_NE(::fcntl(file, F_GETFD), -1) << "the file is still open";
    ::close(file);
}

class PingTab : public LoadedWindow {
protected:
    // Clicks the button, then reads the report's lines (the box keeps lines, not line ends).
    QStringList Click(QWidget* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        return form->results->toPlainText().split(u'\n');
    }
};

// SendEcho gives the time, or the status negated, and keeps what the service does not write.
TEST_F(PingTab, BothCommandsReportTheAddressPingedAndShareOneReplyRecord) {
    SKIP_WITHOUT_ECHO_SERVICE();
    const QString resolved = Winsock::AddressToText(Winsock::HostToAddress("localhost"));
    form->hostname->setText("localhost");
    EXPECT_EQ(Click(form->pingname).mid(0, 2), QStringList({resolved, "0   [ ip success ]"}));
    form->hostname->setText("no..such.host.invalid");  // pinged as 255.255.255.255: refused
    EXPECT_EQ(Click(form->pingname).join(u'\n'),
              "255.255.255.255\n11018   [ ip bad destination ]\n"
              "0 ms  Round Trip Time\n0 bytes  Data\n\n");
    const QStringList designTime = Click(form->pingit);
    EXPECT_EQ(designTime.join(u'\n'), QStringLiteral("127.0.0.1\n0   [ ip success ]\n%1 ms  Round "
                                                     "Trip Time\n9 bytes  Data\n\n")
                                          .arg(form->PingReply.RoundTripTime));
    Module1::EchoReply reply;
    EXPECT_EQ(Module1::SendEcho(QStringLiteral("127.0.0.1"), reply), reply.RoundTripTime);
    const std::u16string echoed(u"Echo This\0", 10);
    EXPECT_EQ(std::u16string(reply.Data, 10), echoed);
    SilentEchoService service;  // writes nothing: the records keep the last echo
    form->hostname->setText("127.0.0.9");
    EXPECT_EQ(Click(form->pingname), QStringList{"127.0.0.9"} + designTime.mid(1));
    reply.Status = -5;
    EXPECT_EQ(Module1::SendEcho(QStringLiteral("10.0.0.200"), reply), 5);
    EXPECT_EQ(std::u16string(reply.Data, 10), echoed);
    EXPECT_EQ(service.requests, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                    {Address(127, 0, 0, 9), 200}, {Address(10, 0, 0, 200), 200}}));
    EXPECT_EQ(service.closed, (std::vector<HANDLE>{&service, &service}));
    reply.Status = INT_MIN;  // negated without overflow
    EXPECT_EQ(Module1::SendEcho(QStringLiteral("127.0.0.1"), reply), INT_MIN);
}

TEST_F(PingTab, OctetsAreShownAsReadAndSentAsBytes) {
    SKIP_WITHOUT_ECHO_SERVICE();
    form->one->setText("383");
    form->two->clear();
    form->three->setText("2.5");
    form->four->setText("3.5");
    EXPECT_EQ(Click(form->pingit).mid(0, 2), QStringList({"383.1.2.4", "0   [ ip success ]"}));
    EXPECT_EQ(form->PingReply.Address, static_cast<int>(Address(127, 1, 2, 4)));
    EXPECT_EQ(form->two->text(), QStringLiteral("1")) << "an empty box is filled with 1";
    form->dot->setText(QStringLiteral("x"));  // no dotted address: 0.0.0.0, never pinged
    EXPECT_EQ(Click(form->pingit).mid(0, 2),
              QStringList({"383x1x2x4", "11018   [ ip bad destination ]"}));
    SilentEchoService service;
    form->three->setText("1e2");
    EXPECT_EQ(Click(form->pingit),
              QStringList{"Not a number in box three: \"1e2\" (no echo sent)"});
    EXPECT_TRUE(service.requests.empty() && form->three->text() == "1e2") << "no echo, box kept";
}

// Escape ends the wait for an echo at once with a general failure; a late reply is dropped.
TEST_F(PingTab, EscapeEndsTheWaitForAnEcho) {
    struct SlowEchoService : SilentEchoService {
        std::uint32_t SendEcho(HANDLE, std::uint32_t, const void*, std::uint16_t,
                               const IP_OPTION_INFORMATION*, void* reply, std::uint32_t size,
                               std::uint32_t) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            std::memset(reply, 0, size);  // a reply, in no time
            return 1;
        }
        bool CloseHandle(HANDLE) override { return closed = true; }
        std::atomic<bool> closed{false};
    } service;
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTimer::singleShot(100, form.get(),
                       [this] { QTest::keyClick(form->windowHandle(), Qt::Key_Escape); });
    const QStringList report = Click(form->pingit);
    EXPECT_FALSE(service.closed);
    EXPECT_EQ(report.mid(0, 2), QStringList({"127.0.0.1", "11050   [ ip general failure ]"}));
    ASSERT_TRUE(loopback::WaitUntil([&] { return service.closed.load(); }));
    loopback::Spin(20);
    EXPECT_EQ(form->results->toPlainText().split(u'\n'), report);
}

}  // namespace

// The TCP stream connection of the socket services against servers on 127.0.0.1.

#include <atomic>
#include <string>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/winsock.h"
#include "platform/winsock.h"
#include "socket_recorder.h"

namespace {

using loopback::Server;
using loopback::WaitUntil;

constexpr std::int16_t kTrue = -1;

class StreamConnection : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(257, &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    SocketRecorder window;
};

TEST(NotificationWords, SplitIntoSignedEventAndErrorCode) {
    struct Row {
        std::int32_t value;
        std::int16_t low;
        std::int16_t high;
    };
    for (const Row& row : {Row{10061 << 16 | 16, 16, 10061}, Row{0x0000ffff, -1, 0},
                           Row{static_cast<std::int32_t>(0xffff0000u), 0, -1},
                           Row{static_cast<std::int32_t>(0x80000000u), 0, -32768},
                           Row{0x7fff8000, -32768, 32767}, Row{-1, -1, -1}, Row{0, 0, 0}}) {
        EXPECT_EQ(Winsock::LowWordOf(row.value), row.low) << row.value;
        EXPECT_EQ(Winsock::HighWordOf(row.value), row.high) << row.value;
    }
}

TEST_F(StreamConnection, FailsBeforeMakingASocketForPortMinusOneOrAnUnknownHost) {
    QString peer = QStringLiteral("as before");
    const int open = platform::OpenSockets();
    EXPECT_EQ(Winsock::OpenStreamConnection(QStringLiteral("127.0.0.1"), -1, peer, &window, kTrue),
              -1);
    EXPECT_EQ(Winsock::OpenStreamConnection(QStringLiteral("no-such-host.invalid"), 43, peer,
                                            &window, kTrue),
              -1);
    EXPECT_EQ(peer, QStringLiteral("as before"));
    EXPECT_EQ(platform::OpenSockets(), open);
}

TEST_F(StreamConnection, PeerTextIsTheAddressAndTheSignedPort) {
    QString peer;
    const int socket =
        Winsock::OpenStreamConnection(QStringLiteral("127.0.0.1"), 43, peer, &window, kTrue);
    EXPECT_GT(socket, 0);
    EXPECT_EQ(peer, QStringLiteral("127.0.0.1:43"));
    closesocket(socket);

    // A negative port is the TCP port 65536 + port, shown as the negative number.
    Server server([](int fd) { ::close(fd); }, 65536 - 100);
    if (!server.Listening()) {
        GTEST_SKIP() << "port 65436 is taken on this machine";
    }
    const int negative =
        Winsock::OpenStreamConnection(QStringLiteral("localhost"), -100, peer, &window, kTrue);
    EXPECT_EQ(peer, QStringLiteral("127.0.0.1:-100"));
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_CONNECT) == 1; }));
    EXPECT_EQ(window.notes[0].socket, negative);
    EXPECT_EQ(window.notes[0].error, 0);
    EXPECT_TRUE(WaitUntil([&] { return server.Accepted() == 1; }));
    closesocket(negative);
}

TEST_F(StreamConnection, AsynchronousConnectionToAClosedPortReportsRefusal) {
    QString peer;
    const int socket = Winsock::OpenStreamConnection(
        QStringLiteral("127.0.0.1"), static_cast<std::int16_t>(loopback::ClosedPort()), peer,
        &window, kTrue);
    ASSERT_GT(socket, 0);
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_CONNECT) == 1; }));
    EXPECT_EQ(window.notes[0].socket, socket);
    EXPECT_EQ(window.notes[0].error, WSAECONNREFUSED);
    EXPECT_EQ(closesocket(socket), 0);
}

TEST_F(StreamConnection, BlockingConnectionWithoutWindowIsAPlainConnectedSocket) {
    std::atomic<bool> reset{false};
    Server server([&](int fd) {
        reset = loopback::AwaitEnd(fd);
        ::close(fd);
    });
    QString peer;
    const int socket = Winsock::OpenStreamConnection(
        QStringLiteral("127.0.0.1"), static_cast<std::int16_t>(server.Port()), peer, nullptr, 0);
    ASSERT_GT(socket, 0);
    EXPECT_EQ(peer, QStringLiteral("127.0.0.1:") + server.PortText());
    EXPECT_EQ(::fcntl(socket, F_GETFL) & O_NONBLOCK, 0);
    linger setting{};
    socklen_t length = sizeof setting;
    ASSERT_EQ(::getsockopt(socket, SOL_SOCKET, SO_LINGER, &setting, &length), 0);
    EXPECT_EQ(setting.l_onoff, 1);
    EXPECT_EQ(setting.l_linger, 0);
    EXPECT_EQ(closesocket(socket), 0);
    // Linger on with no time: the close resets the connection.
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    EXPECT_TRUE(reset);
}

TEST_F(StreamConnection, BlockingConnectionWithWindowNotifiesFromThenOn) {
    Server server([](int fd) {
        loopback::ReadLine(fd);
        loopback::WriteAll(fd, "answer\n");
        ::close(fd);
    });
    QString peer;
    const int socket = Winsock::OpenStreamConnection(
        QStringLiteral("127.0.0.1"), static_cast<std::int16_t>(server.Port()), peer, &window, 0);
    ASSERT_GT(socket, 0);
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_WRITE) == 1; }));
    EXPECT_EQ(window.Count(FD_CONNECT), 0);
    EXPECT_EQ(Winsock::SendToSocket(socket, QStringLiteral("query\r\n")), 7);
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_READ) == 1; }));
    char buffer[16];
    EXPECT_EQ(platform::recv(socket, buffer, sizeof buffer, 0), 7);
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_CLOSE) == 1; }));
    closesocket(socket);
}

TEST_F(StreamConnection, SendToSocketSendsTheTextsBytesOnceAndNothingForEmptyData) {
    std::string received;
    Server server([&](int fd) {
        char buffer[64];
        ssize_t count = 0;
        while ((count = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            received.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(fd);
    });
    QString peer;
    const int socket = Winsock::OpenStreamConnection(
        QStringLiteral("127.0.0.1"), static_cast<std::int16_t>(server.Port()), peer, nullptr, 0);
    ASSERT_GT(socket, 0);
    EXPECT_EQ(Winsock::SendToSocket(socket, QString()), 0);
    EXPECT_EQ(Winsock::SendToSocket(socket, QByteArray()), 0);
    EXPECT_EQ(Winsock::SendToSocket(socket, QStringLiteral("caf\u00e9")), 5);
    EXPECT_EQ(Winsock::SendToSocket(socket, QByteArray("\0\1", 2)), 2);
    ::shutdown(socket, SHUT_WR);
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    EXPECT_EQ(received, std::string("caf\xc3\xa9\0\1", 7));

    closesocket(socket);
    EXPECT_EQ(Winsock::SendToSocket(socket, QStringLiteral("x")), -1);
}

TEST_F(StreamConnection, ApplyLingerSetsBothValuesAndFailsOnANonSocket) {
    const int socket = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_GT(socket, 0);
    for (const auto& [onOff, seconds] : {std::pair<int, int>{1, 0}, {1, 5}, {0, 0}}) {
        EXPECT_EQ(Winsock::ApplyLinger(socket, static_cast<std::int16_t>(onOff),
                                       static_cast<std::int16_t>(seconds)),
                  0);
        linger setting{};
        socklen_t length = sizeof setting;
        ASSERT_EQ(::getsockopt(socket, SOL_SOCKET, SO_LINGER, &setting, &length), 0);
        EXPECT_EQ(setting.l_onoff != 0, onOff != 0);
        if (onOff != 0) {
            EXPECT_EQ(setting.l_linger, seconds);
        }
    }
    closesocket(socket);
    EXPECT_EQ(Winsock::ApplyLinger(-1, 1, 0), -1);
    EXPECT_EQ(Winsock::ApplyLinger(socket, 1, 0), -1);
}

}  // namespace

// The Winsock stand-in: error codes, closesocket and the rules of WSAAsyncSelect's
// notifications, against servers on 127.0.0.1.

#include <atomic>
#include <cerrno>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "loopback.h"
#include "platform/winsock.h"
#include "socket_recorder.h"

namespace {

using loopback::Server;
using loopback::Spin;
using loopback::WaitUntil;

constexpr unsigned kMessage = 1025;
constexpr long kAllEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

class AsyncSelect : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(257, &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    // A notifying socket whose connection to 127.0.0.1 (or `address`) is under way.
    int StartConnect(std::uint16_t port, in_addr_t address = htonl(INADDR_LOOPBACK)) {
        const int socket = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_GT(socket, 0);
        EXPECT_EQ(WSAAsyncSelect(socket, &window, kMessage, kAllEvents), 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        peer.sin_addr.s_addr = address;
        EXPECT_EQ(platform::connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer),
                  SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        return socket;
    }

    SocketRecorder window;
};

TEST(WinsockErrors, LinuxErrnoValuesMapByName) {
    struct Row {
        int errnoValue;
        int code;
    };
    for (const Row& row :
         {Row{EAGAIN, 10035},        Row{EINPROGRESS, 10035},  Row{EALREADY, 10037},
          Row{EISCONN, 10056},       Row{ENOTCONN, 10057},     Row{ECONNREFUSED, 10061},
          Row{ETIMEDOUT, 10060},     Row{EHOSTUNREACH, 10065}, Row{ENETUNREACH, 10051},
          Row{ECONNRESET, 10054},    Row{ECONNABORTED, 10053}, Row{EADDRINUSE, 10048},
          Row{EADDRNOTAVAIL, 10049}, Row{EACCES, 10013},       Row{EPERM, 10013},
          Row{EMFILE, 10024},        Row{ENFILE, 10024},       Row{ENOBUFS, 10055},
          Row{EBADF, 10038},         Row{ENOTSOCK, 10038},     Row{EHOSTDOWN, 10064},
          Row{ENETDOWN, 10050},      Row{EAFNOSUPPORT, 10047}, Row{ENODATA, WSAEINVAL}}) {
        EXPECT_EQ(platform::WinsockError(row.errnoValue), row.code) << row.errnoValue;
    }
    // Answers to a connection attempt that Linux words differently.
    EXPECT_EQ(platform::WinsockConnectError(ENOPROTOOPT), WSAECONNREFUSED);
    EXPECT_EQ(platform::WinsockConnectError(EOPNOTSUPP), WSAEHOSTUNREACH);
    EXPECT_EQ(platform::WinsockConnectError(EINVAL), WSAENETUNREACH);
    EXPECT_EQ(platform::WinsockConnectError(ECONNREFUSED), WSAECONNREFUSED);
}

TEST_F(AsyncSelect, CloseSocketClosesOnlySocketsItOpenedAndHasNotClosed) {
    for (int handle : {-1, 0, 99999}) {
        WSASetLastError(0);
        EXPECT_EQ(closesocket(handle), SOCKET_ERROR) << handle;
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK) << handle;
    }

    const int socket = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_GT(socket, 0);
    EXPECT_EQ(closesocket(socket), 0);
    EXPECT_FALSE(IsOpen(socket));

    // Linux gives the number straight to the next file; closing the handle again must not
    // close that file.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(ends[0], socket);
    EXPECT_EQ(closesocket(socket), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_TRUE(IsOpen(ends[0]));
    EXPECT_EQ(closesocket(ends[1]), SOCKET_ERROR);
    EXPECT_TRUE(IsOpen(ends[1]));
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST_F(AsyncSelect, CallsFailWithoutWinsockStarted) {
    const int socket = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_GT(socket, 0);
    WSACleanup();
    EXPECT_EQ(closesocket(socket), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSADATA data;
    ASSERT_EQ(WSAStartup(257, &data), 0);
    EXPECT_EQ(closesocket(socket), 0);
}

TEST_F(AsyncSelect, RefusedConnectionGivesOneConnectEventWithItsCode) {
    const int socket = StartConnect(loopback::ClosedPort());
    ASSERT_TRUE(WaitUntil([&] { return !window.notes.empty(); }));
    Spin(200);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].socket, socket);
    EXPECT_EQ(window.notes[0].event, FD_CONNECT);
    EXPECT_EQ(window.notes[0].error, WSAECONNREFUSED);
    EXPECT_EQ(closesocket(socket), 0);
}

TEST_F(AsyncSelect, FailureKnownAtOnceStillArrivesAsConnectEvent) {
    // Linux refuses TCP to the broadcast address inside connect itself.
    const int socket = StartConnect(43, INADDR_BROADCAST);
    ASSERT_TRUE(WaitUntil([&] { return !window.notes.empty(); }));
    Spin(100);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].event, FD_CONNECT);
    EXPECT_EQ(window.notes[0].error, WSAENETUNREACH);
    closesocket(socket);
}

TEST_F(AsyncSelect, OneReadEventPerRecvWhileDataRemainsThenOneClose) {
    Server server([](int fd) {
        loopback::WriteAll(fd, std::string(20000, 'x'));
        ::close(fd);
    });
    const int socket = StartConnect(server.Port());
    int received = 0;
    window.onNote = [&](const SocketNote& note) {
        if (note.event == FD_READ) {
            char buffer[1024];
            received += static_cast<int>(platform::recv(socket, buffer, sizeof buffer, 0));
        }
    };
    // The whole reply waits in the socket before the first read event is handled.
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_WRITE) == 1; }));
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_CLOSE) == 1; }));
    Spin(200);

    EXPECT_EQ(received, 20000);
    ASSERT_EQ(window.notes.size(), 2u + 20u + 1u);
    EXPECT_EQ(window.notes.front().event, FD_CONNECT);
    EXPECT_EQ(window.notes.front().error, 0);
    EXPECT_EQ(window.notes[1].event, FD_WRITE);
    EXPECT_EQ(window.Count(FD_READ), 20);
    EXPECT_EQ(window.notes.back().event, FD_CLOSE);
    EXPECT_EQ(window.notes.back().error, 0);
    EXPECT_EQ(closesocket(socket), 0);
}

TEST_F(AsyncSelect, NoFurtherReadEventUntilRecvIsCalled) {
    std::atomic<bool> done{false};
    Server server([&](int fd) {
        loopback::WriteAll(fd, std::string(100, 'x'));
        loopback::WaitWithoutEvents([&] { return done.load(); });
        ::close(fd);
    });
    const int socket = StartConnect(server.Port());
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_READ) == 1; }));
    Spin(300);
    EXPECT_EQ(window.Count(FD_READ), 1);

    char buffer[10];
    ASSERT_EQ(platform::recv(socket, buffer, sizeof buffer, 0), 10);
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_READ) == 2; }));
    Spin(200);
    EXPECT_EQ(window.Count(FD_READ), 2);
    EXPECT_EQ(window.Count(FD_CLOSE), 0);
    done = true;
    closesocket(socket);
}

TEST_F(AsyncSelect, ResetComesAsCloseWithItsCodeAfterTheDataBeforeIt) {
    Server server([](int fd) {
        loopback::WriteAll(fd, std::string(3000, 'x'));
        loopback::Reset(fd);
    });
    const int socket = StartConnect(server.Port());
    int received = 0;
    window.onNote = [&](const SocketNote& note) {
        if (note.event == FD_READ) {
            char buffer[1000];
            received += static_cast<int>(platform::recv(socket, buffer, sizeof buffer, 0));
        }
    };
    // The reset is in before the program first looks at the socket.
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_CLOSE) == 1; }));
    Spin(200);
    EXPECT_EQ(received, 3000);
    EXPECT_EQ(window.notes.front().event, FD_CONNECT);
    EXPECT_EQ(window.notes.front().error, 0);
    EXPECT_EQ(window.notes.back().event, FD_CLOSE);
    EXPECT_EQ(window.notes.back().error, WSAECONNRESET);
    EXPECT_EQ(window.Count(FD_CLOSE), 1);
    closesocket(socket);
}

TEST_F(AsyncSelect, NothingIsDeliveredAfterCloseSocketNotEvenWhatWasPosted) {
    Server server([](int fd) {
        loopback::WriteAll(fd, "data for a socket that is gone\n");
        loopback::AwaitEnd(fd);
        ::close(fd);
    });
    const int socket = StartConnect(server.Port());
    // FD_CONNECT and FD_WRITE are posted together; closing on the first drops the second.
    window.onNote = [&](const SocketNote& note) {
        if (note.event == FD_CONNECT) {
            closesocket(socket);
        }
    };
    ASSERT_TRUE(WaitUntil([&] { return !window.notes.empty(); }));
    ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1; }));
    Spin(300);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].event, FD_CONNECT);
}

TEST_F(AsyncSelect, WriteEventAgainOnceRoomFreesAfterASendThatWouldBlock) {
    std::atomic<bool> drain{false};
    Server server([&](int fd) {
        loopback::WaitWithoutEvents([&] { return drain.load(); });
        loopback::AwaitEnd(fd);
        ::close(fd);
    });
    const int socket = StartConnect(server.Port());
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_WRITE) == 1; }));

    const std::string chunk(65536, 'x');
    bool blocked = false;
    for (int sends = 0; sends < 10000 && !blocked; ++sends) {
        blocked = platform::send(socket, chunk.data(), chunk.size(), 0) == SOCKET_ERROR;
    }
    ASSERT_TRUE(blocked);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    Spin(100);
    EXPECT_EQ(window.Count(FD_WRITE), 1);

    drain = true;
    ASSERT_TRUE(WaitUntil([&] { return window.Count(FD_WRITE) == 2; }));
    Spin(100);
    EXPECT_EQ(window.Count(FD_WRITE), 2);
    closesocket(socket);
}

}  // namespace

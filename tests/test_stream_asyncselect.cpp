// The Winsock stand-in: error codes and texts, closesocket, WSAAsyncSelect's notifications.

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "loopback.h"
#include "net/winsock.h"
#include "platform/winsock/asyncselect.h"
#include "platform/winsock/winsock.h"

namespace {

using loopback::WaitUntil;
using Note = std::pair<int, int>;  // event, error code

// The Winsock error a call left behind if it failed (returned -1), else 0.
int ErrorOf(long result) {
    return result == -1 ? WSAGetLastError() : 0;
}

// A window that records its socket events; with `readSize` set it reads on each read event.
class AsyncSelect : public ::testing::Test, public QObject {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(257, &data), 0); }
    void TearDown() override { WSACleanup(); }

    void ConnectTo(const loopback::Server& server) {
        socket = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        EXPECT_EQ(WSAAsyncSelect(socket, this, 1025, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE),
                  0);
        sockaddr_in peer{AF_INET, htons(server.Port()), {htonl(INADDR_LOOPBACK)}, {}};
        EXPECT_EQ(
            ErrorOf(platform::connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer)),
            WSAEWOULDBLOCK);
    }
    int Count(int event) const {
        return static_cast<int>(std::ranges::count(notes, event, &Note::first));
    }
    bool event(QEvent* e) override {
        if (e->type() != platform::SocketMessage::EventType()) {
            return QObject::event(e);
        }
        const auto* message = static_cast<platform::SocketMessage*>(e);
        notes.emplace_back(message->lParam & 0xffff, message->lParam >> 16);
        if (notes.back().first == FD_READ && readSize > 0) {
            std::string buffer(readSize, '\0');
            received += static_cast<int>(platform::recv(socket, buffer.data(), readSize, 0));
        } else if (closeOnFirst) {
            closesocket(socket);
        }
        return true;
    }

    WSADATA data;
    int socket = 0;
    std::vector<Note> notes;
    std::size_t readSize = 0;
    int received = 0;
    bool closeOnFirst = false;
};

TEST_F(AsyncSelect, CloseSocketClosesOnlyOpenSocketsAndSocketsNeedWinsock) {
    const int closed = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_EQ(closesocket(closed), 0);
    // Linux gives the number straight to the next file, which closing again must not close.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(ends[0], closed);
    EXPECT_EQ(ErrorOf(closesocket(closed)), WSAENOTSOCK);
    EXPECT_EQ(ErrorOf(closesocket(ends[1])), WSAENOTSOCK);
    EXPECT_TRUE(::close(ends[0]) == 0 && ::close(ends[1]) == 0);
    // With standard input closed, a socket is never number 0, which means "none" here; one
    // that is not connected neither sends nor receives.
    const int input = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    const int unconnected = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    char byte = 0;
    EXPECT_GT(unconnected, 0);
    EXPECT_EQ(ErrorOf(platform::send(unconnected, &byte, 1, 0)), WSAENOTCONN);
    EXPECT_EQ(ErrorOf(platform::recv(unconnected, &byte, 1, 0)), WSAENOTCONN);
    EXPECT_EQ(closesocket(unconnected), 0);
    WSACleanup();
    EXPECT_EQ(ErrorOf(platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)), WSANOTINITIALISED);
    EXPECT_EQ(WSAStartup(0x0100, &data), WSAVERNOTSUPPORTED);  // version 0.1
    ASSERT_EQ(WSAStartup(257, &data), 0);
}

// One read event per recv while data remains, then one close with the reset's code if the
// peer reset the connection, even before the program first looked at the socket.
TEST_F(AsyncSelect, OneReadEventPerRecvWhileDataRemainsThenOneClose) {
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset);
        notes.clear();
        readSize = received = 0;
        loopback::Server server([reset](int fd) {
            loopback::WriteAll(fd, std::string(20000, 'x'));
            const linger hard{reset ? 1 : 0, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            ::close(fd);
        });
        ConnectTo(server);
        ASSERT_TRUE(WaitUntil([&] { return server.Finished() == 1; }, 5000, false));
        ASSERT_TRUE(WaitUntil([&] { return Count(FD_READ) == 1; }));
        loopback::Spin(100);
        EXPECT_EQ(notes, (std::vector<Note>{{FD_CONNECT, 0}, {FD_WRITE, 0}, {FD_READ, 0}}));
        readSize = 1000;
        char buffer[1000];
        ASSERT_EQ(platform::recv(socket, buffer, sizeof buffer, 0), 1000);
        ASSERT_TRUE(WaitUntil([&] { return Count(FD_CLOSE) == 1; }));
        loopback::Spin(50);
        EXPECT_EQ(std::tuple(received, Count(FD_READ), Count(FD_CLOSE), notes.back()),
                  std::tuple(19000, 20, 1, Note(FD_CLOSE, reset ? WSAECONNRESET : 0)));
        EXPECT_EQ(closesocket(socket), 0);
    }
}

// FD_WRITE comes once the connection stands, and again only when a send that would block
// finds room after all.
TEST_F(AsyncSelect, WriteEventComesAgainOnlyAfterASendThatWouldBlock) {
    std::atomic<bool> drain = false;
    loopback::Server server([&drain](int fd) {
        WaitUntil([&drain] { return drain.load(); }, 5000, false);
        loopback::AwaitEnd(fd);
        ::close(fd);
    });
    ConnectTo(server);
    ASSERT_TRUE(WaitUntil([&] { return Count(FD_WRITE) == 1; }));
    const std::string block(1 << 16, 'x');
    long sent = 0;
    while ((sent = platform::send(socket, block.data(), block.size(), 0)) > 0) {
    }
    EXPECT_EQ(ErrorOf(sent), WSAEWOULDBLOCK);
    loopback::Spin(50);
    EXPECT_EQ(Count(FD_WRITE), 1);
    drain = true;
    EXPECT_TRUE(WaitUntil([&] { return Count(FD_WRITE) == 2; }));
    loopback::Spin(50);
    EXPECT_EQ(notes, (std::vector<Note>{{FD_CONNECT, 0}, {FD_WRITE, 0}, {FD_WRITE, 0}}));
    EXPECT_EQ(closesocket(socket), 0);
}

// A connection made in line can be written to at once, and connecting it again is refused
// without a notification; a refused one gives no socket.
TEST_F(AsyncSelect, AConnectionMadeInLineIsWritableAtOnceAndNothingComesAfterCloseSocket) {
    const int open = platform::OpenSockets();
    loopback::Server server([](int fd) { ::close(fd); });
    QString peer;
    const auto port = static_cast<std::int16_t>(server.Port());
    socket = Winsock::OpenStreamConnection("127.0.0.1", port, peer, this, 0);
    EXPECT_EQ(peer, "127.0.0.1:" + server.PortText());
    EXPECT_TRUE(WaitUntil([&] { return !notes.empty(); }) && notes[0] == Note(FD_WRITE, 0));
    const sockaddr_in to{AF_INET, htons(server.Port()), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(ErrorOf(platform::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to)),
              WSAEISCONN);
    const int plain = Winsock::OpenStreamConnection("127.0.0.1", port, peer, nullptr, 0);
    const loopback::Server closed(nullptr);
    EXPECT_EQ(Winsock::OpenStreamConnection("127.0.0.1", closed.Port(), peer, nullptr, 0), -1);
    loopback::Spin(50);
    EXPECT_EQ(Count(FD_CONNECT), 0);
    EXPECT_TRUE(closesocket(socket) == 0 && closesocket(plain) == 0);
    // Nothing is delivered after closesocket, not even what was posted: FD_CONNECT and
    // FD_WRITE are posted together, and closing on the first drops the second.
    notes.clear();
    closeOnFirst = true;
    ConnectTo(server);
    loopback::Spin(200);
    EXPECT_EQ(notes, (std::vector<Note>{{FD_CONNECT, 0}}));
    EXPECT_EQ(platform::OpenSockets(), open);
}

TEST(SocketErrorText, GivesTheTextsOfTheTableNothingInItsGapsAndEachErrnoTheTextOfItsMeaning) {
    EXPECT_EQ(Winsock::SocketErrorText(10101), QString("Disconnect."));
    EXPECT_EQ(Winsock::SocketErrorText(11004),
              QString("Valid name, no data record of requested type."));
    // The codes with a text are exactly these runs; each text is one sentence.
    const std::pair<std::int32_t, std::int32_t> runs[] = {
        {10004, 10004}, {10009, 10009}, {10013, 10014}, {10022, 10022}, {10024, 10024},
        {10035, 10071}, {10091, 10093}, {10101, 10101}, {11001, 11004}};
    for (std::int32_t code = 9000; code <= 12000; ++code) {
        const QString text = Winsock::SocketErrorText(code);
        const auto within = [code](auto run) { return run.first <= code && code <= run.second; };
        EXPECT_EQ(!text.isEmpty(), std::ranges::any_of(runs, within)) << code;
        EXPECT_TRUE(text.isEmpty() || (text.endsWith('.') && text == text.simplified())) << code;
    }
    for (const std::int32_t code : {0, -1, -10054, 10054 + 65536, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(Winsock::SocketErrorText(code), QString()) << code;
    }

    // What the user reads for each errno a socket call can give: the Winsock code of the same
    // meaning, looked up by name (Linux and Winsock number them differently), and its text.
    // clang-format off
    const std::pair<QString, std::vector<int>> texts[] = {
        {"Operation would block.", {EAGAIN, EINPROGRESS}}, {"Socket is not connected.", {ENOTCONN}},
        {"Operation already in progress.", {EALREADY}}, {"Connection refused.", {ECONNREFUSED}},
        {"Socket is already connected.", {EISCONN}}, {"Connection timed out.", {ETIMEDOUT}},
        {"Connection reset by peer.", {EPIPE, ECONNRESET}},
        {"Protocol not available.", {ENOPROTOOPT}},
        {"No route to host.", {EHOSTUNREACH, ENONET}}, {"Address already in use.", {EADDRINUSE}},
        {"Network is unreachable.", {ENETUNREACH}}, {"Permission Denied.", {EACCES, EPERM}},
        {"Software caused connection abort.", {ECONNABORTED, EPROTO}},
        {"Can't assign requested address.", {EADDRNOTAVAIL}},
        {"Invalid Argument.", {EINVAL, ENODATA}},  // ENODATA: not 10000 + 61, "refused"
        {"Address family not supported by protocol family.", {EAFNOSUPPORT}},
        {"Protocol not supported.", {EPROTONOSUPPORT}}, {"Too many open files.", {EMFILE, ENFILE}},
        {"Socket type not supported.", {ESOCKTNOSUPPORT}}, {"Network is down.", {ENETDOWN}},
        {"No buffer space available.", {ENOBUFS, ENOMEM}}, {"Message too long.", {EMSGSIZE}},
        {"Network dropped connection.", {ENETRESET}}, {"Interrupted system call.", {EINTR}},
        {"Can't send after socket shutdown.", {ESHUTDOWN}}, {"Bad Address.", {EFAULT}},
        {"Socket operation on nonsocket.", {ENOTSOCK, EBADF}}, {"Host is down.", {EHOSTDOWN}},
        {"Destination address required.", {EDESTADDRREQ}},
        {"Operation not supported on socket.", {EOPNOTSUPP}}, {"", {0}}};
    // clang-format on
    for (const auto& [text, errors] : texts) {
        for (const int error : errors) {
            EXPECT_EQ(Winsock::SocketErrorText(platform::WinsockError(error)), text)
                << std::strerror(error);
        }
    }
    // A connection attempt's outcome reads by the ICMP message behind it.
    for (const auto& [error, text] : {std::pair{ENOPROTOOPT, "Connection refused."},
                                      {EOPNOTSUPP, "No route to host."},
                                      {EINVAL, "Network is unreachable."}}) {
        EXPECT_EQ(Winsock::SocketErrorText(platform::WinsockConnectError(error)), text) << text;
    }
}

}  // namespace

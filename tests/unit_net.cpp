// Socket services without a window or a name service; the name service: test_lookup.cpp.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "net/winsock.h"
#include "platform/winsock/winsock.h"
#include "tests/qt_printers.h"

namespace {

using Winsock::SocketErrorText;

TEST(SocketErrorText, GivesTheTextsOfTheTableAndNothingInItsGaps) {
    EXPECT_EQ(SocketErrorText(10101), QString("Disconnect."));
    EXPECT_EQ(SocketErrorText(11004), QString("Valid name, no data record of requested type."));
    // The codes with a text are exactly these runs; each text is one sentence.
    const std::pair<std::int32_t, std::int32_t> runs[] = {
        {10004, 10004}, {10009, 10009}, {10013, 10014}, {10022, 10022}, {10024, 10024},
        {10035, 10071}, {10091, 10093}, {10101, 10101}, {11001, 11004}};
    for (std::int32_t code = 9000; code <= 12000; ++code) {
        const QString text = SocketErrorText(code);
        EXPECT_EQ(!text.isEmpty(), std::any_of(std::begin(runs), std::end(runs), [code](auto run) {
            return run.first <= code && code <= run.second;
        })) << code;
        EXPECT_TRUE(text.isEmpty() || (text.endsWith('.') && text == text.simplified())) << code;
    }
    for (const std::int32_t code : {0, -1, -10054, 10054 + 65536, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(SocketErrorText(code), QString()) << code;
    }
}

// What the user reads for each errno a socket call can give: the Winsock code of the same
// meaning, looked up by name (Linux and Winsock number them differently), and its text.
TEST(SocketErrorText, EachErrnoReadsAsTheTextOfTheWinsockErrorOfItsMeaning) {
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
            EXPECT_EQ(SocketErrorText(platform::WinsockError(error)), text) << std::strerror(error);
        }
    }
    // A connection attempt's outcome reads by the ICMP message behind it.
    EXPECT_EQ(SocketErrorText(platform::WinsockConnectError(ENOPROTOOPT)), "Connection refused.");
    EXPECT_EQ(SocketErrorText(platform::WinsockConnectError(EOPNOTSUPP)), "No route to host.");
    EXPECT_EQ(SocketErrorText(platform::WinsockConnectError(EINVAL)), "Network is unreachable.");
}

TEST(Resolution, DottedTextsAreReadWithoutTheNameServiceAndANameWithANulIsNotFound) {
    EXPECT_EQ(Winsock::AddressToText(16777343), QString("127.0.0.1"));
    for (const char* text : {"127.0.0.1", "127.1", "0x7f.0.0.1", "0177.0.0.1"}) {
        EXPECT_EQ(Winsock::HostToAddress(text), 16777343) << text;
    }
    // The broadcast address and a failed lookup cannot be told apart.
    EXPECT_EQ(Winsock::HostToAddress("255.255.255.255"), -1);
    // A NUL would end the name for the platform; a malformed name the resolver turns down.
    for (const QString& name :
         {QStringLiteral("127.0.0.1") + QChar(0) + "evil.test",
          QStringLiteral("localhost") + QChar(0), QStringLiteral("no..such.host.invalid")}) {
        WSASetLastError(0);
        const std::int32_t address = Winsock::HostToAddress(name);
        const int error = WSAGetLastError();
        EXPECT_EQ(std::tuple(address, error, Winsock::OfficialHostName(name),
                             Winsock::LocalHostAddress(name)),
                  std::tuple(-1, WSAHOST_NOT_FOUND, "Unknown", -1))
            << name.toStdString();
    }
}

}  // namespace

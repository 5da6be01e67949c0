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
    const std::pair<QString, std::vector<int>> texts[] = {
        {"Operation would block.", {EAGAIN, EINPROGRESS}},
        {"Operation already in progress.", {EALREADY}},
        {"Socket is already connected.", {EISCONN}},
        {"Socket is not connected.", {ENOTCONN}},
        {"Connection reset by peer.", {EPIPE, ECONNRESET}},
        {"Connection refused.", {ECONNREFUSED}},
        {"Connection timed out.", {ETIMEDOUT}},
        {"No route to host.", {EHOSTUNREACH, ENONET}},
        {"Network is unreachable.", {ENETUNREACH}},
        {"Software caused connection abort.", {ECONNABORTED, EPROTO}},
        {"Address already in use.", {EADDRINUSE}},
        {"Can't assign requested address.", {EADDRNOTAVAIL}},
        {"Permission Denied.", {EACCES, EPERM}},
        {"Invalid Argument.", {EINVAL, ENODATA}},  // ENODATA: not 10000 + 61, "refused"
        {"Address family not supported by protocol family.", {EAFNOSUPPORT}},
        {"Protocol not supported.", {EPROTONOSUPPORT}},
        {"Socket type not supported.", {ESOCKTNOSUPPORT}},
        {"Too many open files.", {EMFILE, ENFILE}},
        {"No buffer space available.", {ENOBUFS, ENOMEM}},
        {"Network is down.", {ENETDOWN}},
        {"Network dropped connection.", {ENETRESET}},
        {"Can't send after socket shutdown.", {ESHUTDOWN}},
        {"Host is down.", {EHOSTDOWN}},
        {"Socket operation on nonsocket.", {ENOTSOCK, EBADF}},
        {"Interrupted system call.", {EINTR}},
        {"Bad Address.", {EFAULT}},
        {"Message too long.", {EMSGSIZE}},
        {"Destination address required.", {EDESTADDRREQ}},
        {"Protocol not available.", {ENOPROTOOPT}},
        {"Operation not supported on socket.", {EOPNOTSUPP}},
        {"", {0}}};
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

TEST(Resolution, DottedTextsAreReadAndWrittenWithoutTheNameService) {
    EXPECT_EQ(Winsock::AddressToText(16777343), QString("127.0.0.1"));
    for (const char* text : {"127.0.0.1", "127.1", "0x7f.0.0.1", "0177.0.0.1"}) {
        EXPECT_EQ(Winsock::HostToAddress(text), 16777343) << text;
    }
    // The broadcast address and a failed lookup cannot be told apart.
    EXPECT_EQ(Winsock::HostToAddress("255.255.255.255"), -1);
}

// A NUL would end the name for the platform; a malformed name the resolver turns down itself.
TEST(Resolution, ANameWithANulOrAnEmptyLabelIsNotFound) {
    for (const QString& name :
         {QStringLiteral("127.0.0.1") + QChar(0) + "evil.test",
          QStringLiteral("localhost") + QChar(0), QStringLiteral("no..such.host.invalid")}) {
        WSASetLastError(0);
        EXPECT_EQ(Winsock::HostToAddress(name), -1) << name.toStdString();
        EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND) << name.toStdString();
        EXPECT_EQ(Winsock::OfficialHostName(name), QString("Unknown"));
        EXPECT_EQ(Winsock::LocalHostAddress(name), -1);
    }
}

}  // namespace

// Socket services without a window or a name service; the name service: test_lookup.cpp.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "net/winsock.h"
#include "platform/winsock.h"
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
    const QString block = "Operation would block.", reset = "Connection reset by peer.",
                  noRoute = "No route to host.", aborted = "Software caused connection abort.";
    // ENODATA (61) has no socket meaning: not 10000 + 61, "Connection refused."
    const std::pair<int, QString> rows[] = {
        {EAGAIN, block},
        {EINPROGRESS, block},
        {EALREADY, "Operation already in progress."},
        {EISCONN, "Socket is already connected."},
        {ENOTCONN, "Socket is not connected."},
        {EPIPE, reset},
        {ECONNRESET, reset},
        {ECONNREFUSED, "Connection refused."},
        {ETIMEDOUT, "Connection timed out."},
        {EHOSTUNREACH, noRoute},
        {ENONET, noRoute},
        {ENETUNREACH, "Network is unreachable."},
        {ECONNABORTED, aborted},
        {EPROTO, aborted},
        {EADDRINUSE, "Address already in use."},
        {EADDRNOTAVAIL, "Can't assign requested address."},
        {EACCES, "Permission Denied."},
        {EPERM, "Permission Denied."},
        {EINVAL, "Invalid Argument."},
        {EAFNOSUPPORT, "Address family not supported by protocol family."},
        {EPROTONOSUPPORT, "Protocol not supported."},
        {ESOCKTNOSUPPORT, "Socket type not supported."},
        {EMFILE, "Too many open files."},
        {ENFILE, "Too many open files."},
        {ENOBUFS, "No buffer space available."},
        {ENOMEM, "No buffer space available."},
        {ENETDOWN, "Network is down."},
        {ENETRESET, "Network dropped connection."},
        {ESHUTDOWN, "Can't send after socket shutdown."},
        {EHOSTDOWN, "Host is down."},
        {ENOTSOCK, "Socket operation on nonsocket."},
        {EBADF, "Socket operation on nonsocket."},
        {EINTR, "Interrupted system call."},
        {EFAULT, "Bad Address."},
        {EMSGSIZE, "Message too long."},
        {EDESTADDRREQ, "Destination address required."},
        {ENOPROTOOPT, "Protocol not available."},
        {EOPNOTSUPP, "Operation not supported on socket."},
        {0, ""},
        {ENODATA, "Invalid Argument."}};
    for (const auto& [error, text] : rows) {
        EXPECT_EQ(SocketErrorText(platform::WinsockError(error)), text) << std::strerror(error);
    }
    // A connection attempt's outcome reads by the ICMP message behind it.
    const std::pair<int, QString> connectRows[] = {{ENOPROTOOPT, "Connection refused."},
                                                   {EOPNOTSUPP, noRoute},
                                                   {EINVAL, "Network is unreachable."}};
    for (const auto& [error, text] : connectRows) {
        EXPECT_EQ(SocketErrorText(platform::WinsockConnectError(error)), text) << error;
    }
}

TEST(Resolution, DottedTextsAreReadAndWrittenWithoutTheNameService) {
    EXPECT_EQ(Winsock::AddressToText(16777343), QString("127.0.0.1"));
    for (const char* text : {"127.0.0.1", "127.1", "0x7f.0.0.1", "0177.0.0.1"}) {
        EXPECT_EQ(Winsock::HostToAddress(text), 16777343) << text;
    }
    // The broadcast address and a failed lookup cannot be told apart.
    EXPECT_EQ(Winsock::HostToAddress("255.255.255.255"), -1);
}

}  // namespace

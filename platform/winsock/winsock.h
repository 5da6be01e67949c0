#pragma once
// Stand-in for the Windows Sockets calls that Linux does not have. Linux sockets need no
// start-up, so WSAStartup only checks the version asked for and counts the users, as Winsock
// does. Errors are reported with Winsock's numbers (10000 + the BSD errno); Linux numbers its
// errno values differently, so they are mapped by name.
//
// Sockets that the program works with through Winsock calls are opened here
// (platform::socket) and closed here (closesocket). Linux hands out the lowest free
// descriptor number, so a number that was just closed comes back at once for the next file;
// closesocket therefore only closes a socket that this stand-in opened and has not closed yet.

#include <cstddef>
#include <cstdint>

#include <sys/socket.h>

class QObject;

constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int SOCKET_ERROR = -1;
constexpr int INVALID_SOCKET = -1;

// Windows Sockets error codes.
constexpr int WSAEINTR = 10004;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
// Failures of the name service.
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Network events of WSAAsyncSelect: the low word of a notification's lParam.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

// Returns 0 and fills `data`, or a Winsock error code (also when a test asked it to fail).
int WSAStartup(std::uint16_t versionRequested, WSADATA* data);
// Returns 0, or SOCKET_ERROR with WSANOTINITIALISED when there was no start-up to undo.
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

// Closes a socket opened by platform::socket: 0, or SOCKET_ERROR with WSAENOTSOCK for any
// other handle (-1, 0, one already closed), which is left alone.
int closesocket(int socket);

// Makes the socket non-blocking and from now on posts `message` to `window` once per network
// event of `events` (FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), as a platform::SocketMessage
// on the thread that runs the window, with the socket as wParam and event | error << 16 as
// lParam. The rules are Winsock's: one FD_CONNECT with the outcome of connect; FD_WRITE once
// connected and again when room frees up after a send that would block; FD_READ while data
// waits, posted again only after a recv; FD_CLOSE once, after the last byte has been read
// (error 0 for an orderly close, WSAECONNRESET for a reset). Nothing more is delivered for a
// socket once it is closed, not even a message already posted. A window of nullptr or no
// events cancels the notifications. 0, or SOCKET_ERROR.
int WSAAsyncSelect(int socket, QObject* window, unsigned message, long events);

namespace platform {
// Test seam: makes every following WSAStartup return `error` (0 lets it succeed again).
void SetWSAStartupFailure(int error);
// Successful WSAStartup calls not yet balanced by WSACleanup.
int WinsockUsers();

// The Windows Sockets error code for a Linux errno value.
int WinsockError(int errnoValue);
// The same for the outcome of a connection attempt, where Linux reports some ICMP answers
// with errno values that Winsock gives other meanings.
int WinsockConnectError(int errnoValue);

// Winsock's socket, connect, recv and send. They take and give Winsock's values
// (INVALID_SOCKET or SOCKET_ERROR on failure, the code in WSAGetLastError) and keep the
// notifications of WSAAsyncSelect in step: recv re-arms FD_READ, a send that would block
// arms FD_WRITE, and connect on a notifying socket reports its outcome as FD_CONNECT.
int socket(int family, int type, int protocol);
int connect(int socket, const sockaddr* address, socklen_t length);
std::ptrdiff_t recv(int socket, void* buffer, std::size_t length, int flags);
std::ptrdiff_t send(int socket, const void* buffer, std::size_t length, int flags);
// Sockets opened by platform::socket and not yet closed.
int OpenSockets();
}  // namespace platform

#include "platform/winsock/winsock.h"

#include <cerrno>
#include <cstring>

namespace {
int startupFailure = 0;
int users = 0;
thread_local int lastError = 0;
}  // namespace

int WSAStartup(std::uint16_t versionRequested, WSADATA* data) {
    if (startupFailure != 0) {
        return startupFailure;
    }
    const int major = versionRequested & 0xff;
    if (major < 1) {
        return WSAVERNOTSUPPORTED;
    }
    if (data != nullptr) {
        *data = WSADATA{};
        data->wVersion = 0x0101;
        data->wHighVersion = 0x0202;
        std::strcpy(data->szDescription, "Linux sockets");
        std::strcpy(data->szSystemStatus, "Running");
        data->iMaxSockets = 32767;
        data->iMaxUdpDg = 65467;
    }
    ++users;
    return 0;
}

int WSACleanup() {
    if (users == 0) {
        lastError = WSANOTINITIALISED;
        return SOCKET_ERROR;
    }
    --users;
    return 0;
}

int WSAGetLastError() {
    return lastError;
}

void WSASetLastError(int error) {
    lastError = error;
}

namespace platform {
void SetWSAStartupFailure(int error) {
    startupFailure = error;
}
int WinsockUsers() {
    return users;
}
}  // namespace platform

namespace platform {

int WinsockError(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return 0;
        case EAGAIN:
        case EINPROGRESS:
            return WSAEWOULDBLOCK;
        case EALREADY:
            return WSAEALREADY;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case EPIPE:
        case ECONNRESET:
            return WSAECONNRESET;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ECONNABORTED:
            return WSAECONNABORTED;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EINVAL:
            return WSAEINVAL;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        case EPROTONOSUPPORT:
            return WSAEPROTONOSUPPORT;
        case ESOCKTNOSUPPORT:
            return WSAESOCKTNOSUPPORT;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        case ENOBUFS:
        case ENOMEM:
            return WSAENOBUFS;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETRESET:
            return WSAENETRESET;
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case EHOSTDOWN:
            return WSAEHOSTDOWN;
        case ENOTSOCK:
        case EBADF:
            return WSAENOTSOCK;
        case EINTR:
            return WSAEINTR;
        case EFAULT:
            return WSAEFAULT;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case EDESTADDRREQ:
            return WSAEDESTADDRREQ;
        case EOPNOTSUPP:
            return WSAEOPNOTSUPP;
        case ENOPROTOOPT:
            return WSAENOPROTOOPT;
        case ENONET:
            return WSAEHOSTUNREACH;
        case EPROTO:
            return WSAECONNABORTED;
        default:
            // Linux has errno values that sockets never meet under Winsock. 10000 + errno
            // would pass some of them off as unrelated codes (ENODATA 61 as "refused").
            return WSAEINVAL;
    }
}

int WinsockConnectError(int errnoValue) {
    switch (errnoValue) {
        case ENOPROTOOPT:  // ICMP protocol unreachable
            return WSAECONNREFUSED;
        case EOPNOTSUPP:  // ICMP source route failed
            return WSAEHOSTUNREACH;
        case EINVAL:  // a blackhole route
            return WSAENETUNREACH;
        default:
            return WinsockError(errnoValue);
    }
}

}  // namespace platform

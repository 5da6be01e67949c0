#include "platform/winsock.h"

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

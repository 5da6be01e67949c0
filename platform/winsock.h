#pragma once
// Stand-in for the Windows Sockets start-up calls. Linux sockets need no start-up, so
// WSAStartup only checks the version asked for and counts the users, as Winsock does;
// errors are reported with Winsock's numbers (10000 + the BSD errno).

#include <cstdint>

constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int SOCKET_ERROR = -1;

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

namespace platform {
// Test seam: makes every following WSAStartup return `error` (0 lets it succeed again).
void SetWSAStartupFailure(int error);
// Successful WSAStartup calls not yet balanced by WSACleanup.
int WinsockUsers();
}  // namespace platform

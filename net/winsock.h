#pragma once
// Socket services: Windows Sockets error texts, host name and address resolution, and the
// TCP stream connection of the whois client. IPv4 addresses are 32-bit integers holding the
// four address bytes in network byte order (127.0.0.1 is 16777343).

#include <cstdint>

#include <QByteArray>
#include <QString>

class QObject;

namespace Winsock {

// The English sentence for a Windows Sockets error code; empty for a code without one.
QString SocketErrorText(std::int32_t code);

// Name resolution. Each reports failure by a fixed value and never throws; a lookup that
// fails leaves the name service's code in WSAGetLastError() (WSAHOST_NOT_FOUND 11001,
// WSATRY_AGAIN 11002, WSANO_RECOVERY 11003, WSANO_DATA 11004). A text with a NUL in it names
// no host.
QString AddressToText(std::int32_t address);      // "255.255.255.255" on failure
QString AddressToHostName(std::int32_t address);  // "Unknown" on failure
std::int32_t HostToAddress(QString host);         // -1 on failure
QString LocalHostName();                          // "Unknown" on failure
QString OfficialHostName(QString host);           // "Unknown" on failure

// The address by which other hosts know this computer, named `localName` (LocalHostName()):
// the first address the name service lists for that name that is not a loopback one (Linux
// hosts files often map their own name to 127.0.1.1). When every listed address is loopback,
// it is the source address of the route to the outside, else the first IPv4 address of an
// interface that is up and not loopback, else the first listed address after all. -1 on
// failure.
std::int32_t LocalHostAddress(QString localName);

// The private message with which socket events reach the window.
constexpr std::int32_t WM_SOCKET_NOTIFY = 1025;

// TCP stream connection. `window` receives the socket's notifications (nullptr: none);
// `asynchronous` is True (-1) for a connection that is made in the background. After a
// failure (-1), WSAGetLastError() tells why (the name service's code for a host that does not
// resolve), or is 0 when there is no code to tell (port -1).
std::int32_t OpenStreamConnection(QString host, std::int16_t port, QString& peer, QObject* window,
                                  std::int16_t asynchronous);
std::int32_t ApplyLinger(std::int32_t socket, std::int16_t onOff, std::int16_t seconds);
std::int32_t SendToSocket(std::int32_t socket, const QString& data);
std::int32_t SendToSocket(std::int32_t socket, const QByteArray& data);
std::int16_t LowWordOf(std::int32_t value);
std::int16_t HighWordOf(std::int32_t value);

}  // namespace Winsock

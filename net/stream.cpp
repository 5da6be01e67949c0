#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/winsock.h"
#include "platform/winsock/winsock.h"

namespace Winsock {

namespace {

constexpr std::int16_t kTrue = -1;
constexpr long kNotifyEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

// Handles of 0 and below were never opened here.
void CloseOpened(std::int32_t socket) {
    if (socket > 0) {
        closesocket(socket);
    }
}

}  // namespace

std::int32_t OpenStreamConnection(QString host, std::int16_t port, QString& peer, QObject* window,
                                  std::int16_t asynchronous) {
    WSASetLastError(0);  // a failure without a code leaves none behind
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (address.sin_port == 0xffff) {
        return -1;
    }
    // The text goes whole to the lookup: a port is never taken from it.
    const std::int32_t hostAddress = HostToAddress(host);
    if (hostAddress == -1) {
        return -1;
    }
    address.sin_addr.s_addr = static_cast<in_addr_t>(hostAddress);
    peer = AddressToText(hostAddress) + QLatin1Char(':') +
           QString::number(static_cast<std::int16_t>(ntohs(address.sin_port)));

    const std::int32_t socket = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket < 0) {
        return -1;
    }
    // Linger on with no time: closing the socket resets the connection at once.
    if (ApplyLinger(socket, 1, 0) == -1) {
        CloseOpened(socket);
        return -1;
    }
    const auto* peerAddress = reinterpret_cast<const sockaddr*>(&address);
    if (asynchronous == kTrue) {
        if (WSAAsyncSelect(socket, window, WM_SOCKET_NOTIFY, kNotifyEvents) != 0) {
            CloseOpened(socket);
            return -1;
        }
        // SOCKET_ERROR is the usual answer here: the connection is under way and its outcome
        // comes as FD_CONNECT. A connection that stands at once is not expected and fails.
        if (platform::connect(socket, peerAddress, sizeof address) == SOCKET_ERROR) {
            return socket;
        }
        CloseOpened(socket);
        return -1;
    }
    if (platform::connect(socket, peerAddress, sizeof address) != 0) {
        CloseOpened(socket);
        return -1;
    }
    if (window == nullptr) {
        return socket;
    }
    if (WSAAsyncSelect(socket, window, WM_SOCKET_NOTIFY, kNotifyEvents) == 0) {
        return socket;
    }
    CloseOpened(socket);
    return -1;
}

std::int32_t ApplyLinger(std::int32_t socket, std::int16_t onOff, std::int16_t seconds) {
    // Linux's linger record has two ints where Winsock 1.1 has two 16-bit fields.
    linger setting{};
    setting.l_onoff = onOff;
    setting.l_linger = static_cast<std::uint16_t>(seconds);
    if (::setsockopt(socket, SOL_SOCKET, SO_LINGER, &setting, sizeof setting) != 0) {
        WSASetLastError(platform::WinsockError(errno));
        return -1;
    }
    socklen_t length = sizeof setting;
    if (::getsockopt(socket, SOL_SOCKET, SO_LINGER, &setting, &length) != 0) {
        WSASetLastError(platform::WinsockError(errno));
        return -1;
    }
    return 0;
}

std::int32_t SendToSocket(std::int32_t socket, const QString& data) {
    return SendToSocket(socket, data.toLocal8Bit());
}

std::int32_t SendToSocket(std::int32_t socket, const QByteArray& data) {
    if (data.isEmpty()) {
        return 0;
    }
    return static_cast<std::int32_t>(
        platform::send(socket, data.constData(), static_cast<std::size_t>(data.size()), 0));
}

std::int16_t LowWordOf(std::int32_t value) {
    return static_cast<std::int16_t>(value & 0xffff);
}

std::int16_t HighWordOf(std::int32_t value) {
    return static_cast<std::int16_t>((value >> 16) & 0xffff);
}

}  // namespace Winsock

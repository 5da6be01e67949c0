// Winsock's socket calls and WSAAsyncSelect on Linux sockets and QSocketNotifier.
//
// Linux readiness is level-triggered: a read notifier fires on every pass of the event loop
// while data waits, and without end once the peer has closed. Winsock's rules are
// edge-like, so each notifier is switched off when it has posted its event and switched on
// again by the call that Winsock re-arms the event with (recv for FD_READ, a send that would
// block for FD_WRITE). Whether data, an orderly close or a reset is waiting is asked with a
// one-byte MSG_PEEK, which leaves the data in place; the kernel reports a reset only once, so
// a reset that recv consumed is kept for the FD_CLOSE that follows.
//
// Everything here runs on the thread of the window's event loop; the table of open sockets is
// not shared with other threads.

#include "platform/winsock/asyncselect.h"

#include <cerrno>
#include <unordered_map>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/winsock/winsock.h"

namespace platform {

SocketMessage::SocketMessage(unsigned message, std::int32_t wParam, std::int32_t lParam)
    : QEvent(EventType()), message(message), wParam(wParam), lParam(lParam) {}

QEvent::Type SocketMessage::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace platform

namespace {

int Fail(int code) {
    WSASetLastError(code);
    return SOCKET_ERROR;
}

bool Started() {
    return platform::WinsockUsers() > 0;
}

bool IsConnected(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

bool StillConnecting(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
           info.tcpi_state == TCP_SYN_SENT;
}

// A connection that ends by a time-out after it stood is reported as aborted.
int CloseError(int errnoValue) {
    return errnoValue == ETIMEDOUT ? WSAECONNABORTED : platform::WinsockError(errnoValue);
}

// The notifications of one socket for one window. Messages are first posted to this object
// and handed on to the window when they come out of the queue, so that a socket closed in
// the meantime (whose number Linux may already have given to a new socket) delivers
// nothing more.
class Selection : public QObject {
public:
    Selection(int fd, QObject* window, unsigned message, long events)
        : fd_(fd),
          window_(window),
          message_(message),
          events_(events),
          read_(fd, QSocketNotifier::Read),
          write_(fd, QSocketNotifier::Write) {
        read_.setEnabled(false);
        write_.setEnabled(false);
        QObject::connect(&read_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
        QObject::connect(&write_, &QSocketNotifier::activated, this, [this] { OnWritable(); });
        if (IsConnected(fd)) {
            // Registered after a blocking connect: the socket can be written to at once.
            state_ = State::Connected;
            read_.setEnabled(true);
            Post(FD_WRITE, 0);
        }
    }

    void ConnectStarted() {
        state_ = State::Connecting;
        write_.setEnabled(true);
    }
    void ConnectFailed(int error) {
        state_ = State::Ended;
        Post(FD_CONNECT, error);
    }
    void ConnectSucceeded() {
        state_ = State::Connected;
        Post(FD_CONNECT, 0);
        Post(FD_WRITE, 0);
        read_.setEnabled(true);
    }

    void AfterRecv(std::ptrdiff_t result, int errnoValue) {
        if (state_ != State::Connected) {
            return;
        }
        if (result < 0 && errnoValue != EAGAIN && errnoValue != EINTR) {
            latchedError_ = CloseError(errnoValue);
        }
        read_.setEnabled(true);
    }
    void AfterSendWouldBlock() {
        if (state_ == State::Connected) {
            write_.setEnabled(true);
        }
    }

    // From now on nothing is delivered, not even what is already posted.
    void Stop() {
        state_ = State::Ended;
        stopped_ = true;
        read_.setEnabled(false);
        write_.setEnabled(false);
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() != platform::SocketMessage::EventType()) {
            return QObject::event(event);
        }
        if (!stopped_ && window_ != nullptr) {
            const auto* posted = static_cast<platform::SocketMessage*>(event);
            platform::SocketMessage message(posted->message, posted->wParam, posted->lParam);
            QCoreApplication::sendEvent(window_, &message);
        }
        return true;
    }

private:
    enum class State { Idle, Connecting, Connected, Ended };

    void Post(long event, int error) {
        if ((events_ & event) == 0) {
            return;
        }
        const auto lParam =
            static_cast<std::uint32_t>(event) | (static_cast<std::uint32_t>(error & 0xffff) << 16);
        QCoreApplication::postEvent(
            this, new platform::SocketMessage(message_, fd_, static_cast<std::int32_t>(lParam)));
    }

    void OnReadable() {
        read_.setEnabled(false);
        if (state_ != State::Connected) {
            return;
        }
        char byte = 0;
        const ssize_t peeked = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked > 0) {
            Post(FD_READ, 0);  // recv switches the notifier on again
            return;
        }
        if (peeked < 0 && (errno == EAGAIN || errno == EINTR)) {
            read_.setEnabled(true);
            return;
        }
        state_ = State::Ended;
        Post(FD_CLOSE, peeked == 0 ? latchedError_ : CloseError(errno));
    }

    void OnWritable() {
        write_.setEnabled(false);
        if (state_ == State::Connected) {
            Post(FD_WRITE, 0);
            return;
        }
        if (state_ != State::Connecting) {
            return;
        }
        // SO_ERROR is cleared by reading it, so it is read once.
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == ECONNRESET || error == EPIPE) {
            // The peer reset a connection that had stood, before we looked: Winsock reports
            // the connection, then the data that came before the reset, then the reset.
            latchedError_ = WSAECONNRESET;
            ConnectSucceeded();
        } else if (error != 0) {
            ConnectFailed(platform::WinsockConnectError(error));
        } else if (StillConnecting(fd_)) {
            write_.setEnabled(true);
        } else {
            ConnectSucceeded();
        }
    }

    const int fd_;
    QPointer<QObject> window_;
    const unsigned message_;
    const long events_;
    QSocketNotifier read_;
    QSocketNotifier write_;
    State state_ = State::Idle;
    bool stopped_ = false;
    int latchedError_ = 0;
};

// Every socket opened by platform::socket and not yet closed, with its notifications if any.
std::unordered_map<int, QPointer<Selection>>& OpenSocketTable() {
    static std::unordered_map<int, QPointer<Selection>> table;
    return table;
}

// The table entry of one of our open sockets; null, with the Winsock error in `error`, when
// Winsock has not started or the socket is not one of ours.
QPointer<Selection>* FindOpenSocket(int socket, int& error) {
    if (!Started()) {
        error = WSANOTINITIALISED;
        return nullptr;
    }
    const auto found = OpenSocketTable().find(socket);
    if (found == OpenSocketTable().end()) {
        error = WSAENOTSOCK;
        return nullptr;
    }
    return &found->second;
}

void EndSelection(QPointer<Selection>& selection) {
    if (selection != nullptr) {
        selection->Stop();
        selection->deleteLater();
        selection = nullptr;
    }
}

}  // namespace

int closesocket(int socket) {
    int error = 0;
    QPointer<Selection>* const entry = FindOpenSocket(socket, error);
    if (entry == nullptr) {
        return Fail(error);
    }
    // The notifiers stop before the number is given back, or a new file could inherit them.
    EndSelection(*entry);
    OpenSocketTable().erase(socket);
    ::close(socket);
    return 0;
}

int WSAAsyncSelect(int socket, QObject* window, unsigned message, long events) {
    int error = 0;
    QPointer<Selection>* const entry = FindOpenSocket(socket, error);
    if (entry == nullptr) {
        return Fail(error);
    }
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0 || ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        return Fail(platform::WinsockError(errno));
    }
    EndSelection(*entry);
    if (window != nullptr && events != 0) {
        *entry = new Selection(socket, window, message, events);
    }
    return 0;
}

namespace platform {

int socket(int family, int type, int protocol) {
    if (!Started()) {
        return Fail(WSANOTINITIALISED);
    }
    int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        return Fail(WinsockError(errno));
    }
    if (fd == 0) {
        // Only when standard input is closed; to Winsock programs 0 means "no socket".
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        ::close(fd);
        if (moved < 0) {
            return Fail(WinsockError(errno));
        }
        fd = moved;
    }
    OpenSocketTable().emplace(fd, nullptr);
    return fd;
}

int connect(int socket, const sockaddr* address, socklen_t length) {
    int error = 0;
    QPointer<Selection>* const entry = FindOpenSocket(socket, error);
    if (entry == nullptr) {
        return Fail(error);
    }
    Selection* selection = *entry;
    // Linux takes the address 0.0.0.0 for this host and connects to it; Winsock refuses it.
    const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
    if (address != nullptr && length >= static_cast<socklen_t>(sizeof(sockaddr_in)) &&
        inet->sin_family == AF_INET && inet->sin_addr.s_addr == INADDR_ANY) {
        if (selection == nullptr) {
            return Fail(WSAEADDRNOTAVAIL);
        }
        selection->ConnectFailed(WSAEADDRNOTAVAIL);
        return Fail(WSAEWOULDBLOCK);
    }
    if (::connect(socket, address, length) == 0) {
        if (selection != nullptr) {
            selection->ConnectSucceeded();
        }
        return 0;
    }
    error = errno;
    if (selection == nullptr) {
        return Fail(WinsockConnectError(error));
    }
    switch (error) {
        case EINPROGRESS:
        case EINTR:
            selection->ConnectStarted();
            return Fail(WSAEWOULDBLOCK);
        case EALREADY:
        case EISCONN:
        case EBADF:
        case ENOTSOCK:
        case EFAULT:
        case EAFNOSUPPORT:
            return Fail(WinsockError(error));
        default:
            // Linux knows some outcomes at once (no route, for one) that Winsock reports
            // for a notifying socket as FD_CONNECT; do the same.
            selection->ConnectFailed(WinsockConnectError(error));
            return Fail(WSAEWOULDBLOCK);
    }
}

std::ptrdiff_t recv(int socket, void* buffer, std::size_t length, int flags) {
    int error = 0;
    QPointer<Selection>* const entry = FindOpenSocket(socket, error);
    if (entry == nullptr) {
        return Fail(error);
    }
    const ssize_t received = ::recv(socket, buffer, length, flags);
    error = errno;
    if (*entry != nullptr) {
        (*entry)->AfterRecv(received, error);
    }
    if (received < 0) {
        return Fail(WinsockError(error));
    }
    return received;
}

std::ptrdiff_t send(int socket, const void* buffer, std::size_t length, int flags) {
    int error = 0;
    QPointer<Selection>* const entry = FindOpenSocket(socket, error);
    if (entry == nullptr) {
        return Fail(error);
    }
    // MSG_NOSIGNAL: a peer that is gone gives an error, not SIGPIPE.
    const ssize_t sent = ::send(socket, buffer, length, flags | MSG_NOSIGNAL);
    if (sent >= 0) {
        return sent;
    }
    error = errno;
    if (error == EAGAIN && (*entry) != nullptr) {
        (*entry)->AfterSendWouldBlock();
    }
    if (error == EPIPE && !IsConnected(socket)) {
        return Fail(WSAENOTCONN);
    }
    return Fail(WinsockError(error));
}

int OpenSockets() {
    return static_cast<int>(OpenSocketTable().size());
}

}  // namespace platform

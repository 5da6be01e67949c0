#pragma once
// Test plumbing shared by the socket tests: TCP servers on 127.0.0.1 that run a few lines of
// test code per connection on their own thread, and bounded waits that keep the event loop
// running.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/qt_printers.h"

namespace loopback {

// Runs the event loop until `done` holds or `milliseconds` have passed; true if it holds.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        ::usleep(200);
    }
    return true;
}

// Runs the event loop for `milliseconds`, for checks that nothing more arrives.
inline void Spin(int milliseconds) {
    WaitUntil([] { return false; }, milliseconds);
}

// Waits without running the event loop.
inline bool WaitWithoutEvents(const std::function<bool()>& done, int milliseconds = 5000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        ::usleep(500);
    }
    return true;
}

inline int OpenDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

// Every read and write of a session gives up after two seconds, so no session hangs a test.
inline void BoundIo(int fd) {
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// Reads up to and including the first CR LF; what came before the end if the peer closed.
inline std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 4096 && ::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
            break;
        }
    }
    return line;
}

inline bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

// Waits for the peer to end the connection; true if it reset it.
inline bool AwaitEnd(int fd) {
    char buffer[4096];
    for (int reads = 0; reads < 10000; ++reads) {
        const ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received == 0) {
            return false;
        }
        if (received < 0) {
            return errno == ECONNRESET;
        }
    }
    return false;
}

// Closes with a reset instead of an orderly close.
inline void Reset(int fd) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

// A port on 127.0.0.1 that nothing listens on.
inline std::uint16_t ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A TCP server on 127.0.0.1 that hands each accepted connection to `session` on its own
// thread, one connection after the other. The session owns the connection and closes it.
class Server {
public:
    using Session = std::function<void(int fd)>;

    explicit Server(Session session, std::uint16_t port = 0) : session_(std::move(session)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        bound_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(listener_, 64) == 0;
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (bound_) {
            thread_ = std::thread([this] { Serve(); });
        }
    }
    ~Server() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(listener_);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool Listening() const { return bound_; }
    std::uint16_t Port() const { return port_; }
    // The port as the program's 16-bit port box takes it: ports above 32767 are negative.
    QString PortText() const { return QString::number(static_cast<std::int16_t>(port_)); }
    int Accepted() const { return accepted_; }
    int Finished() const { return finished_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 20) != 1) {
                continue;
            }
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            ++accepted_;
            BoundIo(fd);
            session_(fd);
            ++finished_;
        }
    }

    Session session_;
    int listener_ = -1;
    bool bound_ = false;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> finished_{0};
    std::thread thread_;
};

}  // namespace loopback

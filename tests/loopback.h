#pragma once
// Socket test plumbing: bounded waits, and TCP servers on 127.0.0.1 with their own thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <QCoreApplication>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/qt_printers.h"

namespace loopback {

// Waits until `done` holds, at most `milliseconds`, running the event loop unless told not to.
inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000,
                      bool events = true) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done() && std::chrono::steady_clock::now() < end) {
        if (events) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        ::usleep(200);
    }
    return done();
}
inline void Spin(int milliseconds) {
    WaitUntil([] { return false; }, milliseconds);
}

// Reads up to and including the first CR LF, or what came before the peer closed.
inline std::string ReadLine(int fd) {
    std::string line;
    for (char c = 0; !line.ends_with("\r\n") && ::recv(fd, &c, 1, 0) == 1;) {
        line += c;
    }
    return line;
}
inline bool WriteAll(int fd, std::string_view bytes) {
    ssize_t sent = 0;
    while (!bytes.empty() && (sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return bytes.empty();
}
// Reads until the peer ends the connection; true if it reset it.
inline bool AwaitEnd(int fd) {
    char buffer[4096];
    ssize_t received = 0;
    while ((received = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
    }
    return received < 0 && errno == ECONNRESET;
}

// A TCP server on 127.0.0.1 that hands each connection in turn to `session` on its own thread,
// which closes it; reads and writes give up after 2 s. Without a session it refuses them all.
class Server {
public:
    explicit Server(std::function<void(int fd)> session) : session_(std::move(session)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (session_ && ::listen(listener_, 64) == 0) {
            thread_ = std::thread([this] { Serve(); });
        }
    }
    ~Server() {
        ::shutdown(listener_, SHUT_RDWR);  // wakes the waiting accept, which then fails
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(listener_);
    }

    std::uint16_t Port() const { return port_; }
    // The port as the program's 16-bit port box takes it: ports above 32767 are negative.
    QString PortText() const { return QString::number(static_cast<std::int16_t>(port_)); }
    int Finished() const { return finished_; }

private:
    void Serve() {
        for (int fd; (fd = ::accept(listener_, nullptr, nullptr)) >= 0; ++finished_) {
            const timeval limit{2, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            session_(fd);
        }
    }

    std::function<void(int fd)> session_;
    int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint16_t port_ = 0;
    std::atomic<int> finished_{0};
    std::thread thread_;
};

}  // namespace loopback

#include "platform/icmp/sockets.h"

#include <time.h>  // before linux/errqueue.h, which needs struct timespec

#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <optional>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Socket option of raw ICMP sockets (linux/icmp.h, which clashes with the C library's
// headers): a mask of the ICMP types the kernel keeps away from the socket.
constexpr int kSolRaw = 255;
constexpr int kIcmpFilter = 1;

// Addresses are held as the four bytes in network order read as a little-endian integer.
std::uint32_t AddressOf(const sockaddr_in& address) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &address.sin_addr.s_addr, sizeof bytes);
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

sockaddr_in SocketAddressOf(std::uint32_t address) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
    std::memcpy(&result.sin_addr.s_addr, bytes, sizeof bytes);
    return result;
}

bool NothingToRead() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

// An identifier for a raw socket's echoes, unlike those of this process's other sockets and,
// as far as may be, of other processes'.
std::uint16_t NewIdentifier() {
    static const auto base = static_cast<std::uint32_t>(::getpid()) ^
                             static_cast<std::uint32_t>(
                                 std::chrono::steady_clock::now().time_since_epoch().count() >> 10);
    static std::atomic<std::uint32_t> opened{0};
    return static_cast<std::uint16_t>(base + 7919 * opened.fetch_add(1, std::memory_order_relaxed));
}

int OpenDatagram(std::uint16_t /*identifier*/) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
        ::setsockopt(fd, SOL_IP, IP_RECVTTL, &on, sizeof on);
    }
    return fd;
}

// Takes one packet from a raw socket, if one is waiting.
ReadResult ReadRaw(int fd, std::span<std::uint8_t> incoming, const PendingEcho& echo,
                   EchoOutcome& outcome, int& error) {
    const ssize_t received = ::recv(fd, incoming.data(), incoming.size(), MSG_DONTWAIT);
    if (received < 0) {
        if (NothingToRead()) {
            return ReadResult::Empty;
        }
        if (errno == EINTR) {
            return ReadResult::Other;
        }
        error = errno;
        return ReadResult::Failed;
    }
    const auto match = MatchRawPacket(incoming.first(static_cast<std::size_t>(received)), echo);
    if (!match) {
        return ReadResult::Other;
    }
    outcome = *match;
    return ReadResult::Matched;
}

// A header for recvmsg() that takes the sender's address, one part of data and control data.
msghdr MessageFor(sockaddr_in& from, iovec& part, std::span<std::uint8_t> control) {
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    return message;
}

// The ICMP error in a datagram socket's error queue that belongs to `echo`; the entries about
// other echoes are dropped on the way. So are errors of local origin: the kernel queues one
// only beside a send that it refuses with the same error, which that echo has reported.
std::optional<EchoOutcome> ReadErrorQueue(int fd, const PendingEcho& echo) {
    for (;;) {
        std::uint8_t quoted[64];
        alignas(cmsghdr) std::uint8_t control[256];
        sockaddr_in target{};
        iovec part{quoted, sizeof quoted};
        msghdr message = MessageFor(target, part, control);
        const ssize_t received = ::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        const sock_extended_err* error = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) {
                error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
            }
        }
        // The quoted data is the header of the request the error is about.
        if (error == nullptr || error->ee_origin != SO_EE_ORIGIN_ICMP ||
            AddressOf(target) != echo.destination || received < 8 ||
            quoted[0] != 8 /* echo request */ || ((quoted[6] << 8) | quoted[7]) != echo.sequence) {
            continue;
        }
        const auto status = StatusForIcmpError(error->ee_type, error->ee_code);
        if (!status) {
            continue;
        }
        EchoOutcome outcome;
        outcome.status = *status;
        const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(error));
        if (offender->sin_family == AF_INET) {
            outcome.source = AddressOf(*offender);
        }
        return outcome;
    }
}

// Takes one reply from a datagram socket, or the ICMP error reported for the echo. The error
// queue is read whenever nothing else is waiting: an entry there keeps poll() reporting
// POLLERR until it is taken.
ReadResult ReadDatagram(int fd, std::span<std::uint8_t> incoming, const PendingEcho& echo,
                        EchoOutcome& outcome, int& /*error*/) {
    sockaddr_in source{};
    alignas(cmsghdr) std::uint8_t control[64];
    iovec part{incoming.data(), incoming.size()};
    msghdr message = MessageFor(source, part, control);
    const ssize_t received = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (received < 0) {
        if (errno == EINTR) {
            return ReadResult::Other;
        }
        // Either nothing is there, or an ICMP error was reported whose details wait in the
        // error queue.
        const bool empty = NothingToRead();
        const auto reported = ReadErrorQueue(fd, echo);
        if (!reported) {
            return empty ? ReadResult::Empty : ReadResult::Other;
        }
        outcome = *reported;
        return ReadResult::Matched;
    }
    const auto match = MatchDatagramReply(incoming.first(static_cast<std::size_t>(received)),
                                          AddressOf(source), echo);
    if (!match) {
        return ReadResult::Other;
    }
    outcome = *match;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL) {
            int ttl = 0;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            outcome.ttl = static_cast<std::uint8_t>(ttl);
        }
    }
    return ReadResult::Matched;
}

constexpr IcmpSocketType kDatagram{IcmpSocketKind::Datagram, OpenDatagram, ReadDatagram};
// A raw socket is handed a copy of every ICMP packet the host receives. Two filters keep its
// queue to what it waits for, so that other echoes never crowd out its own reply: the ICMP
// filter lets through only echo replies and the errors that can end an echo (which also keeps
// our own request away on loopback), and a socket filter drops the echo replies that carry
// another identifier, as ping's does.
int OpenFilteredRaw(std::uint16_t identifier) {
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        return fd;
    }
    const std::uint32_t wanted = 1u << 0 | 1u << 3 | 1u << 4 | 1u << 11 | 1u << 12;
    const std::uint32_t filtered = ~wanted;
    ::setsockopt(fd, kSolRaw, kIcmpFilter, &filtered, sizeof filtered);
    sock_filter program[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                 // X: the IP header's length
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),                  // the ICMP identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 2, 0),  // ours: keep
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),                  // the ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0),           // another's echo reply: drop
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),                 // keep whole
        BPF_STMT(BPF_RET | BPF_K, 0),                           // drop
    };
    const sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
    ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter);
    return fd;
}

constexpr IcmpSocketType kRaw{IcmpSocketKind::Raw, OpenFilteredRaw, ReadRaw};

// Whether the last socket was raw: the next one tries that kind first, so that root on a
// system whose ping_group_range admits nobody does not pay for a refused datagram socket on
// every echo.
std::atomic<bool> preferRaw{false};

}  // namespace

IcmpSocket OpenRawIcmpSocket() {
    const std::uint16_t identifier = NewIdentifier();
    const int fd = OpenFilteredRaw(identifier);
    return fd >= 0 ? IcmpSocket{fd, &kRaw, identifier} : IcmpSocket{};
}

IcmpSocket OpenIcmpSocket() {
    const bool rawFirst = preferRaw.load(std::memory_order_relaxed);
    for (const IcmpSocketType* type :
         {rawFirst ? &kRaw : &kDatagram, rawFirst ? &kDatagram : &kRaw}) {
        const std::uint16_t identifier = NewIdentifier();
        const int fd = type->open(identifier);
        if (fd >= 0) {
            preferRaw.store(type == &kRaw, std::memory_order_relaxed);
            return {fd, type, identifier};
        }
    }
    return {};
}

void CloseIcmpSocket(const IcmpSocket& socket) {
    ::close(socket.fd);
}

void SetRequestOptions(const IcmpSocket& socket, int ttl, int tos) {
    const int timeToLive = ttl != 0 ? ttl : -1;  // -1: the system's default
    ::setsockopt(socket.fd, SOL_IP, IP_TTL, &timeToLive, sizeof timeToLive);
    ::setsockopt(socket.fd, SOL_IP, IP_TOS, &tos, sizeof tos);
}

int SendRequest(const IcmpSocket& socket, std::uint32_t destination,
                std::span<const std::uint8_t> request) {
    const sockaddr_in target = SocketAddressOf(destination);
    const ssize_t sent = ::sendto(socket.fd, request.data(), request.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof target);
    return sent < 0 ? errno : 0;
}

bool WaitForSocket(const IcmpSocket& socket, Clock::time_point deadline) {
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            return false;
        }
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining);
        const timespec timeout{static_cast<time_t>(nanoseconds.count() / 1'000'000'000),
                               static_cast<long>(nanoseconds.count() % 1'000'000'000)};
        pollfd entry{socket.fd, POLLIN, 0};
        const int ready = ::ppoll(&entry, 1, &timeout, nullptr);
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return true;
        }
    }
}

}  // namespace platform

#include "platform/icmp.h"

#include <time.h>  // before linux/errqueue.h, which needs struct timespec

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

// Linux ICMP sockets, as this service uses them:
// - A datagram ICMP socket (SOCK_DGRAM, IPPROTO_ICMP) is open to callers whose group lies
//   in net.ipv4.ping_group_range; the kernel's default range "1 0" admits nobody, not even
//   root. The kernel puts the socket's own number into the echo identifier, fills in the
//   checksum and hands the socket only the replies carrying that identifier, without IP
//   header. ICMP errors reach it only with IP_RECVERR, through the error queue.
// - A raw ICMP socket needs CAP_NET_RAW and sees every ICMP packet of the host, IP header
//   first: other programs' echoes, our own request on loopback, the errors for anyone's
//   packets. Everything that arrives is checked against the echo we wait for.
// Each handle holds its own socket for one or more echoes; the sequence numbers are counted
// for the whole process, so that a late reply never matches a later echo.

namespace {

using Clock = std::chrono::steady_clock;

// Socket option of raw ICMP sockets (linux/icmp.h, which clashes with the C library's
// headers): a mask of the ICMP types the kernel keeps away from the socket.
constexpr int kSolRaw = 255;
constexpr int kIcmpFilter = 1;

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestinationUnreachable = 3;
constexpr std::uint8_t kSourceQuench = 4;
constexpr std::uint8_t kRedirect = 5;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr std::uint8_t kParameterProblem = 12;
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::uint8_t kIcmpProtocol = 1;

struct EchoHandle {
    int fd = -1;
    platform::IcmpSocketKind kind = platform::IcmpSocketKind::None;
};

platform::EchoService* installedService = nullptr;

// Whether the last handle got a raw socket: the next one tries that kind first, so that
// root on a system whose ping_group_range admits nobody does not pay for a refused
// datagram socket on every echo.
std::atomic<bool> preferRaw{false};

std::atomic<std::uint16_t> nextSequence{1};

std::uint16_t RawIdentifier() {
    static const std::uint16_t identifier = static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(::getpid()) ^
        static_cast<std::uint32_t>(Clock::now().time_since_epoch().count() >> 10));
    return identifier;
}

std::uint16_t ReadBigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void WriteBigEndian16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

// Addresses are held as the four bytes in network order read as a little-endian integer.
std::uint32_t ReadAddress(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint32_t AddressOf(const sockaddr_in& address) {
    return ReadAddress(reinterpret_cast<const std::uint8_t*>(&address.sin_addr.s_addr));
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

void WriteLittleEndian(std::uint8_t* p, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Fills the fixed part of the reply buffer and, for an echo reply, the echoed data behind it.
void WriteReply(std::uint8_t* buffer, std::uint32_t bufferSize,
                const platform::EchoOutcome& outcome, std::int32_t roundTripTime) {
    const std::size_t room = bufferSize - kIcmpReplyFixedSize;
    const std::size_t dataSize = std::min({outcome.data.size(), room, std::size_t{32767}});
    WriteLittleEndian(buffer + 0, outcome.source, 4);
    WriteLittleEndian(buffer + 4, static_cast<std::uint32_t>(outcome.status), 4);
    WriteLittleEndian(buffer + 8, static_cast<std::uint32_t>(roundTripTime), 4);
    WriteLittleEndian(buffer + 12, static_cast<std::uint32_t>(dataSize), 2);
    WriteLittleEndian(buffer + 14, 0, 2);
    WriteLittleEndian(buffer + 16, kIcmpReplyFixedSize, 4);  // the data's offset in the buffer
    buffer[20] = outcome.ttl;
    buffer[21] = outcome.tos;
    buffer[22] = outcome.flags;
    buffer[23] = 0;
    WriteLittleEndian(buffer + 24, 0, 4);
    if (dataSize > 0) {
        std::memcpy(buffer + kIcmpReplyFixedSize, outcome.data.data(), dataSize);
    }
}

void WriteFailure(std::uint8_t* buffer, std::uint32_t bufferSize, std::int32_t status) {
    platform::EchoOutcome outcome;
    outcome.status = status;
    WriteReply(buffer, bufferSize, outcome, 0);
}

int OpenDatagramSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
        ::setsockopt(fd, SOL_IP, IP_RECVTTL, &on, sizeof on);
    }
    return fd;
}

int OpenRawSocket() {
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        // Only echo replies and the errors that can end an echo; this also keeps our own
        // request away when it passes through the loopback interface.
        const std::uint32_t wanted = 1u << kEchoReply | 1u << kDestinationUnreachable |
                                     1u << kSourceQuench | 1u << kTimeExceeded |
                                     1u << kParameterProblem;
        const std::uint32_t filtered = ~wanted;
        ::setsockopt(fd, kSolRaw, kIcmpFilter, &filtered, sizeof filtered);
    }
    return fd;
}

// Every handle opened and not yet closed. Handles are numbers that are never given out
// twice, so a stale handle never reaches a socket opened later under the same number.
struct HandleTable {
    std::mutex lock;
    std::map<HANDLE, EchoHandle> open;
    std::uintptr_t last = 0;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

HANDLE OpenEchoHandle() {
    using platform::IcmpSocketKind;
    EchoHandle opened;
    const bool rawFirst = preferRaw.load(std::memory_order_relaxed);
    for (const IcmpSocketKind kind :
         rawFirst ? std::array{IcmpSocketKind::Raw, IcmpSocketKind::Datagram}
                  : std::array{IcmpSocketKind::Datagram, IcmpSocketKind::Raw}) {
        opened.fd = kind == IcmpSocketKind::Raw ? OpenRawSocket() : OpenDatagramSocket();
        if (opened.fd >= 0) {
            opened.kind = kind;
            preferRaw.store(kind == IcmpSocketKind::Raw, std::memory_order_relaxed);
            HandleTable& table = Handles();
            const std::lock_guard guard(table.lock);
            const auto handle = reinterpret_cast<HANDLE>(++table.last);
            table.open.emplace(handle, opened);
            return handle;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// The socket of an open handle; nothing for any other value.
std::optional<EchoHandle> FindEchoHandle(HANDLE handle) {
    HandleTable& table = Handles();
    const std::lock_guard guard(table.lock);
    const auto found = table.open.find(handle);
    return found != table.open.end() ? std::optional{found->second} : std::nullopt;
}

bool CloseEchoHandle(HANDLE handle) {
    HandleTable& table = Handles();
    const std::lock_guard guard(table.lock);
    const auto found = table.open.find(handle);
    if (found == table.open.end()) {
        return false;
    }
    ::close(found->second.fd);
    table.open.erase(found);
    return true;
}

// Waits until the socket has something to read or an error to report; 0 once the deadline
// has passed.
short WaitForSocket(int fd, Clock::time_point deadline) {
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            return 0;
        }
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining);
        const timespec timeout{static_cast<time_t>(nanoseconds.count() / 1'000'000'000),
                               static_cast<long>(nanoseconds.count() % 1'000'000'000)};
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::ppoll(&entry, 1, &timeout, nullptr);
        if (ready > 0) {
            return entry.revents;
        }
        if (ready < 0 && errno != EINTR) {
            return POLLERR;
        }
    }
}

// The ICMP error (or local error) in a datagram socket's error queue that belongs to `echo`.
std::optional<platform::EchoOutcome> ReadErrorQueue(int fd, const platform::PendingEcho& echo) {
    for (;;) {
        std::uint8_t quoted[64];
        alignas(cmsghdr) std::uint8_t control[256];
        sockaddr_in target{};
        iovec part{quoted, sizeof quoted};
        msghdr message{};
        message.msg_name = &target;
        message.msg_namelen = sizeof target;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
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
        if (error == nullptr || AddressOf(target) != echo.destination) {
            continue;
        }
        platform::EchoOutcome outcome;
        if (error->ee_origin == SO_EE_ORIGIN_ICMP) {
            // The quoted data is the header of the request the error is about.
            if (received < static_cast<ssize_t>(kIcmpHeaderSize) || quoted[0] != kEchoRequest ||
                ReadBigEndian16(quoted + 6) != echo.sequence) {
                continue;
            }
            const auto status = platform::StatusForIcmpError(error->ee_type, error->ee_code);
            if (!status) {
                continue;
            }
            outcome.status = *status;
            const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(error));
            if (offender->sin_family == AF_INET) {
                outcome.source = AddressOf(*offender);
            }
        } else if (error->ee_origin == SO_EE_ORIGIN_LOCAL) {
            outcome.status = platform::StatusForErrno(static_cast<int>(error->ee_errno));
        } else {
            continue;
        }
        return outcome;
    }
}

enum class ReadResult { Matched, Other, Empty, Failed };

// Takes one packet from a raw socket, if one is waiting.
ReadResult ReadRaw(int fd, std::vector<std::uint8_t>& incoming, const platform::PendingEcho& echo,
                   platform::EchoOutcome& outcome, int& error) {
    const ssize_t received = ::recv(fd, incoming.data(), incoming.size(), MSG_DONTWAIT);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return ReadResult::Empty;
        }
        if (errno == EINTR) {
            return ReadResult::Other;
        }
        error = errno;
        return ReadResult::Failed;
    }
    auto match =
        platform::MatchRawPacket({incoming.data(), static_cast<std::size_t>(received)}, echo);
    if (!match) {
        return ReadResult::Other;
    }
    outcome = *match;
    return ReadResult::Matched;
}

// Takes one reply from a datagram socket, or the ICMP error reported for it.
ReadResult ReadDatagram(int fd, std::vector<std::uint8_t>& incoming,
                        const platform::PendingEcho& echo, platform::EchoOutcome& outcome) {
    sockaddr_in source{};
    alignas(cmsghdr) std::uint8_t control[64];
    iovec part{incoming.data(), incoming.size()};
    msghdr message{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return ReadResult::Empty;
        }
        if (errno == EINTR) {
            return ReadResult::Other;
        }
        // An ICMP error was reported for this socket; the details wait in the error queue.
        auto reported = ReadErrorQueue(fd, echo);
        if (!reported) {
            return ReadResult::Other;
        }
        outcome = *reported;
        return ReadResult::Matched;
    }
    auto match = platform::MatchDatagramReply({incoming.data(), static_cast<std::size_t>(received)},
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

std::uint32_t SendEchoOnSocket(HANDLE handle, std::uint32_t destination, const void* requestData,
                               std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                               void* replyBuffer, std::uint32_t replySize,
                               std::uint32_t timeoutMs) {
    if (replyBuffer == nullptr || replySize < kIcmpReplyFixedSize) {
        return 0;
    }
    auto* reply = static_cast<std::uint8_t*>(replyBuffer);
    if (requestData == nullptr && requestSize > 0) {
        WriteFailure(reply, replySize, IP_BAD_REQ);
        return 0;
    }
    if (replySize < kIcmpReplyFixedSize + requestSize + kIcmpHeaderSize) {
        WriteFailure(reply, replySize, IP_BUF_TOO_SMALL);
        return 0;
    }
    const auto echoHandle = FindEchoHandle(handle);
    if (!echoHandle) {
        WriteFailure(reply, replySize, IP_GENERAL_FAILURE);
        return 0;
    }
    // Linux would ping the local host for 0.0.0.0; broadcast and multicast echoes would be
    // answered by many hosts or none. None of them is sent.
    const std::uint8_t firstByte = static_cast<std::uint8_t>(destination);
    if (destination == 0 || destination == 0xFFFFFFFFu || (firstByte & 0xF0) == 0xE0) {
        WriteFailure(reply, replySize, IP_BAD_DESTINATION);
        return 0;
    }

    const int fd = echoHandle->fd;
    const bool raw = echoHandle->kind == platform::IcmpSocketKind::Raw;
    if (options != nullptr) {
        const int ttl = options->Ttl;
        const int tos = options->Tos;
        if (ttl != 0) {
            ::setsockopt(fd, SOL_IP, IP_TTL, &ttl, sizeof ttl);
        }
        if (tos != 0) {
            ::setsockopt(fd, SOL_IP, IP_TOS, &tos, sizeof tos);
        }
    }

    platform::PendingEcho echo;
    echo.destination = destination;
    echo.identifier = RawIdentifier();
    echo.sequence = nextSequence.fetch_add(1, std::memory_order_relaxed);
    echo.payload = {static_cast<const std::uint8_t*>(requestData), requestSize};

    std::vector<std::uint8_t> request(kIcmpHeaderSize + requestSize);
    request[0] = kEchoRequest;
    WriteBigEndian16(&request[4], echo.identifier);
    WriteBigEndian16(&request[6], echo.sequence);
    std::copy(echo.payload.begin(), echo.payload.end(), request.begin() + kIcmpHeaderSize);
    if (raw) {  // a datagram socket's kernel fills in the checksum itself
        WriteBigEndian16(&request[2], platform::InternetChecksum(request));
    }

    const sockaddr_in target = SocketAddressOf(destination);
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&target),
                 sizeof target) < 0) {
        WriteFailure(reply, replySize, platform::StatusForErrno(errno));
        return 0;
    }

    // Room for the largest IP header, the echo and any ICMP error.
    std::vector<std::uint8_t> incoming(std::max<std::size_t>(576, 60 + request.size()));
    const auto finish = [&](const platform::EchoOutcome& outcome) -> std::uint32_t {
        if (outcome.status != IP_SUCCESS) {
            platform::EchoOutcome failure = outcome;
            failure.data = {};
            WriteReply(reply, replySize, failure, 0);
            return 0;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        WriteReply(reply, replySize, outcome, static_cast<std::int32_t>(elapsed));
        return 1;
    };

    // Read first and wait only when nothing is there: on loopback the reply is usually in
    // the queue by the time sendto returns.
    for (;;) {
        platform::EchoOutcome outcome;
        int error = 0;
        const ReadResult read = raw ? ReadRaw(fd, incoming, echo, outcome, error)
                                    : ReadDatagram(fd, incoming, echo, outcome);
        if (read == ReadResult::Matched) {
            return finish(outcome);
        }
        if (read == ReadResult::Failed) {
            WriteFailure(reply, replySize, platform::StatusForErrno(error));
            return 0;
        }
        if (read == ReadResult::Other) {
            if (Clock::now() >= deadline) {
                break;
            }
            continue;  // something else arrived: see whether more is waiting
        }
        const short events = WaitForSocket(fd, deadline);
        if (events == 0) {
            break;
        }
        if ((events & POLLERR) != 0 && !raw) {
            if (auto reported = ReadErrorQueue(fd, echo)) {
                return finish(*reported);
            }
        }
    }
    WriteFailure(reply, replySize, IP_REQ_TIMED_OUT);
    return 0;
}

}  // namespace

HANDLE IcmpCreateFile() {
    return installedService != nullptr ? installedService->CreateFile() : OpenEchoHandle();
}

std::uint32_t IcmpSendEcho(HANDLE handle, std::uint32_t destination, const void* requestData,
                           std::uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                           void* replyBuffer, std::uint32_t replySize, std::uint32_t timeoutMs) {
    if (installedService != nullptr) {
        return installedService->SendEcho(handle, destination, requestData, requestSize, options,
                                          replyBuffer, replySize, timeoutMs);
    }
    return SendEchoOnSocket(handle, destination, requestData, requestSize, options, replyBuffer,
                            replySize, timeoutMs);
}

bool IcmpCloseHandle(HANDLE handle) {
    return installedService != nullptr ? installedService->CloseHandle(handle)
                                       : CloseEchoHandle(handle);
}

namespace platform {

void SetEchoService(EchoService* service) {
    installedService = service;
}

IcmpSocketKind IcmpSocketKindOf(HANDLE handle) {
    const auto echoHandle = installedService == nullptr ? FindEchoHandle(handle) : std::nullopt;
    return echoHandle ? echoHandle->kind : IcmpSocketKind::None;
}

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        sum += ReadBigEndian16(&bytes[i]);
    }
    if (i < bytes.size()) {
        sum += std::uint32_t{bytes[i]} << 8;
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

std::optional<std::int32_t> StatusForIcmpError(int type, int code) {
    switch (type) {
        case kDestinationUnreachable:
            switch (code) {
                case 0:   // network
                case 6:   // network unknown
                case 9:   // network administratively prohibited
                case 11:  // network unreachable for the type of service
                    return IP_DEST_NET_UNREACHABLE;
                case 1:   // host
                case 7:   // host unknown
                case 8:   // source host isolated
                case 10:  // host administratively prohibited
                case 12:  // host unreachable for the type of service
                case 13:  // communication administratively prohibited
                case 14:  // host precedence violation
                case 15:  // precedence cut-off
                    return IP_DEST_HOST_UNREACHABLE;
                case 2:
                    return IP_DEST_PROT_UNREACHABLE;
                case 3:
                    return IP_DEST_PORT_UNREACHABLE;
                case 4:  // fragmentation needed
                    return IP_PACKET_TOO_BIG;
                case 5:  // source route failed
                    return IP_BAD_ROUTE;
                default:
                    return std::nullopt;
            }
        case kTimeExceeded:
            if (code == 0) {
                return IP_TTL_EXPIRED_TRANSIT;
            }
            if (code == 1) {
                return IP_TTL_EXPIRED_REASSEM;
            }
            return std::nullopt;
        case kParameterProblem:
            return IP_PARAM_PROBLEM;
        case kSourceQuench:
            return IP_SOURCE_QUENCH;
        case kRedirect:  // the echo goes on by another route
        default:
            return std::nullopt;
    }
}

std::int32_t StatusForErrno(int error) {
    switch (error) {
        case EHOSTUNREACH:
        case EHOSTDOWN:
        case ENONET:
            return IP_DEST_HOST_UNREACHABLE;
        case ENOBUFS:
        case ENOMEM:
            return IP_NO_RESOURCES;
        case EMSGSIZE:
            return IP_PACKET_TOO_BIG;
        default:  // no route, firewall, prohibited or blackhole route, broadcast ...
            return IP_GENERAL_FAILURE;
    }
}

namespace {

// The ICMP message that an IPv4 packet carries, at least its 8-byte header; nothing for a
// packet too short or of another kind.
std::optional<std::span<const std::uint8_t>> IcmpMessageOf(std::span<const std::uint8_t> packet) {
    if (packet.size() < 20 || (packet[0] >> 4) != 4 || packet[9] != kIcmpProtocol) {
        return std::nullopt;
    }
    const std::size_t headerSize = std::size_t{packet[0] & 0x0Fu} * 4;
    if (headerSize < 20 || packet.size() < headerSize + kIcmpHeaderSize) {
        return std::nullopt;
    }
    return packet.subspan(headerSize);
}

}  // namespace

std::optional<EchoOutcome> MatchRawPacket(std::span<const std::uint8_t> packet,
                                          const PendingEcho& echo) {
    const auto carried = IcmpMessageOf(packet);
    if (!carried || InternetChecksum(*carried) != 0) {
        return std::nullopt;
    }
    const auto icmp = *carried;
    EchoOutcome outcome;
    outcome.source = ReadAddress(&packet[12]);
    outcome.ttl = packet[8];
    outcome.tos = packet[1];
    outcome.flags = static_cast<std::uint8_t>(packet[6] >> 5);

    const std::uint8_t type = icmp[0];
    if (type == kEchoReply) {
        const auto data = icmp.subspan(kIcmpHeaderSize);
        // Only the destination answers an echo; a reply from any other host is not ours.
        if (icmp[1] != 0 || outcome.source != echo.destination ||
            ReadBigEndian16(&icmp[4]) != echo.identifier ||
            ReadBigEndian16(&icmp[6]) != echo.sequence || !std::ranges::equal(data, echo.payload)) {
            return std::nullopt;
        }
        outcome.status = IP_SUCCESS;
        outcome.data = data;
        return outcome;
    }

    const auto status = StatusForIcmpError(type, icmp[1]);
    if (!status) {
        return std::nullopt;
    }
    // An error quotes the IP header and the first bytes of the packet it is about: ours only
    // if that was an echo request to our destination with our identifier and sequence.
    const auto quoted = icmp.subspan(kIcmpHeaderSize);
    const auto quotedIcmp = IcmpMessageOf(quoted);
    if (!quotedIcmp) {
        return std::nullopt;
    }
    const auto request = *quotedIcmp;
    if (ReadAddress(&quoted[16]) != echo.destination || request[0] != kEchoRequest ||
        ReadBigEndian16(&request[4]) != echo.identifier ||
        ReadBigEndian16(&request[6]) != echo.sequence) {
        return std::nullopt;
    }
    outcome.status = *status;
    return outcome;
}

std::optional<EchoOutcome> MatchDatagramReply(std::span<const std::uint8_t> message,
                                              std::uint32_t source, const PendingEcho& echo) {
    if (message.size() < kIcmpHeaderSize || message[0] != kEchoReply || message[1] != 0 ||
        source != echo.destination || ReadBigEndian16(&message[6]) != echo.sequence) {
        return std::nullopt;
    }
    const auto data = message.subspan(kIcmpHeaderSize);
    if (!std::ranges::equal(data, echo.payload)) {
        return std::nullopt;
    }
    EchoOutcome outcome;
    outcome.source = source;
    outcome.data = data;
    return outcome;
}

}  // namespace platform
